#define QTEST_QPA_MOUSE_HANDLING
#include "controls/skinned_button.h"
#include "tests/support/program_fixture.h"
#include "windows/about_box.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QtTest>

#include <memory>

namespace {

void click(QWidget* target)
{
    const QPoint at(target->width() / 2, target->height() / 2);
    QTest::mousePress(target, Qt::LeftButton, {}, at);
    QTest::mouseRelease(target, Qt::LeftButton, {}, at);
}

} // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { program = std::make_unique<ProgramFixture>(); }
    void cleanup() { program.reset(); }

    void contents()
    {
        QCOMPARE(AboutBox->Version->text(), QStringLiteral("1.2"));
        QCOMPARE(AboutBox->ProductName->text(), QStringLiteral("Pellavine"));
        QCOMPARE(AboutBox->Label3->text(), QStringLiteral("Daskemoor"));
        QCOMPARE(AboutBox->Label6->text(), QStringLiteral("Orvath"));
        QCOMPARE(AboutBox->Label7->text(), QStringLiteral("2004"));

        // Two lines, the first with its hyphen and trailing blank, as they stand.
        QTextDocument* memo = AboutBox->Memo1->document();
        QCOMPARE(memo->blockCount(), 2);
        QCOMPARE(memo->firstBlock().text(), QStringLiteral("Pellavine - программа для обмена мгновенными сообщения- "));
        QCOMPARE(memo->lastBlock().text(), QStringLiteral("ми в локальных сетях."));
        QVERIFY(AboutBox->Memo1->isReadOnly());
        QCOMPARE(AboutBox->Memo1->palette().color(QPalette::Base), QColor(0xED, 0xF2, 0xD8));

        // Each line fits the memo's width, so the memo shows exactly the two lines.
        AboutBox->show();
        QVERIFY(QTest::qWaitForWindowExposed(AboutBox));
        const QFontMetrics metrics(AboutBox->Memo1->font());
        for (QTextBlock line = memo->firstBlock(); line.isValid(); line = line.next())
            QVERIFY2(metrics.horizontalAdvance(line.text()) < AboutBox->Memo1->viewport()->width(),
                     qPrintable(line.text()));
        QCOMPARE(AboutBox->BBut1->Caption(), QStringLiteral("OK"));
        QCOMPARE(AboutBox->BBut3->Caption(), QStringLiteral("Справка"));
    }

    void buttons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("opensHelp");

        QTest::newRow("OK") << "BBut1" << true << false;
        QTest::newRow("close button") << "BBut2" << true << false;
        QTest::newRow("Справка") << "BBut3" << false << true;
        QTest::newRow("help button") << "BBut5" << false << true;
    }
    void buttons()
    {
        QFETCH(QString, button);
        QFETCH(bool, closes);
        QFETCH(bool, opensHelp);
        const QHash<QString, TBBut*> all = {{QStringLiteral("BBut1"), AboutBox->BBut1},
                                            {QStringLiteral("BBut2"), AboutBox->BBut2},
                                            {QStringLiteral("BBut3"), AboutBox->BBut3},
                                            {QStringLiteral("BBut5"), AboutBox->BBut5}};
        AboutBox->show();
        QVERIFY(QTest::qWaitForWindowExposed(AboutBox));
        click(all.value(button));
        QCOMPARE(AboutBox->isVisible(), !closes);
        const QStringList expected = opensHelp ? QStringList{App().HelpPath} : QStringList{};
        QCOMPARE(program->fake.shell.opened, expected);
        QVERIFY(program->fake.dialogs.boxes.isEmpty());
        // The frame's close button has no hint; the help button has.
        QCOMPARE(AboutBox->BBut2->Hint(), QString());
        QCOMPARE(AboutBox->BBut5->Hint(), QStringLiteral("Справка"));
    }

    void linkLabels_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("link");
        QTest::newRow("e-mail") << "Label4" << MailAddress;
        QTest::newRow("web") << "Label5" << WebPageAddress;
    }
    void linkLabels()
    {
        QFETCH(QString, which);
        QFETCH(QString, link);
        QLabel* label = which == QLatin1String("Label4") ? AboutBox->Label4 : AboutBox->Label5;
        QCOMPARE(label->toolTip(), link);
        QVERIFY(!label->text().isEmpty());
        QVERIFY(link.contains(label->text()));
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(label->font().underline());
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0x00, 0x58, 0xB0));
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);

        // A click does nothing.
        AboutBox->show();
        QVERIFY(QTest::qWaitForWindowExposed(AboutBox));
        click(label);
        QTest::mouseDClick(label, Qt::LeftButton);
        QVERIFY(program->fake.shell.opened.isEmpty());
        QVERIFY(AboutBox->isVisible());
    }

    void windowSoundOnShow_data()
    {
        QTest::addColumn<bool>("soundOn");
        QTest::newRow("sounds on") << true;
        QTest::newRow("sounds off") << false;
    }
    void windowSoundOnShow()
    {
        QFETCH(bool, soundOn);
        App().SoundOn = soundOn;
        program->fake.sound.played.clear();
        for (int round = 0; round < 2; ++round) {
            AboutBox->show();
            AboutBox->BBut1->Click();
        }
        const QString wnd = program->fake.paths.exe + QStringLiteral("Wnd.wav");
        const QStringList expected = soundOn ? QStringList{wnd, wnd} : QStringList{};
        QCOMPARE(program->fake.sound.played, expected);
    }

    void modalFromTrayMenu()
    {
        bool ranInside = false;
        QTimer::singleShot(0, AboutBox, [&] {
            ranInside = AboutBox->isModalShowing();
            AboutBox->BBut1->Click();
        });
        Form1->Pellavine2Click();
        QVERIFY(ranInside);
        QVERIFY(!AboutBox->isVisible());
        QVERIFY(!AboutBox->isModalShowing());
    }

private:
    std::unique_ptr<ProgramFixture> program;
};

QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"

#include "controls/spin_edit.h"
#include "tests/support/fake_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QVBoxLayout>
#include <QtTest>

#include <climits>
#include <memory>

namespace {

// A window with a plain field before and after the spin field, so focus can come and go.
struct Host {
    QWidget window;
    QLineEdit* before;
    TSpinEdit* spin;
    QLineEdit* after;

    Host(int min, int max)
    {
        auto* layout = new QVBoxLayout(&window);
        before = new QLineEdit(&window);
        spin = new TSpinEdit(&window);
        after = new QLineEdit(&window);
        spin->setMinimumSize(121, 21);
        layout->addWidget(before);
        layout->addWidget(spin);
        layout->addWidget(after);
        spin->setMinValue(min);
        spin->setMaxValue(max);
        spin->setIncrement(1);
    }

    bool showActive()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};

// Types each character as the keyboard would deliver it, whatever its script.
void type(QWidget* target, const QString& text)
{
    for (const QChar c : text) {
        const int key = c.isLetter() ? c.toUpper().unicode() : c.unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

} // namespace

class SpinEditTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // A comma as the decimal separator, as on the program's home desktops.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    void init() { fake = std::make_unique<platform::FakePlatform>(); }
    void cleanup() { fake.reset(); }

    void reading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("expected");

        QTest::newRow("empty reads as min") << "" << 1000 << 300000 << 1000;
        QTest::newRow("lone minus") << "-" << 1000 << 300000 << 1000;
        QTest::newRow("lone plus") << "+" << 7 << 9 << 7;
        QTest::newRow("plain number") << "12" << 1 << 999999 << 12;
        QTest::newRow("below min, not clamped") << "5" << 1000 << 300000 << 5;
        QTest::newRow("above max, not clamped") << "1234567" << 1 << 999999 << 1234567;
        QTest::newRow("decimal separator") << "1,5" << 1000 << 300000 << 1000;
        QTest::newRow("decimal point") << "1.5" << 1000 << 300000 << 1000;
        QTest::newRow("beyond int") << "99999999999" << 1000 << 300000 << 1000;
        QTest::newRow("largest int") << "2147483647" << 1 << 10 << INT_MAX;
        QTest::newRow("one past largest int") << "2147483648" << 1 << 10 << 1;
        QTest::newRow("smallest int") << "-2147483648" << 1 << 10 << INT_MIN;
        QTest::newRow("signed") << "+12" << 1 << 99 << 12;
        QTest::newRow("negative") << "-7" << -10 << 10 << -7;
        QTest::newRow("sign inside") << "1-2" << 3 << 9 << 3;
        QTest::newRow("pasted letters") << "12a" << 3 << 99 << 3;
        QTest::newRow("blank around") << " 12" << 3 << 99 << 3;
    }
    void reading()
    {
        QFETCH(QString, text);
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, expected);
        Host host(min, max);
        host.spin->setText(text);
        QCOMPARE(host.spin->Value(), expected);
        // Reading leaves the text alone.
        QCOMPARE(host.spin->Text(), text);
    }

    void writing_data()
    {
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("shown");

        QTest::newRow("inside") << 1000 << 300000 << 10000 << "10000";
        QTest::newRow("below") << 1 << 999999 << 0 << "1";
        QTest::newRow("far below") << 1 << 999999 << INT_MIN << "1";
        QTest::newRow("above") << 1000 << 300000 << 300001 << "300000";
        QTest::newRow("at max") << 1 << 999999 << 999999 << "999999";
        QTest::newRow("negative range") << -50 << -10 << 0 << "-10";
        QTest::newRow("no range when min equals max") << 0 << 0 << 123456 << "123456";
        QTest::newRow("no range, negative") << 5 << 5 << -3 << "-3";
    }
    void writing()
    {
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, value);
        QFETCH(QString, shown);
        Host host(min, max);
        host.spin->setValue(value);
        QCOMPARE(host.spin->Text(), shown);
        QCOMPARE(host.spin->Value(), shown.toInt());
    }

    void leavingClamps_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("after");

        QTest::newRow("tab, below min") << "5" << "tab" << "1000";
        QTest::newRow("tab, above max") << "400000" << "tab" << "300000";
        QTest::newRow("click elsewhere, below min") << "5" << "click" << "1000";
        QTest::newRow("tab, inside range kept as typed") << "+2500" << "tab" << "+2500";
        // Unparsable text reads as the minimum, which is in range: nothing to rewrite.
        QTest::newRow("tab, empty stays empty") << "" << "tab" << "";
        QTest::newRow("tab, decimal stays") << "1,5" << "tab" << "1,5";
        QTest::newRow("another window comes up") << "5" << "deactivate" << "5";
        QTest::newRow("a menu comes up") << "5" << "popup" << "5";
    }
    void leavingClamps()
    {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(QString, after);
        Host host(1000, 300000);
        QVERIFY(host.showActive());
        host.spin->editor()->setFocus(Qt::TabFocusReason);
        QVERIFY(host.spin->editor()->hasFocus());
        host.spin->setText(QString());
        type(host.spin->editor(), typed);
        QCOMPARE(host.spin->Text(), typed);

        if (how == QLatin1String("tab")) {
            QTest::keyClick(host.spin->editor(), Qt::Key_Tab);
            QVERIFY(host.after->hasFocus());
        } else if (how == QLatin1String("click")) {
            QTest::mouseClick(host.before, Qt::LeftButton);
            QVERIFY(host.before->hasFocus());
        } else {
            QFocusEvent out(QEvent::FocusOut, how == QLatin1String("popup") ? Qt::PopupFocusReason
                                                                            : Qt::ActiveWindowFocusReason);
            QApplication::sendEvent(host.spin->editor(), &out);
        }
        QCOMPARE(host.spin->Text(), after);
        QCOMPARE(fake->dialogs.beeps, 0);
    }

    void typing_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key"); // pressed after typing, 0 for none
        QTest::addColumn<bool>("editorEnabled");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("beeps");

        QTest::newRow("digits and signs") << "" << "+12-3" << 0 << true << false << "+12-3" << 0;
        QTest::newRow("locale separator") << "" << "1,5" << 0 << true << false << "1,5" << 0;
        QTest::newRow("other separator dropped") << "" << "1.5" << 0 << true << false << "15" << 1;
        QTest::newRow("latin letters dropped") << "" << "1a2b" << 0 << true << false << "12" << 2;
        QTest::newRow("cyrillic letter dropped") << "" << "4ы2" << 0 << true << false << "42" << 1;
        QTest::newRow("space dropped") << "" << "1 2" << 0 << true << false << "12" << 1;
        QTest::newRow("enter dropped") << "" << "12" << int(Qt::Key_Return) << true << false << "12" << 1;
        QTest::newRow("keypad enter dropped") << "" << "7" << int(Qt::Key_Enter) << true << false << "7" << 1;
        QTest::newRow("backspace edits") << "" << "123" << int(Qt::Key_Backspace) << true << false << "12" << 0;
        QTest::newRow("editor disabled") << "12" << "5" << 0 << false << false << "12" << 1;
        QTest::newRow("read-only") << "12" << "5" << 0 << true << true << "12" << 1;
        QTest::newRow("read-only, letters") << "12" << "x" << 0 << true << true << "12" << 1;
    }
    void typing()
    {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(bool, editorEnabled);
        QFETCH(bool, readOnly);
        QFETCH(QString, expected);
        QFETCH(int, beeps);
        Host host(0, 999999);
        host.spin->setEditorEnabled(editorEnabled);
        host.spin->setReadOnly(readOnly);
        QVERIFY(host.showActive());
        host.spin->editor()->setFocus(Qt::MouseFocusReason);
        host.spin->setText(start);
        type(host.spin->editor(), typed);
        if (key)
            QTest::keyClick(host.spin->editor(), Qt::Key(key));
        QCOMPARE(host.spin->Text(), expected);
        QCOMPARE(fake->dialogs.beeps, beeps);
    }

    void cutAndPaste_data()
    {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<bool>("editorEnabled");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("afterPaste");
        QTest::addColumn<QString>("afterCut");

        // Pasted text is not filtered: it reads as the minimum when it is no number.
        QTest::newRow("digits") << "4711" << true << false << "4711" << "";
        QTest::newRow("letters allowed") << "abc" << true << false << "abc" << "";
        QTest::newRow("editor disabled") << "4711" << false << false << "12" << "12";
        QTest::newRow("read-only") << "4711" << true << true << "12" << "12";
    }
    void cutAndPaste()
    {
        QFETCH(QString, clip);
        QFETCH(bool, editorEnabled);
        QFETCH(bool, readOnly);
        QFETCH(QString, afterPaste);
        QFETCH(QString, afterCut);
        Host host(1, 999999);
        host.spin->setEditorEnabled(editorEnabled);
        host.spin->setReadOnly(readOnly);
        QVERIFY(host.showActive());
        host.spin->setText(QStringLiteral("12"));
        host.spin->editor()->setFocus(Qt::TabFocusReason);

        QApplication::clipboard()->setText(clip);
        QTest::keyClick(host.spin->editor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(host.spin->editor(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(host.spin->Text(), afterPaste);

        QApplication::clipboard()->setText(QStringLiteral("untouched"));
        QTest::keyClick(host.spin->editor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(host.spin->editor(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(host.spin->Text(), afterCut);
        QCOMPARE(QApplication::clipboard()->text(), afterCut.isEmpty() ? afterPaste : QStringLiteral("untouched"));
        QCOMPARE(fake->dialogs.beeps, 0);
    }

    void stepping_data()
    {
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("via"); // "keys" or "buttons"
        QTest::addColumn<int>("ups");
        QTest::addColumn<int>("downs");
        QTest::addColumn<QString>("expected");

        for (const char* via : {"keys", "buttons"}) {
            const QString v = QString::fromLatin1(via);
            QTest::addRow("%s: up twice", via) << 1 << 10 << "5" << v << 2 << 0 << "7";
            QTest::addRow("%s: down once", via) << 1 << 10 << "5" << v << 0 << 1 << "4";
            QTest::addRow("%s: up stops at max", via) << 1 << 10 << "9" << v << 3 << 0 << "10";
            QTest::addRow("%s: down stops at min", via) << 1 << 10 << "2" << v << 0 << 4 << "1";
            QTest::addRow("%s: up from below min", via) << 1000 << 300000 << "5" << v << 1 << 0 << "1000";
            QTest::addRow("%s: down from above max", via) << 1000 << 300000 << "400000" << v << 0 << 1 << "300000";
            QTest::addRow("%s: up from no number", via) << 1000 << 300000 << "abc" << v << 1 << 0 << "1001";
            QTest::addRow("%s: no range", via) << 0 << 0 << "-1" << v << 3 << 0 << "2";
            QTest::addRow("%s: no range, end of int", via) << 0 << 0 << "2147483647" << v << 1 << 0 << "2147483647";
        }
    }
    void stepping()
    {
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(QString, start);
        QFETCH(QString, via);
        QFETCH(int, ups);
        QFETCH(int, downs);
        QFETCH(QString, expected);
        Host host(min, max);
        QVERIFY(host.showActive());
        host.spin->setText(start);
        host.spin->editor()->setFocus(Qt::MouseFocusReason);
        const bool keys = via == QLatin1String("keys");
        for (int i = 0; i < ups; ++i) {
            if (keys)
                QTest::keyClick(host.spin->editor(), Qt::Key_Up);
            else
                QTest::mouseClick(host.spin->upButton(), Qt::LeftButton);
        }
        for (int i = 0; i < downs; ++i) {
            if (keys)
                QTest::keyClick(host.spin->editor(), Qt::Key_Down);
            else
                QTest::mouseClick(host.spin->downButton(), Qt::LeftButton);
        }
        QCOMPARE(host.spin->Text(), expected);
        QCOMPARE(fake->dialogs.beeps, 0);
    }

    void heldButtonRepeats_data()
    {
        QTest::addColumn<bool>("up");
        QTest::newRow("up") << true;
        QTest::newRow("down") << false;
    }
    void heldButtonRepeats()
    {
        QFETCH(bool, up);
        Host host(0, 100000);
        QVERIFY(host.showActive());
        host.spin->setValue(50000);
        TSpinButton* button = up ? host.spin->upButton() : host.spin->downButton();

        QElapsedTimer clock;
        QList<qint64> steps;
        connect(host.spin->editor(), &QLineEdit::textChanged, this, [&] { steps << clock.elapsed(); });
        clock.start();
        QTest::mousePress(button, Qt::LeftButton);
        QCOMPARE(steps.size(), 1); // the press itself steps
        QVERIFY(host.spin->editor()->hasFocus());
        QTest::qWait(150); // nothing to wait for: early in the first delay no repeat comes
        QCOMPARE(steps.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(steps.size() >= 4, 3000);
        QTest::mouseRelease(button, Qt::LeftButton);
        const int held = int(steps.size());
        const int sign = up ? 1 : -1;
        QCOMPARE(host.spin->Value(), 50000 + sign * held);

        // First repeat after about 400 ms, then about every 100 ms (late under load, never much early).
        QVERIFY2(steps[1] >= 360, qPrintable(QString::number(steps[1])));
        for (int i = 2; i < held; ++i)
            QVERIFY2(steps[i] - steps[i - 1] >= 80, qPrintable(QString::number(steps[i] - steps[i - 1])));

        // Released: no more steps in a while of several repeat periods.
        QTest::qWait(250);
        QCOMPARE(steps.size(), held);
        QVERIFY(!button->isHeld());
    }

    void disablingStopsRepeat()
    {
        Host host(0, 100000);
        QVERIFY(host.showActive());
        host.spin->setValue(10);
        QTest::mousePress(host.spin->upButton(), Qt::LeftButton);
        host.spin->setEnabled(false);
        QTest::qWait(500); // nothing to wait for: past the first repeat's 400 ms, none came
        QCOMPARE(host.spin->Value(), 11);
        QVERIFY(!host.spin->upButton()->isHeld());
    }

    void selectAllOnEntry_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("allSelected");
        QTest::newRow("tab") << "tab" << true;
        QTest::newRow("backtab") << "backtab" << true;
        QTest::newRow("set by the program") << "program" << true;
        QTest::newRow("mouse click") << "click" << false;
    }
    void selectAllOnEntry()
    {
        QFETCH(QString, how);
        QFETCH(bool, allSelected);
        Host host(1, 999999);
        QVERIFY(host.showActive());
        host.spin->setValue(43210);
        QLineEdit* editor = host.spin->editor();
        if (how == QLatin1String("tab")) {
            host.before->setFocus();
            QTest::keyClick(host.before, Qt::Key_Tab);
        } else if (how == QLatin1String("backtab")) {
            host.after->setFocus();
            QTest::keyClick(host.after, Qt::Key_Backtab, Qt::ShiftModifier);
        } else if (how == QLatin1String("program")) {
            host.before->setFocus();
            editor->setFocus(Qt::OtherFocusReason);
        } else {
            host.before->setFocus();
            QTest::mouseClick(editor, Qt::LeftButton, {}, QPoint(4, editor->height() / 2));
        }
        QVERIFY(editor->hasFocus());
        QCOMPARE(editor->selectedText(), allSelected ? QStringLiteral("43210") : QString());
    }

private:
    std::unique_ptr<platform::FakePlatform> fake;
};

QTEST_MAIN(SpinEditTest)
#include "spin_edit_test.moc"

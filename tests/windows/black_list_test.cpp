#define QTEST_QPA_MOUSE_HANDLING
#include "app/app_state.h"
#include "controls/skinned_button.h"
#include "platform/cp1251.h"
#include "tests/support/fake_platform.h"
#include "tests/support/program_fixture.h"
#include "windows/black_list.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

using platform::BoxKind;

namespace {

const QString EnterName = QStringLiteral("Введите имя компьютера!");
const QString AlreadyListed = QStringLiteral("Этот компьютер уже занесен в черный список!");

QByteArray cp(const QString& text) { return platform::toCp1251(text); }

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// While alive, no file of this process may grow past `bytes`; a write past it fails instead
// of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

enum class Ending { Ok, Cancel, CloseButton };

} // namespace

Q_DECLARE_METATYPE(Ending)

class BlackListTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        fake = std::make_unique<platform::FakePlatform>();
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        fake->paths.data = folder->path() + QLatin1Char('/');
        platform::setApplicationTitle(AppTitle);
        App() = AppState{};
        App().computePaths(fake->paths.exeDir(), fake->paths.dataDir());
        path = App().BlackListPath;
    }
    void cleanup()
    {
        window.reset();
        folder.reset();
        fake.reset();
    }

    // ----- Reading the file -----

    void readingRules_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        const QByteArray vasya = cp(QStringLiteral("ВАСЯ"));
        QTest::newRow("empty file") << QByteArray("") << QStringList{};
        QTest::newRow("CR LF") << QByteArray("PC1\r\nPC2\r\n") << QStringList{"PC1", "PC2"};
        QTest::newRow("lone CR") << QByteArray("PC1\rPC2\r") << QStringList{"PC1", "PC2"};
        QTest::newRow("lone LF") << QByteArray("PC1\nPC2\n") << QStringList{"PC1", "PC2"};
        QTest::newRow("mixed breaks") << QByteArray("A\nB\rC\r\nD") << QStringList{"A", "B", "C", "D"};
        QTest::newRow("no break after the last line") << QByteArray("PC1\r\nPC2") << QStringList{"PC1", "PC2"};
        QTest::newRow("empty line in the middle") << QByteArray("A\r\n\r\nB\r\n") << QStringList{"A", "", "B"};
        QTest::newRow("LF then CR is two breaks") << QByteArray("A\n\rB") << QStringList{"A", "", "B"};
        QTest::newRow("CR CR LF is two breaks") << QByteArray("A\r\r\nB") << QStringList{"A", "", "B"};
        QTest::newRow("only a break") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("NUL ends reading") << QByteArray("A\r\nB\0C\r\nD", 10) << QStringList{"A", "B"};
        QTest::newRow("NUL first") << QByteArray("\0A\r\n", 4) << QStringList{};
        QTest::newRow("no trimming") << QByteArray("  PC1 \t\r\n \r\n") << QStringList{"  PC1 \t", " "};
        QTest::newRow("code page 1251") << (vasya + "\r\n" + cp(QStringLiteral("ёлка")))
                                        << QStringList{QStringLiteral("ВАСЯ"), QStringLiteral("ёлка")};
        QTest::newRow("duplicates kept") << QByteArray("A\r\na\r\nA") << QStringList{"A", "a", "A"};
    }
    void readingRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, names);
        writeBytes(path, bytes);
        createWindow();
        QCOMPARE(window->names(), names);
        QCOMPARE(window->Blist->count(), names.size());
        QVERIFY(fake->dialogs.boxes.isEmpty());
    }

    void missingFileStartsEmpty()
    {
        createWindow();
        QCOMPARE(window->Blist->count(), 0);
        QVERIFY(fake->dialogs.boxes.isEmpty());
        QVERIFY(!QFile::exists(path));
    }

    // ----- Writing the file -----

    void writtenBytes_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty list, empty file") << QStringList{} << QByteArray("");
        QTest::newRow("every line ends in CR LF")
            << QStringList{"PC1", "pc-2"} << QByteArray("PC1\r\npc-2\r\n");
        QTest::newRow("code page 1251")
            << QStringList{QStringLiteral("ВАСЯ"), QStringLiteral("ёЁ")}
            << QByteArray("\xC2\xC0\xD1\xDF\r\n\xB8\xA8\r\n");
        QTest::newRow("empty and blank names kept") << QStringList{"", "  "} << QByteArray("\r\n  \r\n");
    }
    void writtenBytes()
    {
        QFETCH(QStringList, names);
        QFETCH(QByteArray, bytes);
        writeBytes(path, "OLD1\r\nOLD2\r\nOLD3\r\n");
        createWindow();
        window->Blist->clear();
        window->Blist->addItems(names);
        window->show();
        window->BBut1Click();
        QCOMPARE(readBytes(path), bytes);
        QVERIFY(!window->isVisible());
        QVERIFY(fake->dialogs.boxes.isEmpty());
        // What was written reads back as the same list.
        window.reset();
        createWindow();
        QCOMPARE(window->names(), names);
    }

    // ----- Adding from the window -----

    void windowAdd_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnterKey");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("notice");
        const QStringList none;
        QTest::newRow("Cyrillic upper-cased") << none << "вася" << false << QStringList{"ВАСЯ"} << QString();
        QTest::newRow("yo upper-cased") << none << "ёлка" << false << QStringList{"ЁЛКА"} << QString();
        QTest::newRow("Latin and digits") << none << "pc-12a" << true << QStringList{"PC-12A"} << QString();
        QTest::newRow("Ukrainian letters") << none << "ґєії" << false << QStringList{"ҐЄІЇ"} << QString();
        QTest::newRow("micro sign kept: its capital is not in the code page")
            << none << "µpc" << false << QStringList{"µPC"} << QString();
        QTest::newRow("appended at the end, not sorted")
            << QStringList{"ZETA", "ALPHA"} << "beta" << true << QStringList{"ZETA", "ALPHA", "BETA"} << QString();
        QTest::newRow("duplicate in another case")
            << QStringList{"ВАСЯ"} << "ВаСя" << false << QStringList{"ВАСЯ"} << AlreadyListed;
        QTest::newRow("duplicate of a viewer entry in lower case")
            << QStringList{"вася-pc"} << "Вася-PC" << false << QStringList{"вася-pc"} << AlreadyListed;
        QTest::newRow("yo duplicate") << QStringList{"ЁЖ"} << "ёж" << false << QStringList{"ЁЖ"} << AlreadyListed;
        QTest::newRow("ye is not yo")
            << QStringList{"ЕЖ"} << "ёж" << false << QStringList{"ЕЖ", "ЁЖ"} << QString();
        QTest::newRow("no trimming: a longer name is another name")
            << QStringList{"PC"} << " pc" << false << QStringList{"PC", " PC"} << QString();
        QTest::newRow("empty name") << QStringList{"A"} << "" << false << QStringList{"A"} << EnterName;
        QTest::newRow("blanks only are a name") << none << "   " << false << QStringList{"   "} << QString();
    }
    void windowAdd()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, typed);
        QFETCH(bool, byEnterKey);
        QFETCH(QStringList, after);
        QFETCH(QString, notice);
        createWindow();
        window->Blist->addItems(before);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->UsrEd->setText(typed);
        if (byEnterKey)
            QTest::keyClick(window->UsrEd, Qt::Key_Return);
        else
            QTest::mouseClick(window->BBut4, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(window->names(), after);
        QCOMPARE(window->UsrEd->text(), QString());
        if (notice.isEmpty()) {
            QVERIFY(fake->dialogs.boxes.isEmpty());
        } else {
            QCOMPARE(fake->dialogs.boxes.size(), 1);
            QCOMPARE(fake->dialogs.boxes[0].kind, BoxKind::Information);
            QCOMPARE(fake->dialogs.boxes[0].title, AppTitle);
            QCOMPARE(fake->dialogs.boxes[0].text, notice);
        }
        // Adding never writes the file.
        QVERIFY(!QFile::exists(path));
    }

    // ----- Look-up -----

    void lookup_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        const QStringList list{"ВАСЯ", "pc-Ёлка", "Server", "", "Server"};
        QTest::newRow("Latin case") << list << "SERVER" << 2;
        QTest::newRow("Cyrillic case") << list << "вася" << 0;
        QTest::newRow("yo case") << list << "PC-ёЛКА" << 1;
        QTest::newRow("ye for yo is no match") << list << "pc-елка" << -1;
        QTest::newRow("prefix is no match") << list << "ВАС" << -1;
        QTest::newRow("trailing blank is no match") << list << "Server " << -1;
        QTest::newRow("empty entry matches no name, not even an empty one") << list << "" << -1;
        QTest::newRow("empty list") << QStringList{} << "Server" << -1;
    }
    void lookup()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, name);
        QFETCH(int, index);
        createWindow();
        window->Blist->addItems(names);
        QCOMPARE(window->indexOfName(name), index);
        QCOMPARE(window->contains(name), index >= 0);
        // The look-up follows every change of the entries.
        if (index >= 0) {
            window->Blist->item(index)->setText(QStringLiteral("renamed"));
            QCOMPARE(window->indexOfName(name), int(names.lastIndexOf(names[index])) == index ? -1 : int(names.lastIndexOf(names[index])));
        }
        window->Blist->clear();
        QCOMPARE(window->indexOfName(name), -1);
        window->Blist->addItems(names);
        QCOMPARE(window->indexOfName(name), index);
    }

    // ----- Adding from the message viewer -----

    void viewerAdd_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("notice");
        QTest::newRow("kept in its own case") << QStringList{"A"} << "вася-pc" << QStringList{"A", "вася-pc"}
                                              << "Компьютер вася-pc успешно занесен в черный список!";
        QTest::newRow("markup stays text") << QStringList{} << "<b>pc</b>" << QStringList{"<b>pc</b>"}
                                           << "Компьютер <b>pc</b> успешно занесен в черный список!";
        QTest::newRow("listed in another case") << QStringList{"ВАСЯ-PC"} << "вася-pc" << QStringList{"ВАСЯ-PC"}
                                                << AlreadyListed;
        QTest::newRow("no name is never listed") << QStringList{"A"} << "" << QStringList{"A"} << TBListF::noNameText();
    }
    void viewerAdd()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, name);
        QFETCH(QStringList, after);
        QFETCH(QString, notice);
        createWindow();
        window->Blist->addItems(before);
        window->addFromViewer(name);
        QCOMPARE(window->names(), after);
        QCOMPARE(fake->dialogs.texts(BoxKind::Information), QStringList{notice});
        QVERIFY(!QFile::exists(path));
        QVERIFY(!window->isVisible());
    }

    // ----- Delete and clear -----

    void deleteSelected_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<bool>("byDeleteKey");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("none selected") << QList<int>{} << false << QStringList{"A", "B", "C", "D", "E"};
        QTest::newRow("several apart") << QList<int>{0, 2, 4} << false << QStringList{"B", "D"};
        QTest::newRow("several together, Delete key") << QList<int>{1, 2, 3} << true << QStringList{"A", "E"};
        QTest::newRow("all") << QList<int>{0, 1, 2, 3, 4} << false << QStringList{};
    }
    void deleteSelected()
    {
        QFETCH(QList<int>, selected);
        QFETCH(bool, byDeleteKey);
        QFETCH(QStringList, after);
        createWindow();
        window->Blist->addItems({"A", "B", "C", "D", "E"});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (int row : selected)
            window->Blist->item(row)->setSelected(true);
        if (byDeleteKey)
            QTest::keyClick(window->Blist, Qt::Key_Delete);
        else
            QTest::mouseClick(window->BBut6, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(window->names(), after);
        QVERIFY(fake->dialogs.boxes.isEmpty());
        QVERIFY(window->isVisible());
    }

    // ----- Confirm and cancel -----

    void endings_data()
    {
        QTest::addColumn<bool>("fileBefore");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArray>("file"); // empty with fileBefore false: still no file
        const QByteArray old("PC1\r\npc2\r\n");
        QTest::newRow("clear, cancel restores") << true << "clear" << Ending::Cancel
                                                << QStringList{"PC1", "pc2"} << old;
        QTest::newRow("clear, close button restores") << true << "clear" << Ending::CloseButton
                                                      << QStringList{"PC1", "pc2"} << old;
        QTest::newRow("clear, OK writes an empty file") << true << "clear" << Ending::Ok
                                                        << QStringList{} << QByteArray("");
        QTest::newRow("viewer add, cancel drops it") << true << "viewer" << Ending::Cancel
                                                     << QStringList{"PC1", "pc2"} << old;
        QTest::newRow("viewer add, OK writes it") << true << "viewer" << Ending::Ok
                                                  << QStringList{"PC1", "pc2", "вася"}
                                                  << old + cp(QStringLiteral("вася\r\n"));
        QTest::newRow("window add, OK writes it") << true << "window" << Ending::Ok
                                                  << QStringList{"PC1", "pc2", "PC3"} << old + "PC3\r\n";
        QTest::newRow("no file, cancel keeps the list") << false << "window" << Ending::Cancel
                                                        << QStringList{"PC3"} << QByteArray();
        QTest::newRow("no file, OK creates it") << false << "viewer" << Ending::Ok
                                                << QStringList{"вася"} << cp(QStringLiteral("вася\r\n"));
    }
    void endings()
    {
        QFETCH(bool, fileBefore);
        QFETCH(QString, edit);
        QFETCH(Ending, ending);
        QFETCH(QStringList, names);
        QFETCH(QByteArray, file);
        if (fileBefore)
            writeBytes(path, "PC1\r\npc2\r\n");
        createWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        if (edit == QLatin1String("clear")) {
            window->BBut7Click();
        } else if (edit == QLatin1String("viewer")) {
            window->addFromViewer(QStringLiteral("вася"));
        } else {
            window->UsrEd->setText(QStringLiteral("pc3"));
            window->BBut4Click();
        }
        switch (ending) {
        case Ending::Ok: QTest::mouseClick(window->BBut1, Qt::LeftButton, {}, QPoint(5, 5)); break;
        case Ending::Cancel: QTest::mouseClick(window->BBut2, Qt::LeftButton, {}, QPoint(5, 5)); break;
        case Ending::CloseButton: QTest::mouseClick(window->BBut3, Qt::LeftButton, {}, QPoint(5, 5)); break;
        }
        QVERIFY(!window->isVisible());
        QCOMPARE(window->names(), names);
        QCOMPARE(QFile::exists(path), fileBefore || ending == Ending::Ok);
        QCOMPARE(readBytes(path), file);
        QVERIFY(fake->dialogs.texts(BoxKind::Error).isEmpty());
    }

    // ----- File errors -----

    void writeFailures_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("atShutDown");
        QTest::newRow("disk limit, OK") << "limit" << false;
        QTest::newRow("disk limit, shut-down") << "limit" << true;
        QTest::newRow("folder missing, OK") << "folder" << false;
        QTest::newRow("folder missing, shut-down") << "folder" << true;
    }
    void writeFailures()
    {
        QFETCH(QString, failure);
        QFETCH(bool, atShutDown);
        const QByteArray old("OLD\r\n");
        writeBytes(path, old);
        createWindow();
        QStringList many;
        for (int i = 0; i < 200; ++i)
            many << QStringLiteral("COMPUTER-%1").arg(i);
        window->Blist->addItems(many);
        const QStringList before = window->names();
        QString target = path;
        if (failure == QLatin1String("folder")) {
            target = folder->filePath(QStringLiteral("gone/BList.ini"));
            App().BlackListPath = target;
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        QString thrown;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (failure == QLatin1String("limit"))
                limit = std::make_unique<FileSizeLimit>(64);
            if (atShutDown) {
                try {
                    window->FormDestroy();
                } catch (const std::runtime_error& e) {
                    thrown = QString::fromUtf8(e.what());
                }
            } else {
                window->BBut1Click();
            }
        }
        const QString message = QStringLiteral("Cannot create file ") + target;
        if (atShutDown) {
            QCOMPARE(thrown, message);
            QVERIFY(fake->dialogs.boxes.isEmpty());
        } else {
            QCOMPARE(fake->dialogs.texts(BoxKind::Error), QStringList{message + QLatin1Char('.')});
            QVERIFY(window->isVisible());
        }
        QCOMPARE(window->names(), before);
        // The old file is untouched and no temporary file is left beside it.
        QCOMPARE(readBytes(path), old);
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"BList.ini"});
    }

    void readFailures_data()
    {
        QTest::addColumn<bool>("atCancel");
        QTest::newRow("at creation") << false;
        QTest::newRow("at cancel") << true;
    }
    void readFailures()
    {
        QFETCH(bool, atCancel);
        const QString message = QStringLiteral("Cannot open file ") + path + QLatin1Char('.');
        if (atCancel) {
            createWindow();
            window->Blist->addItems({"A", "B"});
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        }
        // A folder where the file should be: it exists but cannot be read as a file.
        QVERIFY(QDir().mkpath(path));
        if (atCancel) {
            window->BBut2Click();
            QVERIFY(window->isVisible());
            QCOMPARE(window->names(), (QStringList{"A", "B"}));
        } else {
            createWindow();
            QCOMPARE(window->Blist->count(), 0);
        }
        QCOMPARE(fake->dialogs.texts(BoxKind::Error), QStringList{message});
    }

    // ----- Showing -----

    void showSound_data()
    {
        QTest::addColumn<bool>("soundOn");
        QTest::newRow("sound on") << true;
        QTest::newRow("sound off") << false;
    }
    void showSound()
    {
        QFETCH(bool, soundOn);
        App().SoundOn = soundOn;
        createWindow();
        QVERIFY(fake->sound.played.isEmpty());
        window->show();
        window->hide();
        window->show();
        const QStringList expected = soundOn ? QStringList{App().WindowSoundPath, App().WindowSoundPath} : QStringList{};
        QCOMPARE(fake->sound.played, expected);
    }

    void controlsLaidOut()
    {
        createWindow();
        QCOMPARE(window->size(), QSize(327, 336));
        // Inside the frame, under the title, and none covering another.
        const QRect client(3, 22, 327 - 6, 336 - 22 - 3);
        const QList<QWidget*> controls{window->Blist, window->UsrEd, window->BBut4, window->BBut6,
                                       window->BBut7, window->BBut1, window->BBut2};
        QList<QRect> places;
        for (QWidget* control : controls) {
            const QRect place(control->mapTo(window.get(), QPoint(0, 0)), control->size());
            QVERIFY2(client.contains(place), qPrintable(control->metaObject()->className()));
            for (const QRect& other : places)
                QVERIFY(!other.intersects(place));
            places << place;
        }
        for (QWidget* inGroup : {static_cast<QWidget*>(window->Blist), static_cast<QWidget*>(window->UsrEd),
                                 static_cast<QWidget*>(window->BBut4), static_cast<QWidget*>(window->BBut6),
                                 static_cast<QWidget*>(window->BBut7)})
            QCOMPARE(inGroup->parentWidget(), window->GroupBox1);
        QCOMPARE(window->Blist->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(window->Blist->palette().color(QPalette::Base), QColor(0xED, 0xF2, 0xD8));
        QCOMPARE(window->UsrEd->palette().color(QPalette::Base), QColor(0xED, 0xF2, 0xD8));
        window->Blist->addItems({"A", "B"});
        QCOMPARE(window->Blist->visualItemRect(window->Blist->item(0)).height(), 14);
        // Tab goes from the list to the edit: the next widget taking Tab focus after the list.
        QWidget* next = window->Blist->nextInFocusChain();
        while (next != window.get() && (window->Blist->isAncestorOf(next) || !(next->focusPolicy() & Qt::TabFocus)))
            next = next->nextInFocusChain();
        QCOMPARE(next, window->UsrEd);
    }

    // ----- In the whole program -----

    void wholeProgram()
    {
        cleanup();
        ProgramFixture program;
        QVERIFY(BListF);
        const QString file = program.dataFile(QStringLiteral("BList.ini"));
        // The tray command shows the window modally; the receiving end's look-up sees edits
        // that are not confirmed yet.
        bool seenWhileOpen = false;
        QTimer::singleShot(0, BListF, [&] {
            BListF->UsrEd->setText(QStringLiteral("вася"));
            BListF->BBut4Click();
            seenWhileOpen = BListF->isModalShowing() && BListF->contains(QStringLiteral("Вася"));
            BListF->BBut1Click();
        });
        Form1->N4Click();
        QVERIFY(seenWhileOpen);
        QVERIFY(!BListF->isVisible());
        QCOMPARE(readBytes(file), cp(QStringLiteral("ВАСЯ\r\n")));
        // An entry from the viewer reaches the file at shut-down.
        BListF->addFromViewer(QStringLiteral("pc-1"));
        QCOMPARE(readBytes(file), cp(QStringLiteral("ВАСЯ\r\n")));
        destroyWindows();
        QVERIFY(!BListF);
        QCOMPARE(readBytes(file), cp(QStringLiteral("ВАСЯ\r\npc-1\r\n")));
    }

private:
    void createWindow() { window = std::make_unique<TBListF>(); }

    std::unique_ptr<platform::FakePlatform> fake;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<TBListF> window;
    QString path;
};

QTEST_MAIN(BlackListTest)
#include "black_list_test.moc"

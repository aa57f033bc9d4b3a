#pragma once
// The program's six windows, created and torn down as the program does it, on recording fakes
// and a private data folder. One at a time per test process.
#include "app/app_state.h"
#include "app/application.h"
#include "app/ini_file.h"
#include "app/program.h"
#include "app/welcome_window.h"
#include "messaging/inbox.h"
#include "messaging/receiver.h"
#include "net/peer_names.h"
#include "tests/support/fake_platform.h"
#include "tests/support/raw_peer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

struct ProgramFixture {
    platform::FakePlatform fake;
    QTemporaryDir folder;

    // Settings to put in the file before the windows read it, as (section, key, value).
    struct Setting {
        QString section, key, value;
    };

    explicit ProgramFixture(const QList<Setting>& settings = {})
    {
        fake.paths.data = folder.filePath(QStringLiteral("data")) + QLatin1Char('/');
        fake.paths.exe = folder.filePath(QStringLiteral("exe")) + QLatin1Char('/');
        QDir().mkpath(fake.paths.data);
        QDir().mkpath(fake.paths.exe);
        QDir().mkpath(folder.filePath(QStringLiteral("run")));
        qputenv("XDG_RUNTIME_DIR", folder.filePath(QStringLiteral("run")).toLocal8Bit());
        platform::setApplicationTitle(AppTitle);
        App() = AppState{};
        // Names and waiting messages of an earlier test are not this test's.
        net::peer_names::forgetAll();
        net::peer_names::setRememberTime(net::peer_names::RememberMs);
        dropWaitingMessages();
        inbox().clear();
        setNameWait(NameWaitMs);
        setListedNameWait(ListedNameWaitMs);
        setQuietTime(QuietMs);
        Application() = TApplication{};
        Application().Title = AppTitle;
        TIniFile ini(fake.paths.data + QStringLiteral("Pellavine.ini"));
        for (const Setting& s : settings)
            ini.WriteString(s.section, s.key, s.value);
        createWindows();
    }

    ~ProgramFixture() { destroyWindows(); }

    QString dataFile(const QString& name) const { return fake.paths.data + name; }

    // Ends the welcome time at once: the tray icon appears and the server listens.
    void passSplash() { Form1->Ef1Timer(); }
};

// Puts the names in the black list file and has the black list window load it.
void useBlackList(const QStringList& names);

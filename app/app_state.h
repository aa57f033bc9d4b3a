#pragma once
// The one process-wide record of settings, file paths and the last received message.
// Every window reads and writes it directly, on the GUI thread only.
#include <QString>

inline const QString VersionText = QStringLiteral("1.2");
inline const QString AppTitle = QStringLiteral("Pellavine 1.2");
inline const QString HelpFileName = QStringLiteral("help.htm");
// Addresses under a domain reserved for examples until the project has a home of its own.
inline const QString WebPageAddress = QStringLiteral("https://pellavine.example.org/");
inline const QString MailAddress = QStringLiteral("mailto:orvath@pellavine.example.org");

struct AppState {
    // The settings at their defaults.
    AppState();

    // Settings; their keys and defaults are in the settings table (app/settings.cpp).
    int Port{};
    int SplashTime{};
    bool SplashTransparent{};
    bool SoundOn{};
    bool AutoFocus{};
    int AutoFocusTime{};
    bool FirstStart{};
    QString LastAddress;

    // Paths, computed once at start-up
    QString ExeDir;
    QString DataDir;
    QString SettingsPath;
    QString HelpPath;
    QString AddressListPath;
    QString BlackListPath;
    QString SendSoundPath;
    QString WindowSoundPath;
    QString MessageSoundPath;

    // The last received message
    QString LastTime;
    QString LastSenderHost;
    QString LastSenderAddress;
    QString LastText;
    bool MessageReceived = false;
    bool FreshMessage = false;

    // Fills the path fields from the program's folder and the per-user folder (both end in '/').
    // Without a per-user folder the data files' paths stay empty: nothing is read or kept.
    void computePaths(const QString& exeDir, const QString& dataDir);
};

AppState& App();

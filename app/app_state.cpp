#include "app/app_state.h"

#include "app/language.h"
#include "app/settings.h"

AppState::AppState()
{
    settings::setDefaults(*this);
}

void AppState::computePaths(const QString& exeDir, const QString& dataDir)
{
    ExeDir = exeDir;
    DataDir = dataDir;
    // An empty folder must not turn the files into names relative to the working folder.
    const auto dataFile = [&](const QString& name) { return DataDir.isEmpty() ? QString() : DataDir + name; };
    SettingsPath = dataFile(QStringLiteral("Pellavine.ini"));
    HelpPath = localizedDocument(ExeDir, HelpFileName);
    AddressListPath = dataFile(QStringLiteral("Adrs.ini"));
    BlackListPath = dataFile(QStringLiteral("BList.ini"));
    SendSoundPath = ExeDir + QStringLiteral("Send.wav");
    WindowSoundPath = ExeDir + QStringLiteral("Wnd.wav");
    MessageSoundPath = ExeDir + QStringLiteral("Msg.wav");
}

AppState& App()
{
    static AppState state;
    return state;
}

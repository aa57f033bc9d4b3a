#include "app/app_state.h"

void AppState::computePaths(const QString& exeDir, const QString& dataDir)
{
    ExeDir = exeDir;
    DataDir = dataDir;
    SettingsPath = DataDir + QStringLiteral("Pellavine.ini");
    HelpPath = ExeDir + HelpFileName;
    AddressListPath = DataDir + QStringLiteral("Adrs.ini");
    BlackListPath = DataDir + QStringLiteral("BList.ini");
    SendSoundPath = ExeDir + QStringLiteral("Send.wav");
    WindowSoundPath = ExeDir + QStringLiteral("Wnd.wav");
    MessageSoundPath = ExeDir + QStringLiteral("Msg.wav");
}

AppState& App()
{
    static AppState state;
    return state;
}

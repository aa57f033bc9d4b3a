#include "app/settings.h"

#include "app/app_state.h"

#include <QCoreApplication>

namespace settings {

std::span<const AnyKey> table()
{
    using enum Writer;
    static const AnyKey Table[] = {
        //           section   name             default                      range           AppState field                written back by
        Key<int>    {"config", "port",          243,                         {1, 999999},    &AppState::Port,              MainWindow},
        Key<int>    {"config", "sptime",        2000,                        {1000, 300000}, &AppState::SplashTime,        MainWindow},
        Key<bool>   {"config", "sptrans",       true,                        {},             &AppState::SplashTransparent, MainWindow},
        Key<bool>   {"config", "snd",           true,                        {},             &AppState::SoundOn,           MainWindow},
        Key<bool>   {"config", "autofocus",     true,                        {},             &AppState::AutoFocus,         MainWindow},
        Key<int>    {"config", "autofocustime", 10000,                       {1000, 300000}, &AppState::AutoFocusTime,     MainWindow},
        Key<bool>   {"config", "firststart",    true,                        {},             &AppState::FirstStart,        MainWindow},
        SenderLeft, // the send window's place: settings.h
        SenderTop,
        Key<QString>{"last",   "adr",           QStringLiteral("localhost"), {},             &AppState::LastAddress,       SendWindow},
    };
    return Table;
}

namespace {

// Calls `use` with each key that has an AppState field, in table order.
template <typename Use>
void forEachField(Use use)
{
    for (const AnyKey& any : table())
        std::visit([&](const auto& key) { if (key.field) use(key); }, any);
}

} // namespace

void setDefaults(AppState& app)
{
    forEachField([&](const auto& key) { app.*key.field = key.fallback; });
}

void load(const TIniFile& ini, AppState& app)
{
    forEachField([&](const auto& key) { app.*key.field = read(ini, key); });
}

void saveMainWindowKeys(TIniFile& ini, const AppState& app)
{
    forEachField([&](const auto& key) {
        if (key.writer == Writer::MainWindow)
            write(ini, key, app.*key.field);
    });
}

QString invalidPortText(const QString& settingsPath, int port)
{
    return QCoreApplication::translate("Settings", "В файле настроек %1 неверный порт %2: нужно число от %3 до %4")
        .arg(settingsPath, QString::number(port), QString::number(TcpPorts.min), QString::number(TcpPorts.max));
}

} // namespace settings

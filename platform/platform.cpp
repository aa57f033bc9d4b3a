#include "platform/platform.h"

#include "platform/desktop_services.h"

#include <QThreadPool>

#include <cstdio>
#include <exception>

namespace platform {
namespace {

template <class T>
struct Slot {
    T* replacement = nullptr;
};

Slot<Dialogs> g_dialogs;
Slot<Sound> g_sound;
Slot<Shell> g_shell;
Slot<Paths> g_paths;
Slot<Clock> g_clock;
Slot<WindowSystem> g_windows;
// Read on nameServiceThreads(), written only when none of them is in a lookup.
Slot<NameService> g_names;
QString g_title;
bool g_reportsToStandardError = false;

} // namespace

Dialogs& dialogs() { return g_dialogs.replacement ? *g_dialogs.replacement : desktop::dialogs(); }
Sound& sound() { return g_sound.replacement ? *g_sound.replacement : desktop::sound(); }
Shell& shell() { return g_shell.replacement ? *g_shell.replacement : desktop::shell(); }
Paths& paths() { return g_paths.replacement ? *g_paths.replacement : desktop::paths(); }
Clock& clock() { return g_clock.replacement ? *g_clock.replacement : desktop::clock(); }
WindowSystem& windowSystem() { return g_windows.replacement ? *g_windows.replacement : desktop::windowSystem(); }

void setDialogs(Dialogs* service) { g_dialogs.replacement = service; }
void setSound(Sound* service) { g_sound.replacement = service; }
void setShell(Shell* service) { g_shell.replacement = service; }
void setPaths(Paths* service) { g_paths.replacement = service; }
void setClock(Clock* service) { g_clock.replacement = service; }
void setWindowSystem(WindowSystem* service) { g_windows.replacement = service; }

void setNameService(NameService* service)
{
    nameServiceThreads().waitForDone();
    g_names.replacement = service;
}

QString hostNameOf(const QString& address)
{
    try {
        return (g_names.replacement ? *g_names.replacement : desktop::nameService()).hostName(address);
    } catch (...) {
        return QString();
    }
}

QThreadPool& nameServiceThreads()
{
    // Never destroyed: the end of the process does not wait for a lookup a dead name server holds.
    static QThreadPool* const pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(NameLookupThreads);
        return threads;
    }();
    return *pool;
}

void setApplicationTitle(const QString& title) { g_title = title; }
QString applicationTitle() { return g_title; }

QString exceptionBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void reportException(const QString& message)
{
    if (g_reportsToStandardError)
        std::fprintf(stderr, "pellavine: %s\n", message.toUtf8().constData());
    else
        dialogs().error(exceptionBoxText(message));
}

void setReportsToStandardError(bool on) { g_reportsToStandardError = on; }

QString currentExceptionText()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown exception");
    }
}

bool runGuarded(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (...) {
        reportException(currentExceptionText());
    }
    return false;
}

} // namespace platform

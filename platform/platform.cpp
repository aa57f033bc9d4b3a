#include "platform/platform.h"

#include "platform/desktop_services.h"

#include <condition_variable>
#include <exception>
#include <mutex>

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
QString g_title;

struct NameServiceSlot {
    std::mutex mutex;
    std::condition_variable idle;
    NameService* replacement = nullptr;
    int calls = 0;
};

NameServiceSlot& nameSlot()
{
    // Resolver threads may still be inside a call while the process ends: never destroyed.
    static NameServiceSlot* slot = new NameServiceSlot;
    return *slot;
}

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
    NameServiceSlot& slot = nameSlot();
    std::unique_lock<std::mutex> lock(slot.mutex);
    slot.idle.wait(lock, [&] { return slot.calls == 0; });
    slot.replacement = service;
}

QString hostNameOf(const QString& address)
{
    NameServiceSlot& slot = nameSlot();
    NameService* service = nullptr;
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        service = slot.replacement ? slot.replacement : &desktop::nameService();
        ++slot.calls;
    }
    QString name;
    try {
        name = service->hostName(address);
    } catch (...) {
        name.clear();
    }
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (--slot.calls == 0)
        slot.idle.notify_all();
    return name;
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
    dialogs().error(exceptionBoxText(message));
}

bool runGuarded(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        reportException(QString::fromUtf8(e.what()));
    }
    return false;
}

} // namespace platform

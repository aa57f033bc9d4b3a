#pragma once
// Keeps a second copy of the program from running in the same login. The first copy holds a lock
// named after the application title for its whole run; a copy that finds it held ends quietly.
// A lock that cannot be made at all is reported, and the copy runs on.
#include "platform/instance_lock.h"

#include <QCoreApplication>
#include <QObject>

#include <functional>

class TOneProgram : public QObject {
    Q_DECLARE_TR_FUNCTIONS(TOneProgram)
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    // Longest lock name taken from the title.
    static constexpr int NameLimit = 255;
    // The report of a lock that cannot be made; %1 is InstanceLock::failure().
    static QString lockFailedText();

    explicit TOneProgram(QObject* owner = nullptr);
    ~TOneProgram() override;

    // Bring the earlier copy's window to the front when a second copy is detected. Another
    // process's windows cannot be reached through Qt, so on this desktop the earlier copy is
    // left alone either way (the program sets it false anyway).
    bool SwitchToPrevious() const { return switchToPrevious_; }
    void setSwitchToPrevious(bool on) { switchToPrevious_ = on; }

    // Called when this copy turns out to be a second one.
    TNotifyEvent AlreadyExist;

    // The check, once the owning window has loaded its components: a second copy calls
    // AlreadyExist, tells the application not to show its main window and to terminate
    // (controls::applicationLink()).
    void Loaded();

    // The check has run (the lock, if got, is held until destruction).
    bool OwnsMutex() const { return ownsMutex_; }
    // The check found another copy.
    bool SecondCopy() const { return secondCopy_; }

private:
    bool switchToPrevious_ = true;
    bool ownsMutex_ = false;
    bool secondCopy_ = false;
    platform::InstanceLock lock_;
};

#include "controls/one_program.h"

#include "controls/application_link.h"
#include "platform/platform.h"

QString TOneProgram::lockFailedText()
{
    return tr("Pellavine не может проверить, не запущен ли он уже: %1 Программа продолжит работу.");
}

TOneProgram::TOneProgram(QObject* owner) : QObject(owner) {}

TOneProgram::~TOneProgram()
{
    if (ownsMutex_)
        lock_.release();
}

void TOneProgram::Loaded()
{
    const QString name = platform::applicationTitle().left(NameLimit);
    ownsMutex_ = false;
    if (lock_.acquire(name)) {
        // The first copy.
    } else if (!lock_.failure().isEmpty()) {
        // Only a lock that another copy holds means "already running": this copy runs on, and a
        // second one started meanwhile would be told that the port is taken.
        platform::dialogs().error(lockFailedText().arg(lock_.failure()));
    } else {
        secondCopy_ = true;
        if (AlreadyExist)
            AlreadyExist(this);
        // SwitchToPrevious: finding and raising the other process's window by its title has no
        // Qt counterpart, so nothing is done for it here.
        controls::hideMainFormAtStart();
        controls::terminateApplication();
    }
    ownsMutex_ = true;
}

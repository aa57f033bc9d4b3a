#include "controls/one_program.h"

#include "controls/application_link.h"
#include "platform/platform.h"

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
    // A lock that cannot be made counts as held by another copy.
    if (!lock_.acquire(name)) {
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

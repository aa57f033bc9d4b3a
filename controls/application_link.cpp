#include "controls/application_link.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QWidget>

namespace controls {

ApplicationLink& applicationLink()
{
    static ApplicationLink link;
    return link;
}

void terminateApplication()
{
    if (applicationLink().terminate) {
        applicationLink().terminate();
        return;
    }
    // Queued, so that a loop that has not started yet ends as soon as it does.
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(application, &QCoreApplication::quit, Qt::QueuedConnection);
}

void hideMainFormAtStart()
{
    if (applicationLink().hideMainFormAtStart)
        applicationLink().hideMainFormAtStart();
}

QWidget* applicationMainForm(QWidget* fallback)
{
    if (applicationLink().mainForm)
        return applicationLink().mainForm();
    return fallback ? fallback->window() : nullptr;
}

void hideTaskbarButton()
{
    if (applicationLink().hideTaskbarButton)
        applicationLink().hideTaskbarButton();
}

} // namespace controls

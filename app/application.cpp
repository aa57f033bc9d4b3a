#include "app/application.h"

#include <QApplication>

void TApplication::Terminate()
{
    terminated_ = true;
    // Also ends the nested loops of boxes that are open at this moment.
    QCoreApplication::exit(0);
}

int TApplication::Run()
{
    if (terminated_)
        return 0;
    return QApplication::exec();
}

TApplication& Application()
{
    static TApplication application;
    return application;
}

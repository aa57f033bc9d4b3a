#include "app/application.h"

#include <QApplication>

void TApplication::Terminate()
{
    m_terminated = true;
    // Also ends the nested loops of boxes that are open at this moment.
    QCoreApplication::exit(0);
}

int TApplication::Run()
{
    if (m_terminated)
        return 0;
    return QApplication::exec();
}

TApplication& Application()
{
    static TApplication application;
    return application;
}

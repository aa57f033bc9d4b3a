#include "windows/about_box.h"

#include "controls/skinned_button.h"

TAboutBox* AboutBox = nullptr;

TAboutBox::TAboutBox(QWidget* parent)
    : TSkinForm(QStringLiteral("О программе"), QSize(356, 323), FrameKind::Composite, QString(), parent)
{
    AboutBox = this;
    BBut2 = closeButton();
    BBut5 = helpButton();
    BBut2->setHint(QString());
    BBut2->OnClick = [this](QObject*) { BBut2Click(); };
    centreOnScreen();
}

TAboutBox::~TAboutBox()
{
    if (AboutBox == this)
        AboutBox = nullptr;
}

void TAboutBox::BBut2Click()
{
    close();
}

void TAboutBox::FormDestroy()
{
    // The about box keeps nothing on disk.
}

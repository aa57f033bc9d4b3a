#include "windows/config_dialog.h"

#include "controls/skinned_button.h"

TConfigF* ConfigF = nullptr;

TConfigF::TConfigF(QWidget* parent)
    : TSkinForm(QStringLiteral("Настройки"), QSize(342, 294), FrameKind::Composite, QString(), parent)
{
    ConfigF = this;
    BBut3 = closeButton();
    BBut5 = helpButton();
    BBut3->OnClick = [this](QObject*) { BBut3Click(); };
    centreOnDesktop();
}

TConfigF::~TConfigF()
{
    if (ConfigF == this)
        ConfigF = nullptr;
}

void TConfigF::BBut3Click()
{
    close();
}

void TConfigF::FormDestroy()
{
    // The settings reach their file from AppState, not from here.
}

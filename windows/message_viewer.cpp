#include "windows/message_viewer.h"

#include "controls/skinned_button.h"

TMsgF* MsgF = nullptr;

TMsgF::TMsgF(QWidget* parent)
    : TSkinForm(QStringLiteral("Просмотр сообщения"), QSize(308, 293), FrameKind::Composite, QString(), parent)
{
    MsgF = this;
    BBut3 = closeButton();
    BBut4 = helpButton();
    BBut3->OnClick = [this](QObject*) { BBut3Click(); };
    centreOnDesktop();
}

TMsgF::~TMsgF()
{
    if (MsgF == this)
        MsgF = nullptr;
}

void TMsgF::BBut3Click()
{
    hide();
}

void TMsgF::FormDestroy()
{
    // The viewer keeps nothing on disk.
}

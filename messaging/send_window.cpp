#include "messaging/send_window.h"

#include "controls/skinned_button.h"

TSenderF* SenderF = nullptr;

TSenderF::TSenderF(QWidget* parent)
    : TSkinForm(QStringLiteral("Отправка сообщения"), QSize(255, 112), FrameKind::Skin,
                QStringLiteral("send_skin"), parent)
{
    SenderF = this;
    setWindowFlag(Qt::WindowStaysOnTopHint);
    skinpic = skinPicture();
    BBut2 = makeFrameButton(FrameButton::Close, QPoint(234, 3));
    BBut5 = makeFrameButton(FrameButton::Help, QPoint(216, 3));
    BBut2->OnClick = [this](QObject*) { BBut2Click(); };
    // Until the stored position is read.
    move(150, 150);
}

TSenderF::~TSenderF()
{
    if (SenderF == this)
        SenderF = nullptr;
}

void TSenderF::BBut2Click()
{
    close();
}

void TSenderF::FormDestroy()
{
    // Writing the address history and the window's place belongs here; neither is built yet.
}

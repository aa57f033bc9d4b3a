#include "windows/black_list.h"

#include "controls/skinned_button.h"

TBListF* BListF = nullptr;

TBListF::TBListF(QWidget* parent)
    : TSkinForm(QStringLiteral("Черный список"), QSize(327, 336), FrameKind::Composite, QString(), parent)
{
    BListF = this;
    BBut3 = closeButton();
    BBut5 = helpButton();
    BBut3->OnClick = [this](QObject*) { BBut3Click(); };
    centreOnDesktop();
}

TBListF::~TBListF()
{
    if (BListF == this)
        BListF = nullptr;
}

void TBListF::BBut3Click()
{
    close();
}

void TBListF::FormDestroy()
{
    // Writing the black list file belongs here; the list itself is not built yet.
}

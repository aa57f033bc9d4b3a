#include "windows/about_box.h"

#include "app/app_state.h"
#include "assets/pictures.h"
#include "controls/skinned_button.h"
#include "platform/platform.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QShowEvent>

TAboutBox* AboutBox = nullptr;

namespace {

const QColor Maroon(0x80, 0x00, 0x00);
const QColor ProductColour(0x68, 0x78, 0x28);

QFont arial(int pixels, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QWidget* filled(QWidget* parent, const QColor& colour, const QRect& place)
{
    auto* area = new QWidget(parent);
    QPalette colours = area->palette();
    colours.setColor(QPalette::Window, colour);
    area->setPalette(colours);
    area->setAutoFillBackground(true);
    area->setGeometry(place);
    return area;
}

QLabel* label(QWidget* parent, const QString& text, const QFont& font, const QColor& colour, const QRect& place,
              Qt::Alignment align = Qt::AlignLeft)
{
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    l->setFont(font);
    QPalette colours = l->palette();
    colours.setColor(QPalette::WindowText, colour);
    l->setPalette(colours);
    l->setAlignment(align | Qt::AlignVCenter);
    l->setGeometry(place);
    return l;
}

// A link shown as a label: its target appears as the hint, a click does nothing.
QLabel* linkLabel(QWidget* parent, const QString& text, const QString& target, const QRect& place)
{
    QFont font = skin::windowFont();
    font.setUnderline(true);
    QLabel* l = label(parent, text, font, skin::link(), place);
    l->setCursor(Qt::PointingHandCursor);
    l->setToolTip(Qt::mightBeRichText(target) ? Qt::convertFromPlainText(target, Qt::WhiteSpaceNormal) : target);
    return l;
}

QString withoutScheme(QString address)
{
    for (const char* scheme : {"mailto:", "https://", "http://"}) {
        if (address.startsWith(QLatin1String(scheme)))
            address.remove(0, qsizetype(qstrlen(scheme)));
    }
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address;
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : TSkinForm(tr("О программе"), QSize(356, 323), FrameKind::Composite, QString(), parent)
{
    AboutBox = this;
    setDialog(true);
    BBut2 = closeButton();
    BBut5 = helpButton();
    BBut2->setHint(QString());
    BBut2->OnClick = [this](QObject*) { BBut1Click(); };
    BBut5->OnClick = [this](QObject*) { BBut3Click(); };
    makeTitleDragHandles([this] { Image6MouseDown(); });
    buildControls();
    centreOnScreen();
    platform::runGuarded([this] { FormCreate(); });
}

TAboutBox::~TAboutBox()
{
    if (AboutBox == this)
        AboutBox = nullptr;
}

void TAboutBox::buildControls()
{
    Panel2 = filled(this, Qt::black, QRect(3, 22, 350, 80));
    Image2 = new TSkinImage(assets::picture(QStringLiteral("about_logo")), Panel2);
    Image2->setGeometry(14, 14, 52, 52);
    Label3 = label(Panel2, QStringLiteral("Daskemoor"), arial(19), Maroon, QRect(78, 10, 200, 24));
    Label6 = label(Panel2, QStringLiteral("Orvath"), arial(11), Maroon, QRect(80, 34, 150, 14));
    Label4 = linkLabel(Panel2, withoutScheme(MailAddress), MailAddress, QRect(80, 48, 200, 14));
    Label5 = linkLabel(Panel2, withoutScheme(WebPageAddress), WebPageAddress, QRect(80, 62, 200, 14));
    Label7 = label(Panel2, QStringLiteral("2004"), arial(11), Maroon, QRect(290, 62, 54, 14), Qt::AlignRight);
    // Only the two links are wider than they look; keep them from covering one another.
    Label4->adjustSize();
    Label5->adjustSize();

    Shape1 = filled(this, skin::accent(), QRect(10, 110, 336, 108));
    Shape2 = filled(this, skin::textField(), QRect(11, 111, 334, 106));

    ProgramIcon = new TSkinImage(assets::picture(QStringLiteral("about_icon")), this);
    ProgramIcon->setGeometry(22, 120, 48, 48);
    ProductName = label(this, QStringLiteral("Pellavine"), arial(32, true), ProductColour, QRect(80, 120, 200, 44));
    Version = label(this, QString(), skin::windowFont(), skin::text(), QRect(270, 114, 70, 14), Qt::AlignRight);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setGeometry(18, 174, 322, 38);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->viewport()->setCursor(Qt::ArrowCursor);
    QPalette memoColours = Memo1->palette();
    memoColours.setColor(QPalette::Base, skin::textField());
    memoColours.setColor(QPalette::Text, skin::text());
    Memo1->setPalette(memoColours);
    Memo1->document()->setDocumentMargin(1);
    Memo1->setPlainText(tr("Pellavine - программа для обмена мгновенными сообщения- \n"
                                       "ми в локальных сетях."));

    BBut1 = makePushButton(tr("OK"), QRect(96, 288, 75, 23), ButtonLook::MainAction);
    BBut3 = makePushButton(tr("Справка"), QRect(185, 288, 75, 23), ButtonLook::Other);
    BBut1->OnClick = [this](QObject*) { BBut1Click(); };
    BBut3->OnClick = [this](QObject*) { BBut3Click(); };
    Memo1->setTabChangesFocus(true);
    setTabChain({Memo1, BBut1, BBut3, BBut5, BBut2});
}

void TAboutBox::FormCreate()
{
    Version->setText(VersionText);
}

void TAboutBox::FormShow()
{
    playWindowSound();
}

void TAboutBox::BBut1Click()
{
    close();
}

void TAboutBox::BBut3Click()
{
    openHelp();
}

void TAboutBox::Image6MouseDown()
{
    platform::windowSystem().startMove(this);
}

void TAboutBox::FormDestroy()
{
    // The about box keeps nothing on disk.
}

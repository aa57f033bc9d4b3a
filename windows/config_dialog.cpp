#include "windows/config_dialog.h"

#include "app/app_state.h"
#include "app/settings.h"
#include "controls/skinned_button.h"
#include "controls/spin_edit.h"
#include "platform/platform.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>

TConfigF* ConfigF = nullptr;

QString TConfigF::restartNotice()
{
    return tr("Некоторые настройки вступят в силу только после перезапуска программы!");
}

namespace {

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TConfigF::TConfigF(QWidget* parent)
    : TSkinForm(tr("Настройки"), QSize(342, 294), FrameKind::Composite, QString(), parent)
{
    ConfigF = this;
    setDialog(true);
    BBut3 = closeButton();
    BBut5 = helpButton();
    BBut3->OnClick = [this](QObject*) { BBut2Click(); };
    BBut5->OnClick = [this](QObject*) { BBut5Click(); };
    makeTitleDragHandles([this] { Image3MouseDown(); });
    buildControls();
    centreOnDesktop();
}

TConfigF::~TConfigF()
{
    if (ConfigF == this)
        ConfigF = nullptr;
}

void TConfigF::buildControls()
{
    auto group = [this](const QString& caption, const QRect& place) {
        QGroupBox* box = new TSkinGroupBox(caption, this);
        box->setGeometry(place);
        return box;
    };
    auto checkBox = [](const QString& text, QWidget* parent, const QRect& place) {
        auto* box = new QCheckBox(text, parent);
        box->setGeometry(place);
        return box;
    };
    auto label = [](const QString& text, QWidget* parent, const QRect& place) {
        auto* l = new QLabel(parent);
        l->setTextFormat(Qt::PlainText);
        l->setText(text);
        l->setGeometry(place);
        return l;
    };
    auto spin = [](QWidget* parent, const QRect& place, int AppState::*edited) {
        const settings::Range range = settings::key(edited).range;
        auto* field = new TSpinEdit(parent);
        field->setGeometry(place);
        field->setMinValue(range.min);
        field->setMaxValue(range.max);
        field->setIncrement(1);
        field->setEditorEnabled(true);
        field->setReadOnly(false);
        field->setValue(range.min);
        return field;
    };

    GroupBox1 = group(tr("Звук"), QRect(8, 27, 326, 40));
    SndEd = checkBox(tr("Использовать звуки"), GroupBox1, QRect(12, 16, 300, 18));

    GroupBox2 = group(tr("Окно сообщения"), QRect(8, 71, 326, 46));
    AutoFocusED = checkBox(tr("Автофокус каждые (мс):"), GroupBox2, QRect(12, 19, 170, 18));
    autofocustimeed = spin(GroupBox2, QRect(190, 17, 121, 21), &AppState::AutoFocusTime);
    autofocustimeed->setColor(skin::textField());

    GroupBox3 = group(tr("Связь"), QRect(8, 121, 326, 46));
    Label1 = label(tr("Порт:"), GroupBox3, QRect(12, 19, 60, 18));
    PortEd = spin(GroupBox3, QRect(190, 17, 121, 21), &AppState::Port);

    GroupBox4 = group(tr("SPLASH-окно"), QRect(8, 171, 326, 80));
    Label2 = label(tr("Время показа SPLASH-окна (мс):"), GroupBox4, QRect(12, 19, 175, 18));
    sptimeed = spin(GroupBox4, QRect(190, 17, 121, 21), &AppState::SplashTime);
    SpTransEd = checkBox(tr("Прозрачность (только для систем Windows NT\\2000\\XP)"), GroupBox4,
                         QRect(12, 51, 308, 18));

    BBut4 = makePushButton(tr("По умолчанию"), QRect(8, 259, 95, 23), ButtonLook::Other);
    BBut1 = makePushButton(tr("OK"), QRect(176, 259, 75, 23), ButtonLook::MainAction);
    BBut2 = makePushButton(tr("Отмена"), QRect(259, 259, 75, 23), ButtonLook::Other);
    BBut1->OnClick = [this](QObject*) { BBut1Click(); };
    BBut2->OnClick = [this](QObject*) { BBut2Click(); };
    BBut4->OnClick = [this](QObject*) { BBut4Click(); };

    connect(AutoFocusED, &QCheckBox::toggled, this, [this] { AutoFocusEDClick(); });

    for (TSpinEdit* field : {autofocustimeed, PortEd, sptimeed})
        field->OnKeyDown = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
            autofocustimeedKeyDown(sender, key, shift);
        };
    for (QCheckBox* box : {SndEd, AutoFocusED, SpTransEd})
        box->installEventFilter(this);

    // Each field is named by its own label, not by its group's title.
    autofocustimeed->setAccessibleCaption(AutoFocusED->text());
    Label1->setBuddy(PortEd);
    PortEd->setAccessibleCaption(Label1->text());
    Label2->setBuddy(sptimeed);
    sptimeed->setAccessibleCaption(Label2->text());

    setTabChain({SndEd, AutoFocusED, autofocustimeed, PortEd, sptimeed, SpTransEd, BBut4, BBut1, BBut2, BBut5,
                 BBut3});
}

void TConfigF::loadControls(const AppState& app)
{
    SndEd->setChecked(app.SoundOn);
    AutoFocusED->setChecked(app.AutoFocus);
    autofocustimeed->setValue(app.AutoFocusTime);
    PortEd->setValue(app.Port);
    sptimeed->setValue(app.SplashTime);
    SpTransEd->setChecked(app.SplashTransparent);
    // toggled() only comes with a change; the field must follow the box in any case.
    AutoFocusEDClick();
}

void TConfigF::FormShow()
{
    loadControls(App());
    playWindowSound();
}

void TConfigF::AutoFocusEDClick()
{
    autofocustimeed->setEnabled(AutoFocusED->isChecked());
}

void TConfigF::BBut1Click()
{
    AppState& app = App();
    app.SoundOn = SndEd->isChecked();
    app.AutoFocus = AutoFocusED->isChecked();
    app.AutoFocusTime = autofocustimeed->Value();
    app.Port = PortEd->Value();
    app.SplashTime = sptimeed->Value();
    app.SplashTransparent = SpTransEd->isChecked();
    platform::dialogs().information(restartNotice());
    close();
}

void TConfigF::BBut2Click()
{
    loadControls(App());
    close();
}

void TConfigF::BBut4Click()
{
    // A fresh AppState holds the settings file's defaults.
    loadControls(AppState());
}

void TConfigF::BBut5Click()
{
    openHelp();
}

void TConfigF::autofocustimeedKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)
{
    Q_UNUSED(Sender);
    Q_UNUSED(Shift);
    if (isEnterKey(Key))
        BBut1->Click();
}

void TConfigF::Image3MouseDown()
{
    platform::windowSystem().startMove(this);
}

void TConfigF::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    if (isEnterKey(key)) {
        autofocustimeedKeyDown(this, key, event->modifiers());
        event->accept();
        return;
    }
    TSkinForm::keyPressEvent(event);
}

bool TConfigF::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress
        && (watched == SndEd || watched == AutoFocusED || watched == SpTransEd)) {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        int key = keyEvent->key();
        if (isEnterKey(key)) {
            autofocustimeedKeyDown(watched, key, keyEvent->modifiers());
            return true;
        }
    }
    return TSkinForm::eventFilter(watched, event);
}

void TConfigF::FormDestroy()
{
    // The settings reach their file from AppState, not from here.
}

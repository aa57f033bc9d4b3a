#include "messaging/send_window.h"

#include "app/app_state.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "app/welcome_window.h"
#include "controls/skinned_button.h"
#include "messaging/address_history.h"
#include "messaging/send_failure.h"
#include "net/socket_components.h"
#include "platform/platform.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShowEvent>
#include <QTimer>
#include <QValidator>

#include <exception>
#include <stdexcept>

TSenderF* SenderF = nullptr;

QString TSenderF::missingInputText()
{
    return tr("Для отправки сообщения, введите имя компьютера-получателя или его IP-адрес, а так же текст "
              "сообщения!");
}

QString TSenderF::historyNotSavedText()
{
    return tr("История адресов не сохранена: файл %1 не удалось прочитать, поэтому он оставлен как есть. "
              "Сделайте файл доступным для чтения и перезапустите Pellavine.");
}

QString TSenderF::historyTooLargeText()
{
    return tr("Файл истории адресов %1 больше %2 МБ: прочитано только его начало. Файл оставлен как есть, "
              "новые адреса в него не записываются.");
}

namespace {

// Whatever reaches the address box, typed or set, is shown in lower case.
class LowerCaseValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override
    {
        const QString lower = input.toLower();
        if (lower.size() != input.size())
            pos = int(qMin<qsizetype>(pos, lower.size()));
        input = lower;
        return Acceptable;
    }
};

bool isEnter(int key)
{
    // Both Enter keys are one key code on the desktop the program came from.
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TSenderF::TSenderF(QWidget* parent)
    : TSkinForm(tr("Отправка сообщения"), QSize(255, 112), FrameKind::Skin,
                QStringLiteral("send_skin"), parent)
{
    SenderF = this;
    setWindowFlag(Qt::WindowStaysOnTopHint);
    buildControls();

    CS = new TClientSocket(this);
    CS->setPort(settings::key(&AppState::Port).fallback);
    CS->OnConnect = [this](QObject* sender, TCustomWinSocket* socket) { CSConnect(sender, socket); };
    CS->OnError = [this](QObject* sender, TCustomWinSocket* socket, TErrorEvent kind, int& code) {
        CSError(sender, socket, kind, code);
    };

    platform::runGuarded([this] { FormCreate(); });
}

TSenderF::~TSenderF()
{
    if (SenderF == this)
        SenderF = nullptr;
}

void TSenderF::buildControls()
{
    skinpic = skinPicture();
    makeDragHandle(skinpic, [this] { skinpicMouseDown(); });

    auto makeLabel = [this](const QString& text, QPoint at) {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAttribute(Qt::WA_TranslucentBackground);
        label->move(at);
        label->adjustSize();
        return label;
    };
    ADRH = makeLabel(tr(" Кому:"), QPoint(13, 32));
    MSGH = makeLabel(tr("Текст:"), QPoint(14, 61));
    // Right-aligned: the right edge stays where the design text "<ver>" ended.
    Verlab = makeLabel(QStringLiteral("<ver>"), QPoint(221, 96));
    Verlab->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    ADRL = new QComboBox(this);
    ADRL->setEditable(true);
    ADRL->setInsertPolicy(QComboBox::NoInsert); // the history grows only when the window closes
    ADRL->setCompleter(nullptr);
    ADRL->setValidator(new LowerCaseValidator(ADRL));
    ADRL->setGeometry(56, 29, 189, 22);
    ADRL->setToolTip(
        tr("Имя или IP-адрес компьютера получателя (правая кнопка для вывода меню)"));

    MSGL = new QLineEdit(this);
    MSGL->setGeometry(56, 57, 189, 22);
    MSGL->setMaxLength(MaxTextLength);
    MSGL->setToolTip(tr("Сообщение для отправки"));

    // The labels name their fields. The address box itself is named by its text, as Qt's
    // editable boxes are on Linux, with the label as its relation; its edit field takes the name.
    ADRH->setBuddy(ADRL);
    ADRL->lineEdit()->setAccessibleName(ADRH->text().trimmed());
    MSGH->setBuddy(MSGL);
    MSGL->setFocus();

    MSGL->installEventFilter(this);
    ADRL->installEventFilter(this);
    ADRL->lineEdit()->installEventFilter(this);

    BBut1 = makePushButton(tr("Отправить"), QRect(90, 82, 75, 23), ButtonLook::MainAction);
    BBut1->setTransparent(true);
    BBut1->OnClick = [this](QObject*) { BBut1Click(); };
    BBut2 = makeFrameButton(FrameButton::Close, QPoint(234, 3));
    BBut2->OnClick = [this](QObject*) { BBut2Click(); };
    BBut5 = makeFrameButton(FrameButton::Help, QPoint(216, 3));
    BBut5->OnClick = [this](QObject*) { BBut5Click(); };
    setEscapeButton(BBut2);
    setTabChain({MSGL, ADRL, BBut1, BBut5, BBut2});

    // The address box's hint promises this menu on the right button.
    MsgLMenu = new QMenu(this);
    ClearListItem = MsgLMenu->addAction(tr("Очистить список"));
    connect(ClearListItem, &QAction::triggered, this,
            [this] { platform::runGuarded([this] { ClearListItemClick(); }); });
    for (QWidget* target : {static_cast<QWidget*>(ADRL), static_cast<QWidget*>(ADRL->lineEdit())}) {
        target->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(target, &QWidget::customContextMenuRequested, this,
                [this, target](const QPoint& at) { popUpListMenu(target, at); });
    }
}

void TSenderF::popUpListMenu(QWidget* from, const QPoint& at)
{
    MsgLMenu->popup(from->mapToGlobal(at));
}

void TSenderF::BusySwitch(bool flag)
{
    ADRL->setEnabled(flag);
    MSGL->setEnabled(flag);
    BBut1->setEnabled(flag);
    if (flag)
        unsetCursor();
    else
        setCursor(Qt::WaitCursor);
}

QStringList TSenderF::addresses() const
{
    QStringList entries;
    for (int i = 0; i < ADRL->count(); ++i)
        entries << ADRL->itemText(i);
    return entries;
}

void TSenderF::setAddresses(const QStringList& entries)
{
    // The box would put an item into the edit field as its list changes; the typed text stays.
    const QString typed = ADRL->currentText();
    ADRL->clear();
    ADRL->addItems(entries);
    ADRL->setCurrentIndex(-1);
    ADRL->setEditText(typed);
}

void TSenderF::FormCreate()
{
    const AppState& app = App();
    CS->setPort(app.Port);

    // A history that cannot be read is reported, but the rest of the start-up still happens:
    // without it the welcome window would never show and the server never start.
    std::exception_ptr failure;
    if (!app.AddressListPath.isEmpty() && QFileInfo::exists(app.AddressListPath)) {
        try {
            setAddresses(addresses::load(app.AddressListPath, &historyTooLarge_));
            if (historyTooLarge_)
                platform::dialogs().information(
                    historyTooLargeText().arg(app.AddressListPath).arg(addresses::MaxFileBytes / (1024 * 1024)));
        } catch (...) {
            historyUnread_ = true;
            failure = std::current_exception();
        }
    }

    const TIniFile ini(app.SettingsPath);
    placed_ = QPoint(settings::read(ini, settings::SenderLeft), settings::read(ini, settings::SenderTop));
    move(placed_);

    if (Form1) {
        Form1->show();
        Form1->Label1->setText(VersionText);
    }
    Verlab->setText(VersionText);

    if (failure)
        std::rethrow_exception(failure);
}

void TSenderF::FormShow()
{
    ADRL->setEditText(App().LastAddress);
    // The message field is first in the tab order, so every showing starts there; after a send,
    // disabling the field had moved the focus away.
    MSGL->setFocus();
    playWindowSound();
}

void TSenderF::BBut1Click()
{
    const QString recipient = ADRL->currentText();
    if (recipient.isEmpty() || MSGL->text().isEmpty()) {
        platform::dialogs().information(missingInputText(), this);
        return;
    }
    BusySwitch(false);
    try {
        CS->setHost(recipient);
        CS->setActive(true);
    } catch (...) {
        // A connection that cannot even be started leaves the window as it was, without a word.
        BusySwitch(true);
        try {
            if (CS->Active())
                CS->setActive(false);
        } catch (...) {
        }
    }
}

void TSenderF::CSConnect(QObject*, TCustomWinSocket* Socket)
{
    // The whole message in one write; what the send reports is not looked at. A failed write
    // has been reported by CSError, which ended the connection: nothing was sent.
    Socket->WriteText(MSGL->text());
    if (!CS->Active())
        return;
    CS->setActive(false);
    BusySwitch(true);
    if (App().SoundOn)
        platform::sound().play(App().SendSoundPath);
    close();
}

void TSenderF::CSError(QObject*, TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)
{
    // The socket layer's own report, and below it what the error means, in one box above this
    // window. Taken over from the layer, so that the box can say more; it opens once the layer
    // is through with the error, as the layer's own box would.
    const QString text =
        explainedErrorText(Socket->ErrorMessage(), sendFailureText(ErrorEvent, ErrorCode, CS->Port()));
    ErrorCode = 0;
    BusySwitch(true);
    if (CS->Active())
        CS->setActive(false);
    QTimer::singleShot(0, this, [this, text] { platform::dialogs().error(text, this); });
}

void TSenderF::closeEvent(QCloseEvent* event)
{
    platform::runGuarded([this] { FormClose(); });
    TSkinForm::closeEvent(event);
}

void TSenderF::FormClose()
{
    const QString recipient = ADRL->currentText();
    App().LastAddress = recipient;
    bool known = false;
    for (int i = 0; i < ADRL->count() && !known; ++i)
        known = ADRL->itemText(i).compare(recipient, Qt::CaseInsensitive) == 0;
    if (!known)
        setAddresses(addresses() << recipient);
    MSGL->clear();
    // Not yet active while the name is looked up or the connection is made: that attempt goes on.
    if (CS->Active())
        CS->setActive(false);
}

void TSenderF::FormDestroy()
{
    const AppState& app = App();
    // The position and the last address are written even when the history cannot be; the
    // first failure is the one reported.
    std::exception_ptr failure;
    try {
        // A file that could not be read is not replaced by what this run added to an empty list.
        if (historyUnread_) {
            if (!addresses().isEmpty())
                throw std::runtime_error(historyNotSavedText().arg(app.AddressListPath).toUtf8().toStdString());
        } else if (!app.AddressListPath.isEmpty() && !historyTooLarge_) {
            addresses::save(app.AddressListPath, addresses());
        }
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        TIniFile ini(app.SettingsPath);
        // Where the compositor places the windows, the saved place is kept for a later X11 run.
        const QPoint where = platform::windowSystem().placesWindows() ? pos() : placed_;
        settings::write(ini, settings::SenderLeft, where.x());
        settings::write(ini, settings::SenderTop, where.y());
        settings::write(ini, settings::key(&AppState::LastAddress), app.LastAddress);
        settings::write(ini, settings::key(&AppState::FirstStart), app.FirstStart);
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TSenderF::BBut2Click()
{
    close();
}

void TSenderF::BBut5Click()
{
    openHelp();
}

void TSenderF::MSGLKeyDown(int key)
{
    if (isEnter(key))
        BBut1->Click();
}

void TSenderF::ADRLKeyDown(int key)
{
    if (isEnter(key))
        MSGL->setFocus();
}

void TSenderF::ClearListItemClick()
{
    setAddresses({});
}

void TSenderF::skinpicMouseDown()
{
    platform::windowSystem().startMove(this);
}

bool TSenderF::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == MSGL) {
            platform::runGuarded([this, key] { MSGLKeyDown(key); });
            return isEnter(key);
        }
        if (watched == ADRL || watched == ADRL->lineEdit()) {
            platform::runGuarded([this, key] { ADRLKeyDown(key); });
            return isEnter(key);
        }
    }
    return TSkinForm::eventFilter(watched, event);
}

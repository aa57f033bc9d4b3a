#pragma once
// The send window: a recipient, a one-line text and the send button, on one skin picture.
// A click resolves and connects; on connect the text goes out in one write and the connection
// closes at once. An error is shown in a box with what it means below it.
#include "net/socket_types.h"
#include "windows/skinned_frame.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class TBBut;
class TClientSocket;
class TCustomWinSocket;

class TSenderF : public TSkinForm {
    Q_OBJECT
public:
    explicit TSenderF(QWidget* parent = nullptr);
    ~TSenderF() override;

    // The notice of a click with no recipient or no text.
    static QString missingInputText();
    // The history file could not be read at the start, so it is not replaced; %1 is its path.
    static QString historyNotSavedText();
    // %1: the path, %2: the bound in megabytes.
    static QString historyTooLargeText();
    // Longest message text, in characters; the command line keeps to it too.
    static constexpr int MaxTextLength = 32767;

    TSkinImage* skinpic = nullptr; // the skin; drags the window
    QLabel* ADRH = nullptr;        // " Кому:"
    QComboBox* ADRL = nullptr;     // recipient, lower case; its list is the address history
    QLabel* MSGH = nullptr;        // "Текст:"
    QLineEdit* MSGL = nullptr;     // the message
    TBBut* BBut1 = nullptr;        // "Отправить"
    TBBut* BBut2 = nullptr;        // close
    TBBut* BBut5 = nullptr;        // help
    QLabel* Verlab = nullptr;      // version
    TClientSocket* CS = nullptr;
    QMenu* MsgLMenu = nullptr;     // the address box's right-button menu
    QAction* ClearListItem = nullptr; // "Очистить список"

    // Enabled state of the input controls and the send button; false also shows the hourglass.
    void BusySwitch(bool flag);
    // The address history in list order.
    QStringList addresses() const;

    void FormCreate();
    void FormShow() override;
    void FormClose();
    // Runs once at process end, before the window is deleted. Throws std::runtime_error
    // ("Cannot create file %s") or EIniFileException when a file cannot be written.
    void FormDestroy();
    void BBut1Click();
    void BBut2Click();
    void BBut5Click();
    void MSGLKeyDown(int key);
    void ADRLKeyDown(int key);
    void CSConnect(QObject* Sender, TCustomWinSocket* Socket);
    void CSError(QObject* Sender, TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode);
    void ClearListItemClick();
    void skinpicMouseDown();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void setAddresses(const QStringList& entries);
    void popUpListMenu(QWidget* from, const QPoint& at);

    QPoint placed_; // the position read from the settings
    bool historyUnread_ = false; // the history file exists but could not be read
    bool historyTooLarge_ = false; // only its start was read: a save would cut it
};

extern TSenderF* SenderF;

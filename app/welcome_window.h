#pragma once
// The main window: the welcome (splash) window shown once at start-up. It owns the listening
// socket, the tray icon and its menu for the whole run, invisibly.
#include "windows/skinned_frame.h"


class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolButton;
class TCoolTrayIcon;
class TCustomWinSocket;
class TImageList;
class TOneProgram;
class TServerSocket;

class TForm1 : public TSkinForm {
    Q_OBJECT
public:
    TForm1();
    ~TForm1() override;

    // Shown once, when the tray icon first appears.
    static QString firstRunBalloonText();

    TSkinImage* Image1 = nullptr;      // background; drags the window
    QToolButton* SpeedButton1 = nullptr; // the web page link
    QLabel* Label1 = nullptr;          // version
    QLabel* Label3 = nullptr;          // author
    QLabel* Label2 = nullptr;
    TSkinImage* Image2 = nullptr;      // emblem; drags the window

    TServerSocket* SS = nullptr;
    QTimer* Ef1 = nullptr;
    QMenu* TreyMenu = nullptr;
    TCoolTrayIcon* TIconQ = nullptr;
    TOneProgram* OneProgram1 = nullptr;
    TImageList* DefList = nullptr; // 0 listening, 1 paused

    // TreyMenu's items, top to bottom.
    QAction* N6 = nullptr;
    QAction* N15 = nullptr;
    QAction* N8 = nullptr;
    QAction* N14 = nullptr;
    QAction* N11 = nullptr;
    QAction* N4 = nullptr;
    QAction* N1 = nullptr;
    QAction* Pellavine2 = nullptr;
    QAction* N12 = nullptr;
    QAction* Pellavine1 = nullptr;
    QAction* EmailAuthorItem = nullptr;
    QAction* N5 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;

    void FormCreate();
    void FormDestroy();
    void FormClose();
    void FormShow() override;
    void Ef1Timer();
    void Image1MouseDown();
    void SpeedButton1Click();
    void SSClientRead(QObject* Sender, TCustomWinSocket* Socket);
    // The tooltip after a message: the title, how many messages are unread (when any), and
    // when and from whom the last one came.
    void showMessageHint();

    void N6Click();
    void N8Click();
    void N11Click();
    void N4Click();
    void Pellavine2Click();
    void Pellavine1Click();
    void EmailAuthorItemClick();
    void N2Click();
    void N3Click();

protected:

private:
    void buildControls();
    void buildMenu();
    void buildTrayIcon();
    // Activates SS; throws when it cannot listen. A port outside the TCP range is refused here,
    // in the command line's Russian words rather than the socket layer's English ones.
    void startListening();
};

extern TForm1* Form1;

#pragma once
// The settings dialog: edits the six user settings of AppState. Nothing reaches AppState before
// "OK"; the settings file is written from AppState at shut-down.
#include "windows/skinned_frame.h"

struct AppState;
class QCheckBox;
class QGroupBox;
class QLabel;
class TBBut;
class TSpinEdit;

class TConfigF : public TSkinForm {
    Q_OBJECT
public:
    explicit TConfigF(QWidget* parent = nullptr);
    ~TConfigF() override;

    static QString restartNotice();

    QGroupBox* GroupBox1 = nullptr; // "Звук"
    QGroupBox* GroupBox2 = nullptr; // "Окно сообщения"
    QGroupBox* GroupBox3 = nullptr; // "Связь"
    QGroupBox* GroupBox4 = nullptr; // "SPLASH-окно"
    QCheckBox* SndEd = nullptr;
    QCheckBox* AutoFocusED = nullptr;
    TSpinEdit* autofocustimeed = nullptr;
    QLabel* Label1 = nullptr; // "Порт:"
    TSpinEdit* PortEd = nullptr;
    QLabel* Label2 = nullptr; // splash time
    TSpinEdit* sptimeed = nullptr;
    QCheckBox* SpTransEd = nullptr;

    TBBut* BBut1 = nullptr; // OK
    TBBut* BBut2 = nullptr; // Отмена
    TBBut* BBut4 = nullptr; // По умолчанию
    TBBut* BBut3 = nullptr; // frame close
    TBBut* BBut5 = nullptr; // frame help

    // Runs once at process end, before the window is deleted.
    void FormDestroy();
    void FormShow() override;
    void BBut1Click();
    void BBut2Click();
    void BBut4Click();
    void BBut5Click();
    void AutoFocusEDClick();
    // Enter anywhere in the window acts as "OK". Key is a Qt::Key.
    void autofocustimeedKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void Image3MouseDown();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    // Sets the six controls from the settings in `app`.
    void loadControls(const AppState& app);
};

extern TConfigF* ConfigF;

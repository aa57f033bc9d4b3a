#pragma once
// The about box: maker, product name, version and what the program is for.
#include "windows/skinned_frame.h"

class QLabel;
class QPlainTextEdit;
class TBBut;

class TAboutBox : public TSkinForm {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    QWidget* Panel2 = nullptr;         // the maker's block, black
    TSkinImage* Image2 = nullptr;      // maker's logo
    QLabel* Label3 = nullptr;          // maker
    QLabel* Label6 = nullptr;          // author
    QLabel* Label4 = nullptr;          // e-mail address, its link as hint
    QLabel* Label5 = nullptr;          // web address, its link as hint
    QLabel* Label7 = nullptr;          // year
    QWidget* Shape1 = nullptr;         // product block, outer
    QWidget* Shape2 = nullptr;         // product block, inner
    TSkinImage* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QPlainTextEdit* Memo1 = nullptr;

    TBBut* BBut1 = nullptr; // OK
    TBBut* BBut3 = nullptr; // Справка
    TBBut* BBut2 = nullptr; // frame close
    TBBut* BBut5 = nullptr; // frame help

    void FormCreate();
    // Runs once at process end, before the window is deleted.
    void FormDestroy();
    void FormShow() override;
    void BBut1Click();
    void BBut3Click();
    void Image6MouseDown();

protected:

private:
    void buildControls();
};

extern TAboutBox* AboutBox;

#pragma once
// The about box.
#include "windows/skinned_frame.h"

class TBBut;

class TAboutBox : public TSkinForm {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    TBBut* BBut2 = nullptr; // frame close
    TBBut* BBut5 = nullptr; // frame help

    // Runs once at process end, before the window is deleted.
    void FormDestroy();
    void BBut2Click();
};

extern TAboutBox* AboutBox;

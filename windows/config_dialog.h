#pragma once
// The settings dialog.
#include "windows/skinned_frame.h"

class TBBut;

class TConfigF : public TSkinForm {
    Q_OBJECT
public:
    explicit TConfigF(QWidget* parent = nullptr);
    ~TConfigF() override;

    TBBut* BBut3 = nullptr; // frame close
    TBBut* BBut5 = nullptr; // frame help

    // Runs once at process end, before the window is deleted.
    void FormDestroy();
    void BBut3Click();
};

extern TConfigF* ConfigF;

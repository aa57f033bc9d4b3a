#pragma once
// The send window: a recipient, a one-line text and the send button, on one skin picture.
#include "windows/skinned_frame.h"

class TBBut;

class TSenderF : public TSkinForm {
    Q_OBJECT
public:
    explicit TSenderF(QWidget* parent = nullptr);
    ~TSenderF() override;

    TSkinImage* skinpic = nullptr; // the skin; drags the window
    TBBut* BBut2 = nullptr;        // close
    TBBut* BBut5 = nullptr;        // help

    // Runs once at process end, before the window is deleted.
    void FormDestroy();
    void BBut2Click();
};

extern TSenderF* SenderF;

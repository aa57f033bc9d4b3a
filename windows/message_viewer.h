#pragma once
// The message viewer: shows the last received message.
#include "windows/skinned_frame.h"

class TBBut;

class TMsgF : public TSkinForm {
    Q_OBJECT
public:
    explicit TMsgF(QWidget* parent = nullptr);
    ~TMsgF() override;

    TBBut* BBut3 = nullptr; // frame close
    TBBut* BBut4 = nullptr; // frame help

    // Runs once at process end, before the window is deleted.
    void FormDestroy();
    void BBut3Click();
};

extern TMsgF* MsgF;

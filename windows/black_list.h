#pragma once
// The black list window.
#include "windows/skinned_frame.h"

class TBBut;

class TBListF : public TSkinForm {
    Q_OBJECT
public:
    explicit TBListF(QWidget* parent = nullptr);
    ~TBListF() override;

    TBBut* BBut3 = nullptr; // frame close
    TBBut* BBut5 = nullptr; // frame help

    // Runs once at process end, before the window is deleted.
    void FormDestroy();
    void BBut3Click();
};

extern TBListF* BListF;

#pragma once
// The application object of the program: its title, whether the main window is shown, and the
// one way to end the message loop.
#include <QString>

class TApplication {
public:
    QString Title;
    QString HelpFile;
    // False when the main window must not be shown as the loop starts (a second copy).
    bool ShowMainForm = true;

    // Ends the message loop; when it has not started yet, it will end as soon as it starts.
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Runs the message loop until Terminate().
    int Run();

private:
    bool terminated_ = false;
};

TApplication& Application();

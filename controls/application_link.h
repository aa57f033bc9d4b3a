#pragma once
// What the components ask of the application object (app/ owns it; the components must not
// depend on it). The program entry fills these in before the main window is created; a hook
// left unset does the nearest thing Qt offers by itself.
#include <functional>

class QWidget;

namespace controls {

struct ApplicationLink {
    // Ends the message loop, at once or, before it runs, as soon as it starts.
    // Unset: quits Qt's loop once it runs.
    std::function<void()> terminate;
    // The main window is not to be shown when the message loop starts. Unset: nothing.
    std::function<void()> hideMainFormAtStart;
    // The application's main window; null before there is one. Unset: the asking component's
    // own window.
    std::function<QWidget*()> mainForm;
    // Removes the program's entry from the taskbar. Unset: nothing, since Qt gives an
    // application no window of its own that would carry one.
    std::function<void()> hideTaskbarButton;
};

ApplicationLink& applicationLink();

// The hooks, with their fallbacks.
void terminateApplication();
void hideMainFormAtStart();
QWidget* applicationMainForm(QWidget* fallback);
void hideTaskbarButton();

} // namespace controls

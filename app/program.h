#pragma once

// The whole life of the program: create the windows in order, run the loop, shut down in
// reverse order writing every file. Returns the process exit status.
int runProgram(int argc, char* argv[]);

// Creation and shut-down on their own, for tests that drive the windows without a loop of
// their own. The application object must exist.
void createWindows();
void destroyWindows();

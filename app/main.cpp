#include "app/command_line.h"
#include "app/program.h"

int main(int argc, char* argv[])
{
    // Decided before any application object exists: the command line must never need a display.
    if (isCommandLine(argc, argv))
        return runCommandLine(argc, argv);
    return runProgram(argc, argv);
}

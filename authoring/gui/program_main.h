// The program's start, in the library so that a benchmark can start the program
// as the program starts itself.
#pragma once

// Makes the application, the main window and the choosers, shows the window and
// runs the event loop until the window closes; gives the loop's result.
int ProgramMain(int argc, char** argv);

#pragma once
// The program on the desktop: the main window, the UI loop and the runs.
#include "shell/run_services.h"

// Opens the main window, starts the first run and runs the UI loop until the
// program quits; returns the exit code (0 after a normal end, 1 when the
// window or the program data folder cannot be made). The log is open.
int gf_runApplication(clv::RunServices services);

// What the shell asks of the window, answered by the desktop window layer.
clv::ShellWindow gf_desktopShellWindow();

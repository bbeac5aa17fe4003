// COrbApp's start-up: the library, then the window run modally; the program
// ends when the window closes.
#pragma once

// Starts the library with build (the library build, ORBILO_SDK_BUILD) and
// runs the window: the program's exit status. A library that will not start
// gets the box "Unable to initialize API \n" and no window.
int orbilo_run(int build);

// How a program ends when its start-up failed: with exit status 1, so that a service manager or a script
// can tell the failure from a run that ended well. Where the console closes with the program (a window
// of its own), the failure lines would vanish at once: "Hit any key." and a wait let them be read first.
#pragma once

[[noreturn]] void endFailedStart();

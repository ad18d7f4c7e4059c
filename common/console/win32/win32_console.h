// What the Win32 console back end's screen half and keyboard half share. Nothing outside
// common/console/win32/ includes it.
#pragma once

#include <windows.h>

// Takes the console over at the layer's first use, from either half: both code pages become 437 until
// the program ends, when the user's code pages and colours come back.
void takeOverConsole();

// Stops listening for the close, log-off and shut-down notifications (the restore does, at the end).
void stopCloseListening();

// The handler that the keyboard half registers for console notifications: queues CloseRequestKey for
// a close, log-off or shut-down and reports it handled; leaves Ctrl+C and Ctrl+Break to the system.
BOOL WINAPI consoleControlHandler(DWORD controlType);

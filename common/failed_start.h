// How a program ends when its start-up failed: with exit status 1, so that a service manager or a script
// can tell the failure from a run that ended well.
#pragma once

[[noreturn]] void endFailedStart();

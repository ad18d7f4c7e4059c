// What the kernel reports about a running process (from /proc/<pid>/stat and /proc/<pid>/status):
// CPU time used, peak resident memory and the number of voluntary context switches.
#pragma once

#include "common/text.h"

struct ProcessUsage {
    bool valid = false;
    double cpuSeconds = 0;        // user + system
    long peakKiB = 0;             // VmHWM
    long residentKiB = 0;         // VmRSS
    long voluntarySwitches = 0;   // each sleep of a single-threaded program is one
};

// User plus system clock ticks from one line of /proc/<pid>/stat; false when the line is malformed.
// The command name in parentheses may itself hold blanks and parentheses, so fields are counted from the last ')'.
bool parseStatCpuTicks(const Text& statLine, long long* ticks);
// The number after "name:" in the text of /proc/<pid>/status, or -1 when the field is missing.
long statusField(const Text& status, const Text& name);
ProcessUsage readProcessUsage(int pid);

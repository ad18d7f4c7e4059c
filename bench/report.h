// The benchmark's one table: each figure for the server and the baseline relay, their ratio, and the
// target with whether it was met.
#pragma once

#include <cstdio>

#include "bench/options.h"
#include "bench/scenarios.h"

// Either figures pointer may be null when that target was not measured. loadBefore is the load
// average read before the run: other work on the machine skews every figure.
void printTable(std::FILE* out, const BenchOptions& options, const TargetFigures* server,
                const TargetFigures* baseline, const Text& loadBefore);
// The machine: processors online and the CPU model.
Text machineText();
// The first three fields of /proc/loadavg.
Text loadAverage();
// The text of a figure: "-" when it was not measured, else the value with the given decimals.
Text figureText(double value, int decimals);

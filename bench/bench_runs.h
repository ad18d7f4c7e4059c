// What chat-bench can run: one table of {option, run, what it prints}, from which --help is made and by
// which the chosen run is started. Every run prints its own figures and asserts nothing.
#pragma once

#include <cstdio>

#include "bench/options.h"

struct BenchRun {
    const char* option;  // the option that chooses the run, with its argument; "" for the standard table
    int (*run)(const BenchOptions& options, std::FILE* out);  // 0 when it ran, 1 when it could not run
    const char* prints;  // for --help: what it does and prints, lines separated by '\n'
};

// The run the arguments choose: the last run option among them, the standard table when none.
const BenchRun& chosenBenchRun(int argc, char** argv);
// The --help text.
Text usageText();

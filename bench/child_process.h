// The programs under measurement as processes: a child with its standard input from a pipe and its
// output to a pipe that the benchmark drains, to a file or terminal, or a program inside a tmux server
// of its own, whose pane is a real 80x25 terminal. Every wait here is bounded.
#pragma once

#include <vector>

#include "common/text.h"

struct ChildProcess {
    int pid = -1;
    bool ownChild = false;        // started by fork here, so it is reaped with waitpid
    int inputFd = -1;             // the child's standard input, when it comes from us
    int outputFd = -1;            // the read end of the child's output pipe, when drained here
    Text tmuxSocket;              // set when the program runs inside tmux
    Text tmuxSocketPath;          // its socket file, removed when the tmux server is stopped
    long long outputBytes = 0;    // console bytes drained so far
};

// Starts argv[0] with the arguments. Its output goes to a pipe when outputPath is empty, else to that
// path (a file, /dev/null or a terminal); standard error follows standard output.
bool startChild(const std::vector<Text>& argv, const Text& outputPath, ChildProcess* child, Text* error);
// Starts the program alone in a detached 80x25 tmux session on its own tmux server.
bool startInTmux(const Text& program, const Text& socketName, ChildProcess* child, Text* error);

// Types the bytes on the child's keyboard: its input pipe, or the tmux pane (Esc as the key Escape).
void typeKeys(ChildProcess* child, const Text& keys);
// Reads whatever waits on the output pipe without blocking; returns the number of bytes read.
long drainOutput(ChildProcess* child);
bool isRunning(ChildProcess* child);
// Waits up to seconds for the process to end, draining its output meanwhile.
bool waitForExit(ChildProcess* child, double seconds);
// Types the quit keys, waits, and ends the process with SIGTERM and then SIGKILL if it is still there.
void stopChild(ChildProcess* child, const std::vector<Text>& quitKeys);

// Runs a helper program to its end and returns its standard output; false when it fails.
bool runProgram(const std::vector<Text>& argv, Text* output);

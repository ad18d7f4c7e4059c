// chat-bench: measures what the lobby carries. Simulated chatters, each with its own ENet host, join a
// chat-server on loopback, relay timed lines, saturate it, ask for the list and sit idle while the CPU
// and memory of the server and of one real chat-client are read; the same runs against the
// benchmark's own minimal relay give the transport limit. Prints one table, or runs one of the runs
// its options name instead (options.h), and ends by itself.
#include <signal.h>

#include <cstdio>

#include "bench/options.h"

int main(int argc, char** argv) {
    BenchOptions options;
    Text error;
    if (!parseOptions(argc, argv, &options, &error) || options.help) {
        std::fprintf(options.help ? stdout : stderr, "%s%s", error.empty() ? "" : (error + "\n").c_str(),
                     usageText().c_str());
        return options.help ? 0 : 2;
    }
    // A child that has ended must not take the benchmark down with it when its keyboard pipe is written.
    signal(SIGPIPE, SIG_IGN);
    if (enet_initialize() != 0) return std::fprintf(stderr, "chat-bench: ENet failed to start\n"), 1;
    int status = chosenBenchRun(argc, argv).run(options, stdout);
    enet_deinitialize();
    return status;
}

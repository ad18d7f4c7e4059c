#include "bench/targets.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "bench/baseline_relay.h"

namespace {

// The baseline relay gives up by itself after this long, should the benchmark vanish.
constexpr double RelayLifetimeSeconds = 600;
constexpr double PortFreeWaitSeconds = 10;

// The inodes of the local UDP sockets bound to the port, from one /proc/net table.
void portInodes(const Text& path, const Text& portSuffix, std::vector<Text>* inodes) {
    std::ifstream table(path);
    Text line, slot, local, field;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        if (!(fields >> slot >> local)) continue;
        if (local.size() <= portSuffix.size() ||
            local.compare(local.size() - portSuffix.size(), Text::npos, portSuffix) != 0)
            continue;
        // remote, state, queues, timer, retransmits, uid and timeout come before the inode.
        for (int skip = 0; skip < 7 && fields >> field; ++skip) {}
        if (fields >> field) inodes->push_back(field);
    }
}

std::vector<Text> udpPortInodes(enet_uint16 port) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ":%04X", port);
    std::vector<Text> inodes;
    portInodes("/proc/net/udp", suffix, &inodes);
    portInodes("/proc/net/udp6", suffix, &inodes);
    return inodes;
}

// True when the process holds one of the sockets: another program may have taken the port first.
bool processHoldsSocket(int pid, const std::vector<Text>& inodes) {
    Text dir = "/proc/" + std::to_string(pid) + "/fd/";
    for (int fd = 0; fd < 64; ++fd) {
        char link[128];
        ssize_t length = readlink((dir + std::to_string(fd)).c_str(), link, sizeof link - 1);
        if (length <= 0) continue;
        Text target(link, static_cast<size_t>(length));
        for (const Text& inode : inodes)
            if (target == "socket:[" + inode + "]") return true;
    }
    return false;
}

// Waits until the started server itself holds the port.
bool awaitPort(BenchTarget* target, double seconds) {
    double end = benchSeconds() + seconds;
    while (benchSeconds() < end) {
        if (!isRunning(&target->process)) return false;
        if (processHoldsSocket(target->process.pid, udpPortInodes(target->port))) return true;
        drainOutput(&target->process);
        usleep(10000);
    }
    return false;
}

bool startServerProcess(const BenchOptions& options, BenchTarget* target, Text* error) {
    if (options.console == ConsoleMode::Tmux) {
        target->label = "server (console in tmux)";
        Text socket = "chat-bench-" + std::to_string(getpid());
        return startInTmux(options.serverPath, socket, &target->process, error);
    }
    Text output = options.console == ConsoleMode::Path ? options.consolePath : Text();
    target->label = output.empty() ? "server (console to pipe)" : "server (console to " + output + ")";
    return startChild({options.serverPath}, output, &target->process, error);
}

}  // namespace

bool udpPortBound(enet_uint16 port) { return !udpPortInodes(port).empty(); }

bool startServerTarget(const BenchOptions& options, BenchTarget* target, Text* error) {
    target->isChatServer = true;
    target->port = ChatPort;
    if (options.serverPath.empty()) {
        target->label = "server (already running)";
        target->process.pid = options.serverPid;
        if (!udpPortBound(ChatPort)) return *error = "nothing listens on UDP port 42069", false;
        if (options.serverPid > 0 && !processHoldsSocket(options.serverPid, udpPortInodes(ChatPort)))
            return *error = "process " + std::to_string(options.serverPid) + " does not hold UDP port 42069", false;
        return true;
    }
    if (access(options.serverPath.c_str(), X_OK) != 0) return *error = "no program at " + options.serverPath, false;
    // A server that has just been told to stop may hold the port a moment longer.
    double end = benchSeconds() + PortFreeWaitSeconds;
    while (udpPortBound(ChatPort) && benchSeconds() < end) usleep(50000);
    if (udpPortBound(ChatPort)) return *error = "UDP port 42069 is already in use", false;
    if (!startServerProcess(options, target, error)) return false;
    if (awaitPort(target, 5.0)) return true;
    stopTarget(target);
    return *error = "the server started here did not hold UDP port 42069 within 5 s", false;
}

bool startBaselineTarget(BenchTarget* target, Text* error) {
    target->label = "baseline relay";
    target->isChatServer = false;
    return startBaselineRelay(&target->process, &target->port, RelayLifetimeSeconds, error);
}

void stopTarget(BenchTarget* target) {
    bool started = target->process.ownChild || !target->process.tmuxSocket.empty();
    // Esc leaves the server's loop; any key then passes its "Hit any key." wait.
    std::vector<Text> quitKeys;
    if (target->isChatServer) quitKeys = {"\x1b", "x"};
    if (started) stopChild(&target->process, quitKeys);
}

#include "bench/proc_stats.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

Text fileText(const Text& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

bool parseStatCpuTicks(const Text& statLine, long long* ticks) {
    size_t close = statLine.rfind(')');
    if (close == Text::npos) return false;
    std::istringstream fields(statLine.substr(close + 1));
    // After the name come state (field 3) and ten more fields before utime (14) and stime (15).
    Text skipped;
    for (int field = 3; field <= 13; ++field) {
        if (!(fields >> skipped)) return false;
    }
    long long user = 0, system = 0;
    if (!(fields >> user >> system)) return false;
    *ticks = user + system;
    return true;
}

long statusField(const Text& status, const Text& name) {
    Text key = "\n" + name + ":";
    Text padded = "\n" + status;
    size_t at = padded.find(key);
    if (at == Text::npos) return -1;
    const char* start = padded.c_str() + at + key.size();
    char* end = nullptr;
    long value = std::strtol(start, &end, 10);
    return end == start ? -1 : value;
}

ProcessUsage readProcessUsage(int pid) {
    ProcessUsage usage;
    Text dir = "/proc/" + std::to_string(pid) + "/";
    long long ticks = 0;
    if (!parseStatCpuTicks(fileText(dir + "stat"), &ticks)) return usage;
    Text status = fileText(dir + "status");
    usage.cpuSeconds = static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    usage.peakKiB = statusField(status, "VmHWM");
    usage.residentKiB = statusField(status, "VmRSS");
    usage.voluntarySwitches = statusField(status, "voluntary_ctxt_switches");
    usage.valid = true;
    return usage;
}

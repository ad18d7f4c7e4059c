#include "bench/report.h"

#include <unistd.h>

#include <fstream>
#include <vector>

namespace {

enum class Goal { None, AtMost, AtLeast };

struct Row {
    Text label;
    double server = NoFigure;
    double baseline = NoFigure;
    int decimals = 0;
    Goal goal = Goal::None;
    double limit = 0;
    bool serverOnly = false;  // the figure means nothing for the relay
};

struct Pair {
    const TargetFigures* server;
    const TargetFigures* baseline;
};

// Summary figures of no samples at all are no figures.
double median(const SampleSummary& s) { return s.count == 0 ? NoFigure : s.median; }
double p99(const SampleSummary& s) { return s.count == 0 ? NoFigure : s.p99; }
double maximum(const SampleSummary& s) { return s.count == 0 ? NoFigure : s.max; }

double kib(long value) { return value < 0 ? NoFigure : static_cast<double>(value); }

Row row(const Text& label, double server, double baseline, int decimals) {
    Row r;
    r.label = label, r.server = server, r.baseline = baseline, r.decimals = decimals;
    return r;
}

Row goal(Row r, Goal kind, double limit) {
    r.goal = kind, r.limit = limit;
    return r;
}

Row serverOnly(Row r) {
    r.serverOnly = true;
    return r;
}

double ceilingShare(const TargetFigures& f) {
    if (std::isnan(f.saturationRate) || std::isnan(f.idlePassRate) || f.idlePassRate <= 0) return NoFigure;
    return f.saturationRate / f.idlePassRate * 100;
}

std::vector<Row> latencyRows(const TargetFigures& s, const TargetFigures& b) {
    return {row("chatters joined", s.joined, b.joined, 0),
            row("join, all chatters welcomed and announced (ms)", s.joinSeconds * 1000, b.joinSeconds * 1000, 1),
            goal(row("relay back to sender, median (ms)", median(s.echo), median(b.echo), 3), Goal::AtMost, 1.5),
            goal(row("relay back to sender, p99 (ms)", p99(s.echo), p99(b.echo), 3), Goal::AtMost, 5),
            row("relay back to sender, max (ms)", maximum(s.echo), maximum(b.echo), 3),
            goal(row("relay to every other chatter, median (ms)", median(s.everyone), median(b.everyone), 3),
                 Goal::AtMost, 1.5),
            goal(row("relay to every other chatter, p99 (ms)", p99(s.everyone), p99(b.everyone), 3), Goal::AtMost, 5),
            row("relay to every other chatter, max (ms)", maximum(s.everyone), maximum(b.everyone), 3),
            row("latency lines incomplete after 1 s", s.latencyLost, b.latencyLost, 0)};
}

std::vector<Row> loadRows(const TargetFigures& s, const TargetFigures& b, double shareGoal) {
    return {serverOnly(row("server loop passes/s when idle (the ceiling)", s.idlePassRate, NoFigure, 0)),
            row("burst of one chatter drained (lines/s)", s.burstRate, b.burstRate, 0),
            row("saturation, relayed lines/s", s.saturationRate, b.saturationRate, 0),
            serverOnly(goal(row("saturation / ceiling (%)", ceilingShare(s), NoFigure, 1), Goal::AtLeast, shareGoal)),
            serverOnly(row("server sleeps/s under saturation", s.saturationSleepsPerSecond, NoFigure, 0)),
            row("CPU under saturation, % of one core", s.saturationCpuPercent, b.saturationCpuPercent, 1),
            row("chat-bench's own CPU under saturation, %", s.saturationBenchCpuPercent,
                b.saturationBenchCpuPercent, 1),
            serverOnly(row("console output under saturation (KiB/s)", s.consoleBytesPerSecond / 1024, NoFigure, 0)),
            row("WHO reply, median (ms)", median(s.who), median(b.who), 3),
            row("WHO reply, max (ms)", maximum(s.who), maximum(b.who), 3),
            row("WHO replies missing or incomplete", s.whoIncomplete, b.whoIncomplete, 0)};
}

std::vector<Row> costRows(const TargetFigures& s, const TargetFigures& b) {
    return {goal(row("idle CPU, % of one core", s.idleCpuPercent, b.idleCpuPercent, 2), Goal::AtMost, 2),
            goal(row("peak memory VmHWM (KiB)", kib(s.peakKiB), kib(b.peakKiB), 0), Goal::AtMost, 8192),
            serverOnly(goal(row("chat-client idle CPU, % of one core", s.clientCpuPercent, NoFigure, 2),
                            Goal::AtMost, 0.5)),
            serverOnly(row("chat-client peak memory VmHWM (KiB)", kib(s.clientPeakKiB), NoFigure, 0))};
}

Text verdict(const Row& r, bool measured) {
    if (r.goal == Goal::None) return "";
    Text limit = (r.goal == Goal::AtMost ? "<= " : ">= ") + figureText(r.limit, r.limit < 10 ? 1 : 0);
    if (!measured || std::isnan(r.server)) return limit;
    bool met = r.goal == Goal::AtMost ? r.server <= r.limit : r.server >= r.limit;
    return limit + (met ? "  met" : "  MISSED");
}

Text ratioText(const Row& r) {
    if (std::isnan(r.server) || std::isnan(r.baseline) || r.baseline == 0) return "-";
    return figureText(r.server / r.baseline, 2) + "x";
}

void printRow(std::FILE* out, const Row& r, bool server, bool baseline) {
    Text serverText = server ? figureText(r.server, r.decimals) : "-";
    Text baselineText = baseline && !r.serverOnly ? figureText(r.baseline, r.decimals) : "-";
    Text ratio = server && baseline ? ratioText(r) : "-";
    std::fprintf(out, "%-47s %12s %12s %9s  %s\n", r.label.c_str(), serverText.c_str(), baselineText.c_str(),
                 ratio.c_str(), verdict(r, server).c_str());
}

}  // namespace

Text figureText(double value, int decimals) {
    if (std::isnan(value)) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

Text machineText() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    Text line, model = "unknown CPU";
    while (std::getline(cpuinfo, line))
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    return std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " processors, " + model;
}

Text loadAverage() {
    std::ifstream loadavg("/proc/loadavg");
    Text one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void printTable(std::FILE* out, const BenchOptions& options, const TargetFigures* server,
                const TargetFigures* baseline, const Text& loadBefore) {
    TargetFigures none;
    const TargetFigures& s = server != nullptr ? *server : none;
    const TargetFigures& b = baseline != nullptr ? *baseline : none;
    double shareGoal = options.console == ConsoleMode::Tmux ? 75 : 90;
    std::vector<Row> rows = latencyRows(s, b);
    for (const Row& r : loadRows(s, b, shareGoal)) rows.push_back(r);
    for (const Row& r : costRows(s, b)) rows.push_back(r);
    std::fprintf(out, "chat-bench: %d chatters on 127.0.0.1; %s; load average %s before, %s after\n",
                 options.settings.chatters, machineText().c_str(), loadBefore.c_str(), loadAverage().c_str());
    std::fprintf(out, "%-47s %12s %12s %9s  %s\n", "figure", "server", "baseline", "ratio", "target");
    for (const Row& r : rows) printRow(out, r, server != nullptr, baseline != nullptr);
    if (server != nullptr && !server->notes.empty()) std::fprintf(out, "server notes: %s\n", server->notes.c_str());
    if (baseline != nullptr && !baseline->notes.empty())
        std::fprintf(out, "baseline notes: %s\n", baseline->notes.c_str());
}

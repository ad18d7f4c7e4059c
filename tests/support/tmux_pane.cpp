#include "tests/support/tmux_pane.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace {

const char* const Session = "T";

// The tmux command line for the pane's own server; stdin is /dev/null, as in a run without a terminal.
std::string tmuxCommand(const TmuxPane& pane, const std::string& arguments) {
    std::string environment = pane.locale.empty() ? "" : "LC_ALL=" + shellQuote(pane.locale) + " ";
    return environment + "tmux -L " + shellQuote(pane.socket) + " -f /dev/null " + arguments + " </dev/null";
}

std::string target() { return std::string(" -t ") + Session + " "; }

// Tests wait by polling: a capture is a process start, so a short pause between tries is enough.
constexpr int CapturePauseMs = 25;

void applySgr(const std::string& parameters, PaneCell* pen) {
    std::vector<int> codes;
    std::istringstream list(parameters);
    for (std::string code; std::getline(list, code, ';');) codes.push_back(code.empty() ? 0 : std::stoi(code));
    if (codes.empty()) codes.push_back(0);
    for (size_t i = 0; i < codes.size(); ++i) {
        int code = codes[i];
        if (code == 0) *pen = PaneCell();
        else if (code == 1) pen->bold = true;
        else if (code == 22) pen->bold = false;
        else if (code >= 30 && code <= 37) pen->foreground = code - 30;
        else if (code >= 90 && code <= 97) pen->foreground = code - 90 + 8;
        else if (code == 39) pen->foreground = -1;
        else if (code >= 40 && code <= 47) pen->background = code - 40;
        else if (code >= 100 && code <= 107) pen->background = code - 100 + 8;
        else if (code == 49) pen->background = -1;
        else if ((code == 38 || code == 48) && i + 1 < codes.size()) {
            // 38;5;n picks a colour index; 38;2;r;g;b a colour the tests never use, skipped whole.
            bool indexed = codes[i + 1] == 5;
            if (indexed && i + 2 < codes.size()) (code == 38 ? pen->foreground : pen->background) = codes[i + 2];
            i += indexed ? 2 : 4;
        }
    }
}

size_t glyphLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

const char* const PaneModesFormat =
    "#{cursor_flag} #{keypad_cursor_flag} #{keypad_flag} #{insert_flag} #{origin_flag} #{wrap_flag} "
    "#{mouse_any_flag} #{mouse_standard_flag} #{mouse_button_flag} #{mouse_sgr_flag} #{mouse_utf8_flag} "
    "#{alternate_on} #{scroll_region_upper} #{scroll_region_lower}";

TmuxPane::~TmuxPane() { stopTmuxPane(*this); }

bool startTmuxPane(TmuxPane& pane, const std::string& prefix, const std::string& command) {
    static int started = 0;
    stopTmuxPane(pane);  // a pane started again gets a fresh server
    pane.socket = prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(++started);
    std::string arguments = "new-session -d -s " + std::string(Session) + " -x " + std::to_string(pane.width) +
                            " -y " + std::to_string(pane.height) + " " + shellQuote(command) +
                            " \\; set -s escape-time 0";
    if (pane.clipboard) arguments += " \\; set -s set-clipboard on";
    if (pane.focusEvents) arguments += " \\; set -g focus-events on";
    if (!pane.pipeTo.empty()) {
        arguments += " \\; pipe-pane -o" + target() + shellQuote("cat >> " + shellQuote(pane.pipeTo));
    }
    return tmuxStatus(pane, arguments) == 0;
}

void stopTmuxPane(TmuxPane& pane) {
    if (pane.socket.empty()) return;
    tmuxStatus(pane, "kill-server");
    pane.socket.clear();
}

void resizeTmuxPane(TmuxPane& pane, int width, int height) {
    pane.width = width;
    pane.height = height;
    tmuxStatus(pane, "resize-window" + target() + "-x " + std::to_string(width) + " -y " + std::to_string(height));
}

std::string tmuxOutput(const TmuxPane& pane, const std::string& arguments) {
    std::string output;
    FILE* pipe = popen((tmuxCommand(pane, arguments) + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

int tmuxStatus(const TmuxPane& pane, const std::string& arguments) {
    return std::system((tmuxCommand(pane, arguments) + " >/dev/null 2>&1").c_str());
}

void sendKeys(const TmuxPane& pane, const std::string& names) { tmuxStatus(pane, "send-keys" + target() + names); }

void typeText(const TmuxPane& pane, const std::string& text) {
    tmuxStatus(pane, "send-keys" + target() + "-l " + shellQuote(text));
}

void sendHex(const TmuxPane& pane, const std::string& bytes) { tmuxStatus(pane, "send-keys" + target() + "-H " + bytes); }

std::string capturePaneText(const TmuxPane& pane, bool keepBlanks) {
    return tmuxOutput(pane, std::string("capture-pane -p ") + (keepBlanks ? "-N" : "") + target());
}

std::string capturePaneHistory(const TmuxPane& pane) {
    return tmuxOutput(pane, "capture-pane -p -J -S -" + target());
}

PaneScreen capturePaneCells(const TmuxPane& pane) {
    return parseCapture(tmuxOutput(pane, "capture-pane -p -e -N" + target()));
}

std::string paneFormat(const TmuxPane& pane, const std::string& format) {
    return tmuxOutput(pane, "display -p" + target() + shellQuote(format));
}

bool waitForPane(const TmuxPane& pane, const std::function<bool(const std::string&)>& ready, int maxMs,
                 bool keepBlanks) {
    return pollUntil([&] { return ready(capturePaneText(pane, keepBlanks)); }, maxMs, CapturePauseMs);
}

bool waitForPaneText(const TmuxPane& pane, const std::string& text, int maxMs, bool keepBlanks) {
    return waitForPane(pane, [&](const std::string& s) { return s.find(text) != std::string::npos; }, maxMs,
                       keepBlanks);
}

bool waitForPaneCells(const TmuxPane& pane, const std::function<bool(const PaneScreen&)>& ready, int maxMs) {
    return pollUntil([&] { return ready(capturePaneCells(pane)); }, maxMs, CapturePauseMs);
}

PaneRow parseCapturedLine(const std::string& line, PaneCell* pen) {
    PaneRow cells;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == '\x1b' && i + 1 < line.size() && line[i + 1] == '[') {
            // A control sequence runs to its final byte; only SGR changes what the cells look like.
            size_t end = line.find_first_of("@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~", i + 2);
            if (end == std::string::npos) break;
            if (line[end] == 'm') applySgr(line.substr(i + 2, end - i - 2), pen);
            i = end + 1;
            continue;
        }
        PaneCell cell = *pen;
        cell.glyph = line.substr(i, glyphLength(static_cast<unsigned char>(line[i])));
        i += cell.glyph.size();
        cells.push_back(cell);
    }
    return cells;
}

PaneScreen parseCapture(const std::string& captured) {
    PaneScreen screen;
    PaneCell pen;
    std::istringstream lines(captured);
    for (std::string line; std::getline(lines, line);) screen.push_back(parseCapturedLine(line, &pen));
    while (!screen.empty() && screen.back().empty()) screen.pop_back();
    return screen;
}

std::string rowText(const PaneRow& row) {
    std::string text;
    for (const PaneCell& cell : row) text += cell.glyph;
    return text;
}

bool pollUntil(const std::function<bool()>& ready, int maxMs, int pauseMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    while (std::chrono::steady_clock::now() < end) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    return ready();
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

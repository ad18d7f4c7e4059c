// A tiny program for the output-run tests: prints a coloured script of many lines through the public
// output operations, leaves its last text waiting, and then goes out the way its argument names:
//   return, end      : returns from main / endProgram(0)
//   sigint, sigterm  : raises that signal
//   segv             : raises SIGSEGV, as a crash would
//   pause, pollKey, isKeyDown : calls that operation, then sleeps without the console until killed
#include "common/console/console.h"

#include <csignal>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// About 2.6 KiB in 120 writes: more than two runs' worth.
void printScript() {
    for (int line = 1; line <= 40; line++) {
        setTextColor(line % 15 + 1);
        print("line ");
        print(std::to_string(line));
        printLine(" of the script, long enough to matter");
    }
    setTextColor(14);
    print("last words");
}

[[noreturn]] void sleepForever() {
    for (;;) sleep(1);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string way = argc > 1 ? argv[1] : "return";
    printScript();
    if (way == "end") endProgram(0);
    if (way == "sigint") raise(SIGINT);
    if (way == "sigterm") raise(SIGTERM);
    if (way == "segv") raise(SIGSEGV);
    if (way == "pause") pause(1);
    if (way == "pollKey") pollKey();
    if (way == "isKeyDown") isKeyDown(EscScanCode);
    if (way == "pause" || way == "pollKey" || way == "isKeyDown") sleepForever();
    return 0;
}

#include "common/failed_start.h"

#include "common/console/console.h"

namespace {

constexpr int FailedStartStatus = 1;

}  // namespace

void endFailedStart() {
    if (consoleEndsWithProgram()) {
        printLine("Hit any key.");
        waitForKey();
    }
    endProgram(FailedStartStatus);
}

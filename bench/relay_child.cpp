#include "bench/relay_child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

[[noreturn]] void runRelayChild(ImpairmentRelay* relay, int stopFd, int figuresFd) {
    pollfd stop = {stopFd, POLLIN, 0};
    while (poll(&stop, 1, 0) == 0) serviceRelay(*relay, 2);
    ssize_t written = write(figuresFd, &relay->figures, sizeof relay->figures);
    (void)written;
    _exit(0);
}

}  // namespace

bool startRelayChild(const LinkImpairment& impairment, std::uint16_t serverPort, RelayChild* child) {
    ImpairmentRelay relay;
    int stop[2], figures[2];
    if (!openRelay(relay, serverPort, impairment)) return false;
    if (pipe(stop) != 0 || pipe(figures) != 0) return closeRelay(relay), false;
    child->pid = fork();
    if (child->pid == 0) {
        close(stop[1]);
        close(figures[0]);
        runRelayChild(&relay, stop[0], figures[1]);
    }
    closeRelay(relay);  // the parent's copies; the child keeps its own
    close(stop[0]);
    close(figures[1]);
    child->stopFd = stop[1];
    child->figuresFd = figures[0];
    fcntl(child->stopFd, F_SETFD, FD_CLOEXEC);
    fcntl(child->figuresFd, F_SETFD, FD_CLOEXEC);
    child->port = relay.port;
    return child->pid > 0;
}

RelayFigures stopRelayChild(RelayChild* child) {
    RelayFigures figures;
    close(child->stopFd);
    if (read(child->figuresFd, &figures, sizeof figures) != static_cast<ssize_t>(sizeof figures)) figures = {};
    close(child->figuresFd);
    if (child->pid > 0) waitpid(child->pid, nullptr, 0);
    return figures;
}


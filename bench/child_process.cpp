#include "bench/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bench/samples.h"

namespace {

std::vector<char*> argumentPointers(const std::vector<Text>& argv) {
    std::vector<char*> pointers;
    for (const Text& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// In the forked child: wires the descriptors and replaces the process image. Never returns.
[[noreturn]] void execChild(const std::vector<Text>& argv, int inputFd, int outputFd, int errorFd) {
    dup2(inputFd, STDIN_FILENO);
    dup2(outputFd, STDOUT_FILENO);
    dup2(errorFd, STDERR_FILENO);
    for (int fd = 3; fd < 256; ++fd) close(fd);
    std::vector<char*> pointers = argumentPointers(argv);
    execv(pointers[0], pointers.data());
    _exit(127);
}

int openOutput(const Text& outputPath, int* readEnd) {
    if (!outputPath.empty()) return open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, 0644);
    int fds[2];
    if (pipe(fds) != 0) return -1;
    *readEnd = fds[0];
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    return fds[1];
}

void tmuxKey(const ChildProcess& child, const Text& key) {
    std::vector<Text> argv = {"/usr/bin/tmux", "-L", child.tmuxSocket, "send-keys", "-t", "bench"};
    if (key == "\x1b") argv.push_back("Escape");
    else argv.insert(argv.end(), {"-l", key});
    runProgram(argv, nullptr);
}

}  // namespace

bool startChild(const std::vector<Text>& argv, const Text& outputPath, ChildProcess* child, Text* error) {
    int input[2];
    if (pipe(input) != 0) return *error = "pipe: " + Text(std::strerror(errno)), false;
    int readEnd = -1;
    int outputFd = openOutput(outputPath, &readEnd);
    if (outputFd < 0) return *error = "cannot open output " + outputPath, false;
    int pid = fork();
    if (pid == 0) execChild(argv, input[0], outputFd, outputFd);
    close(input[0]);
    close(outputFd);
    fcntl(input[1], F_SETFD, FD_CLOEXEC);
    if (pid < 0) return *error = "fork failed", false;
    child->pid = pid;
    child->ownChild = true;
    child->inputFd = input[1];
    child->outputFd = readEnd;
    return true;
}

bool startInTmux(const Text& program, const Text& socketName, ChildProcess* child, Text* error) {
    child->tmuxSocket = socketName;
    Text tmux = "/usr/bin/tmux";
    if (!runProgram({tmux, "-L", socketName, "-f", "/dev/null", "new-session", "-d", "-s", "bench", "-x", "80",
                     "-y", "25", "exec '" + program + "'"}, nullptr))
        return *error = "tmux new-session failed", false;
    runProgram({tmux, "-L", socketName, "set", "-s", "escape-time", "0"}, nullptr);
    Text pid;
    if (!runProgram({tmux, "-L", socketName, "list-panes", "-t", "bench", "-F", "#{pane_pid}"}, &pid) ||
        std::atoi(pid.c_str()) <= 0)
        return *error = "tmux gave no pane pid", false;
    child->pid = std::atoi(pid.c_str());
    Text path;
    if (runProgram({tmux, "-L", socketName, "display-message", "-p", "#{socket_path}"}, &path))
        child->tmuxSocketPath = path.substr(0, path.find('\n'));
    return true;
}

void typeKeys(ChildProcess* child, const Text& keys) {
    if (!child->tmuxSocket.empty()) return tmuxKey(*child, keys);
    if (child->inputFd < 0) return;
    ssize_t written = write(child->inputFd, keys.data(), keys.size());
    (void)written;  // A child that has gone shows up in isRunning.
}

long drainOutput(ChildProcess* child) {
    if (child->outputFd < 0) return 0;
    char buffer[65536];
    long total = 0;
    // Bounded: a server writing faster than this loop reads is picked up again on the next call.
    for (int reads = 0; reads < 64; ++reads) {
        ssize_t got = read(child->outputFd, buffer, sizeof buffer);
        if (got <= 0) break;
        total += got;
    }
    child->outputBytes += total;
    return total;
}

bool isRunning(ChildProcess* child) {
    if (child->pid <= 0) return false;
    if (child->ownChild) {
        int status = 0;
        if (waitpid(child->pid, &status, WNOHANG) == child->pid) return child->pid = -1, false;
        return true;
    }
    return kill(child->pid, 0) == 0;
}

bool waitForExit(ChildProcess* child, double seconds) {
    double end = benchSeconds() + seconds;
    while (isRunning(child) && benchSeconds() < end) {
        drainOutput(child);
        usleep(10000);
    }
    return !isRunning(child);
}

void stopChild(ChildProcess* child, const std::vector<Text>& quitKeys) {
    for (const Text& key : quitKeys) {
        if (!isRunning(child)) break;
        typeKeys(child, key);
        waitForExit(child, 0.5);
    }
    if (child->inputFd >= 0) close(child->inputFd);
    child->inputFd = -1;
    if (!waitForExit(child, 1.0) && child->pid > 0) kill(child->pid, SIGTERM);
    if (!waitForExit(child, 2.0) && child->pid > 0) kill(child->pid, SIGKILL);
    waitForExit(child, 2.0);
    if (!child->tmuxSocket.empty()) runProgram({"/usr/bin/tmux", "-L", child->tmuxSocket, "kill-server"}, nullptr);
    if (!child->tmuxSocketPath.empty()) unlink(child->tmuxSocketPath.c_str());
    if (child->outputFd >= 0) close(child->outputFd);
    child->outputFd = -1;
}

bool runProgram(const std::vector<Text>& argv, Text* output) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    int devNull = open("/dev/null", O_RDWR);
    int pid = fork();
    if (pid == 0) execChild(argv, devNull, fds[1], devNull);
    close(fds[1]);
    close(devNull);
    char buffer[4096];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0)
        if (output != nullptr) output->append(buffer, static_cast<size_t>(got));
    close(fds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

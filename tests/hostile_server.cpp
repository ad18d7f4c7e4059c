#include "tests/hostile_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "common/protocol.h"

namespace {

const std::string ServerPath = CHAT_BUILD_DIR "/chat-server";

std::string readWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

const char* wrapper() {
    const char* value = std::getenv("CHAT_HOSTILE_WRAPPER");
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

bool waitForConsole(ServerUnderTest& server, const std::string& text, int maxMs) {
    long long end = nowMs() + maxMs;
    while (nowMs() < end) {
        if (serverConsole(server).find(text) != std::string::npos) return true;
        if (!serverAlive(server)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

long statusField(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, field.size(), field) == 0) return std::atol(line.c_str() + field.size() + 1);
    return -1;
}

// A sanitizer runtime or valgrind's preload in the process's map: its memory is not the server's own.
bool runsInstrumented(pid_t pid) {
    std::string maps = readWhole("/proc/" + std::to_string(pid) + "/maps");
    return maps.find("libasan") != std::string::npos || maps.find("vgpreload") != std::string::npos ||
           maps.find("valgrind") != std::string::npos;
}

}  // namespace

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int scaledMs(int ms) { return wrapper() != nullptr ? ms * 10 : ms; }

namespace {

bool launchServer(ServerUnderTest& server, int maxMs) {
    char pattern[] = "/tmp/chat-hostile-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return false;
    server.directory = pattern;
    server.consolePath = server.directory + "/console.txt";
    int keys[2];
    if (pipe(keys) != 0) return false;
    server.pid = fork();
    if (server.pid == 0) {
        int console = open(server.consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(keys[0], 0);
        dup2(console, 1);
        dup2(console, 2);
        close(keys[1]);
        if (wrapper() != nullptr) {
            std::string command = std::string("exec ") + wrapper() + " " + ServerPath;
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        } else {
            execl(ServerPath.c_str(), "chat-server", static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    close(keys[0]);
    server.keys = keys[1];
    if (server.pid < 0 || !waitForConsole(server, "Server Running.", maxMs)) return false;
    server.instrumented = runsInstrumented(server.pid);
    return true;
}

}  // namespace

// Another test run on this machine may hold the port for a while: a server that cannot create its host
// ends at once, and is started again until the port is free or a minute has passed.
bool startServerUnderTest(ServerUnderTest& server, int maxMs) {
    // A server that ended closes its end of the key pipe; a key written then must not end the test.
    signal(SIGPIPE, SIG_IGN);
    long long end = nowMs() + 60000;
    for (;;) {
        if (launchServer(server, maxMs)) return true;
        bool portTaken = !serverAlive(server) &&
                         serverConsole(server).find("create an ENet server host") != std::string::npos;
        if (!portTaken || nowMs() >= end) return false;
        killServerUnderTest(server);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

bool serverAlive(ServerUnderTest& server) {
    if (server.pid <= 0) return false;
    if (waitpid(server.pid, &server.status, WNOHANG) == 0) return true;
    server.pid = -1;  // reaped: the number may belong to another process from now on
    return false;
}

std::string serverConsole(const ServerUnderTest& server) { return readWhole(server.consolePath); }

bool stopServerUnderTest(ServerUnderTest& server, int maxMs) {
    if (!serverAlive(server)) return false;
    ssize_t written = write(server.keys, "\x1b", 1);
    if (written != 1 || !waitForConsole(server, "Hit any key.", maxMs)) return false;
    written = write(server.keys, "x", 1);
    long long end = nowMs() + maxMs;
    while (nowMs() < end) {
        if (waitpid(server.pid, &server.status, WNOHANG) == server.pid) {
            server.pid = -1;
            return WIFEXITED(server.status) && WEXITSTATUS(server.status) == 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void killServerUnderTest(ServerUnderTest& server) {
    if (server.pid > 0) {
        kill(server.pid, SIGKILL);
        waitpid(server.pid, &server.status, 0);
    }
    server.pid = -1;
    if (server.keys >= 0) close(server.keys);
    server.keys = -1;
    if (!server.directory.empty() && std::getenv("CHAT_HOSTILE_KEEP") == nullptr) {
        std::remove(server.consolePath.c_str());
        rmdir(server.directory.c_str());
    }
    server.directory.clear();
}

std::string endServerUnderTest(ServerUnderTest& server) {
    std::string problems;
    if (serverAlive(server) && !stopServerUnderTest(server, scaledMs(5000))) problems += "the server did not stop; ";
    // A server built with the sanitizers reports in its console (and ends with another status).
    std::string console = serverConsole(server);
    std::size_t report = std::min(console.find("Sanitizer"), console.find("runtime error"));
    if (report != std::string::npos) problems += console.substr(report);
    killServerUnderTest(server);
    return problems;
}

long peakResidentKiB(pid_t pid) { return statusField(pid, "VmHWM:"); }
long residentKiB(pid_t pid) { return statusField(pid, "VmRSS:"); }

bool joinServer(ChatTestClient& client, int maxMs) {
    if (!startTestClient(client, "127.0.0.1", ChatPort)) return false;
    return waitForPackets(client, 2, maxMs);
}

bool askWho(ChatTestClient& client, std::vector<ListedChatter>* chatters, int maxMs) {
    static const std::regex Line(R"(([^\r\n ]*) \(#(\d+), \d+ \+/- \d+, \d+, \d+, \d+\))");
    const std::string head = "WSP Lobby Chatters:\r\n";
    size_t seen = client.packets.size();
    sendTestText(client, "WHO ");
    long long end = nowMs() + maxMs;
    while (nowMs() < end) {
        serviceTestClient(client, 5);
        for (; seen < client.packets.size(); ++seen) {
            std::string text = packetAsText(client.packets[seen]);
            if (text.compare(0, head.size(), head) != 0) continue;
            chatters->clear();
            std::string rest = text.substr(head.size());
            for (size_t at = 0; at < rest.size();) {
                size_t lineEnd = rest.find("\r\n", at);
                std::smatch match;
                std::string line = rest.substr(at, lineEnd - at);
                if (lineEnd == std::string::npos || !std::regex_match(line, match, Line)) return false;
                chatters->push_back({match[1].str(), std::atoi(match[2].str().c_str())});
                at = lineEnd + 2;
            }
            return true;
        }
    }
    return false;
}

int openRawSocket() { return socket(AF_INET, SOCK_DGRAM, 0); }

void sendRawDatagram(int socket, const std::string& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(ChatPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(socket, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::vector<std::string> namesOf(const std::vector<ListedChatter>& chatters) {
    std::vector<std::string> names;
    for (const ListedChatter& chatter : chatters) names.push_back(chatter.name);
    return names;
}

int countTexts(const ChatTestClient& client, const std::string& prefix) {
    int count = 0;
    for (const std::string& received : receivedTexts(client)) count += received.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

bool sawText(const ChatTestClient& client, const std::string& text) {
    for (const std::string& received : receivedTexts(client))
        if (received == text) return true;
    return false;
}

bool serviceUntilEach(std::deque<ChatTestClient>& clients, const std::vector<size_t>& before, size_t count,
                      int maxMs) {
    long long end = nowMs() + maxMs;
    for (;;) {
        bool all = true;
        for (size_t i = 0; i < clients.size(); ++i) {
            serviceTestClient(clients[i], 0);
            all = all && clients[i].packets.size() >= before[i] + count;
        }
        if (all) return true;
        if (nowMs() >= end) return false;
        usleep(1000);
    }
}


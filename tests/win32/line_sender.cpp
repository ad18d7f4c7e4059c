// A chatter for the scripted tests under Wine that says many lines fast:
//   line_sender COUNT   joins the lobby on 127.0.0.1, says "line 1" to "line COUNT", waits until each
//                       has come back, and stays until the server goes away (at most 120 s).
// Prints "sent COUNT, back N"; exit status 0 when every line came back in order.
#include "tests/support/chat_test_client.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2 || enet_initialize() != 0) return 2;
    int count = std::atoi(argv[1]);
    ChatTestClient client;
    if (!startTestClient(client, "127.0.0.1", 42069) || !waitForConnection(client, 10000)) return 1;
    waitForPackets(client, 2, 10000);  // the welcome and the join notice
    for (int i = 1; i <= count; ++i) sendTestText(client, "SAY line " + std::to_string(i));
    int back = 0;
    for (int waited = 0; waited < 600 && back < count; ++waited) {
        serviceTestClient(client, 100);
        back = 0;
        for (const std::string& text : receivedTexts(client)) {
            std::string want = " line " + std::to_string(back + 1);
            if (text.rfind("SAY ", 0) == 0 && text.size() > want.size() &&
                text.compare(text.size() - want.size(), want.size(), want) == 0)
                back++;
        }
    }
    std::printf("sent %d, back %d\n", count, back);
    std::fflush(stdout);
    for (int waited = 0; waited < 1200 && !client.disconnected; ++waited) serviceTestClient(client, 100);
    stopTestClient(client);
    enet_deinitialize();
    return back == count ? 0 : 1;
}

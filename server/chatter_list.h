// The list reply to "WHO ".
#pragma once

#include "server/chat_server.h"

// The list reply's text after "WSP Lobby ": a heading and one line per active chatter, CR LF ends.
Text chatterList(const ChatServer& server);

# The hostile-network suite: the real chat-server under raw garbage, forged fragments, odd messages, a
# full house, churn, vanishing chatters and a flood, all on loopback port 42069.
chat_test(hostile_network_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hostile_network_test.cpp ${CMAKE_CURRENT_LIST_DIR}/hostile_server.cpp
  LIBS chat_core chat_test_client LOCK port42069)
add_dependencies(hostile_network_test chat-server)

# The same, for what one chatter could do to the others: a silent reader, tiny-packet floods, half-open
# connects and names too long for the list.
chat_test(hostile_limits_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hostile_limits_test.cpp ${CMAKE_CURRENT_LIST_DIR}/hostile_server.cpp
  LIBS chat_core chat_test_client LOCK port42069)
add_dependencies(hostile_limits_test chat-server)

# Both real programs in a real terminal: every way out restores the terminal.
chat_test(terminal_safety_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/terminal_safety_test.cpp LIBS tmux_pane LOCK port42069)
add_dependencies(terminal_safety_test chat-server chat-client)

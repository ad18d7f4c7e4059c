# The client's tests: the message rules, the event display through the console model with real ENet
# hosts on loopback, and the real programs in a real terminal (tmux).
chat_test(make_message_test SOURCES make_message_test.cpp LIBS chat_client_lib)
chat_test(event_display_test SOURCES event_display_test.cpp LIBS chat_client_lib)
chat_test(input_line_test SOURCES input_line_test.cpp LIBS chat_client_lib)
chat_test(client_e2e_test SOURCES client_e2e_test.cpp LIBS chat_core chat_test_client tmux_pane LOCK port42069)
add_dependencies(client_e2e_test chat-server chat-client)

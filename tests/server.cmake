# Tests of chat-server: the roster, the event handling on real loopback ENet hosts, and the program itself.
# chat_test_client is the small ENet client that other areas' tests may reuse as well.
add_library(chat_test_client STATIC
  ${CMAKE_CURRENT_LIST_DIR}/support/chat_test_client.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/fragment_forger.cpp)
target_include_directories(chat_test_client PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(chat_test_client PUBLIC chat_enet)
# tmux_pane is the real terminal that the tests of every area drive programs in.
add_library(tmux_pane STATIC ${CMAKE_CURRENT_LIST_DIR}/support/tmux_pane.cpp)
target_include_directories(tmux_pane PUBLIC ${PROJECT_SOURCE_DIR})

add_library(server_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/support/loopback_lobby.cpp)
target_link_libraries(server_test_support PUBLIC chat_server_lib chat_test_client)

chat_test(roster_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/roster_test.cpp LIBS chat_server_lib)
chat_test(limits_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/limits_test.cpp LIBS chat_server_lib)
chat_test(server_loop_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/server_loop_test.cpp LIBS server_test_support)
chat_test(server_guard_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/server_guard_test.cpp LIBS server_test_support)
chat_test(server_process_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/server_process_test.cpp
  LIBS chat_test_client tmux_pane LOCK port42069)
add_dependencies(server_process_test chat-server)

# Links that are not perfect: the real chat-server behind the impairment relay (loss, delay, jitter,
# duplication), and a line said just before leaving a busy lobby the way chat-client leaves.
chat_test(link_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_test.cpp ${CMAKE_CURRENT_LIST_DIR}/hostile_server.cpp
  LIBS chat_client_lib chat_test_client impairment_relay LOCK port42069)
add_dependencies(link_test chat-server)

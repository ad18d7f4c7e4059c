# Tests of chat-bench: its pure parts and its baseline relay on real loopback ENet hosts, and a smoke
# run of the whole tool against the real server (which asserts that it ran and printed its table).
chat_test(bench_parts_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_parts_test.cpp LIBS chat_bench_lib)
chat_test(bench_scenarios_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_scenarios_test.cpp LIBS chat_bench_lib)
chat_test(bench_smoke_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_smoke_test.cpp LIBS chat_core LOCK port42069)
add_dependencies(bench_smoke_test chat-bench chat-server chat-client)

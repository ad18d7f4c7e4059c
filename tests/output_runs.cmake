# The console's output runs (how many writes the output takes, and that waiting output reaches the
# terminal before the program waits, reads keys or ends, signals included) and the key intake of a pass.
add_executable(output_runs_probe output_runs_probe.cpp)
target_link_libraries(output_runs_probe PRIVATE chat_core)
chat_test(output_runs_test SOURCES output_runs_test.cpp LIBS chat_core util)
add_dependencies(output_runs_test output_runs_probe)
chat_test(key_intake_test SOURCES key_intake_test.cpp LIBS chat_core)

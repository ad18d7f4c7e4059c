# The console's keyboard half: the key decoder against real terminals' sequences, the key queue,
# the line item rule and the line editor as pure parts; then the intake and inputText in real
# processes, fed through a pipe and typed into a real terminal (tmux), with the terminal's restore.
chat_test(key_decoder_test SOURCES key_decoder_test.cpp LIBS chat_core)
chat_test(key_queue_test SOURCES key_queue_test.cpp LIBS chat_core)
chat_test(line_item_test SOURCES line_item_test.cpp LIBS chat_core)
chat_test(line_editor_test SOURCES line_editor_test.cpp LIBS chat_core)
add_executable(console_probe console_probe.cpp)
target_link_libraries(console_probe PRIVATE chat_core)
chat_test(console_process_test SOURCES console_process_test.cpp LIBS chat_core util tmux_pane)
add_dependencies(console_process_test console_probe)
chat_test(cut_terminal_test SOURCES cut_terminal_test.cpp LIBS chat_core PkgConfig::VTERM util)
add_dependencies(cut_terminal_test console_probe)
# The console's front, once for both back ends, over a fake back end of the test's own.
file(GLOB CHAT_CONSOLE_FRONT_SOURCES ${PROJECT_SOURCE_DIR}/common/console/*.cpp)
chat_test(console_front_test SOURCES console_front_test.cpp ${CHAT_CONSOLE_FRONT_SOURCES}
  ${PROJECT_SOURCE_DIR}/common/text.cpp)
target_include_directories(console_front_test PRIVATE ${PROJECT_SOURCE_DIR})

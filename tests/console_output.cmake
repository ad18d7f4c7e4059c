# The console's output half: the screen model's golden screens, the writer checked against a real
# terminal emulator (libvterm), and the output operations in real processes (a file, a tmux pane).
chat_test(screen_model_test SOURCES screen_model_test.cpp LIBS chat_core)
chat_test(screen_writer_test SOURCES screen_writer_test.cpp LIBS chat_core PkgConfig::VTERM)
add_executable(console_output_probe console_output_probe.cpp)
target_link_libraries(console_output_probe PRIVATE chat_core)
chat_test(console_output_test SOURCES console_output_test.cpp LIBS chat_core tmux_pane)
add_dependencies(console_output_test console_output_probe)

# The console in the terminals people use, each real under an X server of its own (Xvfb), keys typed as
# X events (xdotool): kitty's keyboard protocol, and the log after VTE and xterm are narrowed. kitty draws
# with software GL: each test runs alone, so that it does not slow the timing of the others.
add_library(x_terminal STATIC ${CMAKE_CURRENT_LIST_DIR}/support/x_terminal.cpp)
target_link_libraries(x_terminal PUBLIC tmux_pane)
target_include_directories(x_terminal PUBLIC ${PROJECT_SOURCE_DIR})
chat_test(x_terminal_test SOURCES x_terminal_test.cpp LIBS x_terminal SERIAL)
add_dependencies(x_terminal_test console_probe)

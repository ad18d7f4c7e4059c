# The tests of the Windows build, run under Wine (the toolchain's emulator): the tests that need no
# POSIX process control, terminal or libvterm, each program one CTest test; and the helper that reads a
# Win32 console's cells back for the scripted tests. GoogleTest is built from Debian's sources.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)

set(CHAT_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
function(chat_windows_test name)
  cmake_parse_arguments(T "" "FILTER" "SOURCES;LIBS;LOCK" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
  target_compile_definitions(${name} PRIVATE
    CHAT_BUILD_DIR="${CMAKE_BINARY_DIR}" CHAT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(T_FILTER)
    add_test(NAME ${name} COMMAND ${name} --gtest_filter=${T_FILTER})
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  if(T_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK ${T_LOCK})
  endif()
endfunction()

foreach(name key_queue_test line_item_test line_editor_test screen_model_test win32_key_map_test)
  chat_windows_test(${name} SOURCES ${CHAT_TESTS_DIR}/${name}.cpp LIBS chat_core)
endforeach()
# The terminal back end's key decoder is pure, so it runs under Wine too.
chat_windows_test(key_decoder_test SOURCES ${CHAT_TESTS_DIR}/key_decoder_test.cpp
  ${PROJECT_SOURCE_DIR}/common/console/terminal/key_decoder.cpp LIBS chat_core)
foreach(name make_message_test event_display_test input_line_test)
  chat_windows_test(${name} SOURCES ${CHAT_TESTS_DIR}/${name}.cpp LIBS chat_client_lib)
endforeach()
# The console's front over the fake back end of its test.
file(GLOB CHAT_CONSOLE_FRONT_SOURCES ${PROJECT_SOURCE_DIR}/common/console/*.cpp)
chat_windows_test(console_front_test SOURCES ${CHAT_TESTS_DIR}/console_front_test.cpp ${CHAT_CONSOLE_FRONT_SOURCES}
  ${PROJECT_SOURCE_DIR}/common/text.cpp)
target_include_directories(console_front_test PRIVATE ${PROJECT_SOURCE_DIR})
chat_windows_test(roster_test SOURCES ${CHAT_TESTS_DIR}/roster_test.cpp LIBS chat_server_lib)
# The server's event handling on real loopback ENet hosts, its console captured from the standard output.
add_library(win32_server_support STATIC ${CHAT_TESTS_DIR}/support/loopback_lobby.cpp
  ${CHAT_TESTS_DIR}/support/chat_test_client.cpp)
target_link_libraries(win32_server_support PUBLIC chat_server_lib)
# Left out: the test that tells the capture file from the real output by st_ino, always 0 on Windows.
chat_windows_test(server_loop_test SOURCES ${CHAT_TESTS_DIR}/server_loop_test.cpp LIBS win32_server_support
  FILTER -ServerLoopTest.EveryTraceIsWrittenBeforeItsDatagramsLeave)

add_executable(console_reader ${CMAKE_CURRENT_LIST_DIR}/console_reader.cpp)
chat_windows_test(console_seam_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_seam_test.cpp LIBS chat_core)
# The output tests' probe, run in wineconsole by chat_under_wine.sh: its cells are read back.
add_executable(console_output_probe ${CHAT_TESTS_DIR}/console_output_probe.cpp)
target_link_libraries(console_output_probe PRIVATE chat_core)
# The chatter that says many lines fast, for the full console buffer in chat_under_wine.sh.
add_executable(line_sender ${CMAKE_CURRENT_LIST_DIR}/line_sender.cpp)
target_link_libraries(line_sender PRIVATE win32_server_support)

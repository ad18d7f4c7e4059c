# The Win32 console back end's key rules, pure, so they run here as well as under Wine.
chat_test(win32_key_map_test SOURCES win32_key_map_test.cpp
  ${PROJECT_SOURCE_DIR}/common/console/win32/win32_key_map.cpp LIBS chat_core)

# The Win32 console form's key rules, pure, so they run here as well as under Wine.
chat_test(win32_key_map_test SOURCES win32_key_map_test.cpp LIBS chat_core)

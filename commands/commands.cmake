# Text, conversion, file and system commands.
#
# st_text_core is the byte-level text logic; it needs nothing of Windows or
# of the runtime, so it builds for the host too (fast unit tests there).
# Its literals are GBK on both presets, like everything in the image.
add_library(st_text_core STATIC ${CMAKE_CURRENT_LIST_DIR}/text_core.cpp)
target_include_directories(st_text_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_options(st_text_core PUBLIC -finput-charset=UTF-8 -fexec-charset=GBK)

# The commands themselves work on runtime values and call Win32.
if(SPEECHTOOL_WIN32)
  add_library(st_commands STATIC
    ${CMAKE_CURRENT_LIST_DIR}/text_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/runtime_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_pump.cpp)
  target_include_directories(st_commands PUBLIC
    ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/runtime/include)
  target_link_libraries(st_commands PUBLIC st_text_core user32 kernel32)
endif()

# External-function binding and the checked call (runtime side), and the
# speech tool's text helpers (application side), which call the commands and
# two external functions.
if(SPEECHTOOL_WIN32)
  add_library(st_dll_binding STATIC ${PROJECT_SOURCE_DIR}/runtime/dll_binding.cpp)
  target_include_directories(st_dll_binding PUBLIC
    ${PROJECT_SOURCE_DIR}/runtime ${PROJECT_SOURCE_DIR}/runtime/include)

  add_library(st_text_helpers STATIC ${PROJECT_SOURCE_DIR}/app/text_helpers.cpp)
  target_include_directories(st_text_helpers PUBLIC ${PROJECT_SOURCE_DIR}/app)
  target_link_libraries(st_text_helpers PUBLIC st_commands st_dll_binding)
endif()

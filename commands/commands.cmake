# Text, conversion, file and system commands.
#
# st_text_core is the byte-level text logic; it needs nothing of Windows or
# of the runtime, so it builds for the host too (fast unit tests there).
# Its literals are GBK on both presets, like everything in the image.
add_library(st_text_core STATIC ${CMAKE_CURRENT_LIST_DIR}/text_core.cpp)
target_include_directories(st_text_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_options(st_text_core PUBLIC -finput-charset=UTF-8 -fexec-charset=GBK)

if(SPEECHTOOL_WIN32)
  # The commands join the core library, which lists them in its table.
  target_sources(st_commands PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/text_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/runtime_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/play_command.cpp)
  target_include_directories(st_commands PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(st_commands PUBLIC st_text_core)

  # The speech tool's text helpers (application side): the commands through
  # the service table, two external functions through the checked call.
  # (External-function binding itself, runtime/dll_binding.cpp, is part of
  # st_runtime.)
  add_library(st_text_helpers STATIC ${PROJECT_SOURCE_DIR}/app/text_helpers.cpp)
  target_include_directories(st_text_helpers PUBLIC ${PROJECT_SOURCE_DIR}/app)
  target_link_libraries(st_text_helpers PUBLIC st_runtime st_commands)
endif()

if(SPEECHTOOL_WIN32)
  # The speech tool's web page access (application side): the commands
  # through the service table, the Internet functions 2-9 through the
  # checked call.
  add_library(st_web_access STATIC ${PROJECT_SOURCE_DIR}/app/web_access.cpp)
  target_include_directories(st_web_access PUBLIC ${PROJECT_SOURCE_DIR}/app)
  target_link_libraries(st_web_access PUBLIC st_runtime st_commands)
endif()

# What both MinGW-w64 cross builds share; the including file sets CMAKE_SYSTEM_PROCESSOR and
# BREVOR_MINGW_TRIPLE first. The posix thread model's compilers, for std::thread.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${BREVOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BREVOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BREVOR_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${BREVOR_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${BREVOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine (tests, and try_run during configuration), through a
# wrapper that keeps Wine's own lingering processes off CTest's pipes. Without Wine the module
# and the tests still build; they just cannot run here.
find_program(BREVOR_WINE NAMES wine wine64)
if(BREVOR_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()

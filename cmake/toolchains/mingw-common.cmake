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
# wrapper that keeps Wine's own lingering processes off CTest's pipes. The wrapper starts Wine's
# loader for the target's word size itself: Debian's "wine" command starts the 32-bit loader
# whenever 32-bit Wine is installed, even for a 64-bit program. Without Wine the module and the
# tests still build and the checks that need no execution run; the programs just cannot run here.
# A 32-bit program needs a kernel that runs 32-bit code: where the kernel refuses it (see
# probe-32bit.sh) there is no emulator for the 32-bit target, whatever is installed.
set(wine_loader_names wine64)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(wine_loader_names wine)
    include(${CMAKE_CURRENT_LIST_DIR}/../Probe32Bit.cmake)
endif()
if(DEFINED CACHE{BREVOR_RUNS_32BIT} AND NOT BREVOR_RUNS_32BIT)
    unset(BREVOR_WINE_LOADER CACHE)
else()
    find_program(BREVOR_WINE_LOADER NAMES ${wine_loader_names} PATHS /usr/lib/wine
        NO_DEFAULT_PATH)
    find_program(BREVOR_WINE_LOADER NAMES wine ${wine_loader_names})
endif()
if(BREVOR_WINE_LOADER)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${BREVOR_WINE_LOADER})
endif()

# Build for 32-bit x86 Linux with the machine's own compilers (gcc-multilib): pointers, size_t
# and long are 32 bits, file offsets and time_t 64 bits, as on every current 32-bit system. The
# portable code's 32-bit faults show here without Windows.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# Only 32-bit libraries: pkg-config looks where the i386 packages put theirs (the toolkit, when
# its i386 packages are installed; without them the module builds without its dialogs).
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)

# Programs built here run directly where the kernel runs 32-bit code, otherwise under qemu-i386
# user-mode emulation (tests, test discovery, and the child processes the tests start).
include(${CMAKE_CURRENT_LIST_DIR}/../Probe32Bit.cmake)
if(DEFINED CACHE{BREVOR_RUNS_32BIT} AND NOT BREVOR_RUNS_32BIT)
    find_program(BREVOR_QEMU_I386 qemu-i386)
    if(BREVOR_QEMU_I386)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${BREVOR_QEMU_I386})
    elseif(NOT CMAKE_IN_TRY_COMPILE)
        message(WARNING "${BREVOR_32BIT_REASON}, and there is no qemu-i386: the tests cannot run")
    endif()
endif()

# Compiles every core header after the macros <windows.h> defines (windows_macros.h), so a
# header that declares or uses one of their names fails here. The POSIX-only GTK renderer is
# left out: it never meets <windows.h>; so is the Win32 renderer, which includes it itself.
# The Win32 platform folder includes <windows.h> itself and is left out too.
# In: CXX (the compiler), SRC (the src folder), INCLUDE (the public include folder), OUT (a
# scratch file); optionally PRELUDE (a header included first instead of the stand-in macros,
# for a Windows compiler: one that includes the real <windows.h>) and SKIP (a regular
# expression of further headers to leave out, relative to SRC).
if(NOT PRELUDE)
    set(PRELUDE ${CMAKE_CURRENT_LIST_DIR}/windows_macros.h)
endif()
file(GLOB_RECURSE headers RELATIVE ${SRC} ${SRC}/*.h)
list(FILTER headers EXCLUDE REGEX "^ui/(gtk|win32)/")
list(FILTER headers EXCLUDE REGEX "^platform/win32/")
if(SKIP)
    list(FILTER headers EXCLUDE REGEX "${SKIP}")
endif()
list(SORT headers)
set(text "#include \"${PRELUDE}\"\n")
foreach(header IN LISTS headers)
    string(APPEND text "#include \"${header}\"\n")
endforeach()
file(WRITE ${OUT} "${text}")
execute_process(
    COMMAND ${CXX} -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I${SRC} -I${INCLUDE}
            -x c++ ${OUT}
    RESULT_VARIABLE result)
list(LENGTH headers count)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "a core header uses a name that <windows.h> defines as a macro")
endif()
message(STATUS "${count} headers compile after the <windows.h> macros")

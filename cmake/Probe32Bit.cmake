# Whether this machine runs 32-bit x86 programs, asked once per build tree by starting one
# (probe-32bit.sh): BREVOR_RUNS_32BIT, and BREVOR_32BIT_REASON saying why not. Included by the
# toolchains of the 32-bit targets; `cmake -U BREVOR_RUNS_32BIT` asks again.
if(NOT CMAKE_IN_TRY_COMPILE AND NOT DEFINED CACHE{BREVOR_RUNS_32BIT})
    execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/probe-32bit.sh
        RESULT_VARIABLE probe_result OUTPUT_VARIABLE probe_reason OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(probe_result EQUAL 0)
        set(BREVOR_RUNS_32BIT ON CACHE BOOL "This machine runs 32-bit programs")
    else()
        set(BREVOR_RUNS_32BIT OFF CACHE BOOL "This machine runs 32-bit programs")
    endif()
    set(BREVOR_32BIT_REASON "${probe_reason}" CACHE INTERNAL "Why 32-bit programs do not run")
endif()

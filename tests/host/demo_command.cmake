# Runs "brevor-host demo" and checks that every sample file was fed to its end, was deleted,
# and that the module's log lines reached the host through its messages window.
#   cmake [-DEMULATOR=<wine>] -DHOST=<brevor-host> -DMODULE=<module> -DWORK=<folder>
#         -P demo_command.cmake
# Output goes through files, not pipes: processes the emulator starts may outlive the program
# and would hold a pipe open.

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(
    COMMAND ${EMULATOR} "${HOST}" demo --module "${MODULE}" --show-channel --for 60
    WORKING_DIRECTORY "${WORK}"
    TIMEOUT 120
    RESULT_VARIABLE rc
    INPUT_FILE /dev/null
    OUTPUT_FILE "${WORK}/out.txt"
    ERROR_FILE "${WORK}/err.txt")
file(READ "${WORK}/out.txt" out)
file(READ "${WORK}/err.txt" err)
message(STATUS "exit ${rc}\n${out}${err}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "brevor-host demo ended with ${rc}")
endif()

# The sample files as the module decodes them: "#3B" is ";", "#0D#0A" a line break, "##" a "#".
# (One variable per text: they hold ";", the list separator.)
set(names station-1.txt station-2.txt escaped.txt)
set(text_0 "2026-12-10 10:00:00;temperature;21.5\\r\\n2026-12-10 10:01:00;temperature;21.6\\r\\n")
set(text_1 "2026-12-10 10:00:00;pressure;1013.2\\r\\n")
set(text_2 "level;42#7\\r\\nflow;3.5\\r\\n")
set(sizes 76 37 22)

# Each file is sent whole here (the chunks are larger than the files). (Only the chunks' heads
# are listed: their texts hold ";", the list separator.)
string(REGEX MATCHALL "chunk [0-9]+  source 1  [0-9]+ bytes" chunks "${out}")
list(LENGTH chunks chunkCount)
if(NOT chunkCount EQUAL 3)
    message(FATAL_ERROR "expected 3 chunks, got ${chunkCount}")
endif()
foreach(i RANGE 2)
    list(GET names ${i} name)
    set(text "${text_${i}}")
    list(GET sizes ${i} size)
    string(FIND "${out}" " ${size} bytes  text \"${text}\"" at)
    if(at LESS 0)
        message(FATAL_ERROR "${name}: its ${size} bytes were not sent as one chunk")
    endif()
    # Both outcomes of the file arrived as log lines sent to the window.
    foreach(outcome "file have been sent successfully \\(bytes: ${size}\\)" "file has been deleted")
        if(NOT out MATCHES "log   info     \\[window\\] Brevor\\. [^\n]*[\\/]${name}\" ${outcome}\n")
            message(FATAL_ERROR "${name}: no line \"${outcome}\" through the window")
        endif()
    endforeach()
    if(EXISTS "${WORK}/demo/data/${name}")
        message(FATAL_ERROR "${name} is still in the demo folder")
    endif()
endforeach()
if(NOT out MATCHES "received 3 chunks, 135 bytes\n")
    message(FATAL_ERROR "no closing count of 3 chunks and 135 bytes")
endif()

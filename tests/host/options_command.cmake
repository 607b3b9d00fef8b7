# Runs "brevor-host options" without a display and checks what it reports: one status line
# with a known status and its meaning, an exit code that agrees with it, no crash, no hang, and
# the settings file untouched unless the dialog reported changed settings.
# A build without a dialog renderer must say so: STATUS=3 then demands that status.
#   cmake [-DEMULATOR=<wine>] [-DSTATUS=<n>] -DHOST=<brevor-host> -DMODULE=<brevor.so>
#         -DWORK=<folder> -P options_command.cmake
# Output goes through files, not pipes: processes the emulator starts may outlive the program
# and would hold a pipe open.

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(ini "${WORK}/options.ini")
set(settings "[Test.General]\r\nScan interval=5\r\nFolder=${WORK}\r\n[Test.Mode1]\r\nActive=True\r\nFile=*.txt\r\n")
file(WRITE "${ini}" "${settings}")
file(SHA256 "${ini}" before)

execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
            ${EMULATOR} "${HOST}" options --module "${MODULE}" --ini "${ini}" --section-prefix Test
            --language EN
    WORKING_DIRECTORY "${WORK}"
    TIMEOUT 60
    RESULT_VARIABLE rc
    INPUT_FILE /dev/null
    OUTPUT_FILE "${WORK}/out.txt"
    ERROR_FILE "${WORK}/err.txt")
file(READ "${WORK}/out.txt" out)
file(READ "${WORK}/err.txt" err)
message(STATUS "exit ${rc}\n${out}${err}")

if(NOT rc MATCHES "^[0-9]+$")
    message(FATAL_ERROR "brevor-host options did not finish normally: ${rc}")
endif()
if(NOT out MATCHES "options dialog: status ([0-9]+) \\(([^)]*)\\)")
    message(FATAL_ERROR "no status line")
endif()
set(status ${CMAKE_MATCH_1})
set(meaning "${CMAKE_MATCH_2}")
set(meanings "closed without change" "settings changed" "no instance" "the module has no dialog"
    "stopped on an error")
# The instance was loaded, so "no instance" (2) is a fault.
if(NOT status MATCHES "^[0134]$")
    message(FATAL_ERROR "unexpected status ${status}")
endif()
if(DEFINED STATUS AND NOT status EQUAL STATUS)
    message(FATAL_ERROR "status ${status}, expected ${STATUS}")
endif()
list(GET meanings ${status} expected)
if(NOT meaning STREQUAL expected)
    message(FATAL_ERROR "status ${status} printed as \"${meaning}\", not \"${expected}\"")
endif()
if(status LESS 2)
    set(expectedRc 0)
else()
    set(expectedRc 1)
endif()
if(NOT rc EQUAL expectedRc)
    message(FATAL_ERROR "status ${status} but exit code ${rc}")
endif()
if(NOT status EQUAL 1)
    file(SHA256 "${ini}" after)
    if(NOT after STREQUAL before)
        file(READ "${ini}" text)
        message(FATAL_ERROR "the settings file changed although status ${status}:\n${text}")
    endif()
endif()

# Without --ini the command is refused with the usage text.
execute_process(COMMAND ${EMULATOR} "${HOST}" options --module "${MODULE}"
    WORKING_DIRECTORY "${WORK}" TIMEOUT 60 RESULT_VARIABLE rc INPUT_FILE /dev/null
    OUTPUT_FILE "${WORK}/usage-out.txt" ERROR_FILE "${WORK}/usage-err.txt")
file(READ "${WORK}/usage-err.txt" err)
if(NOT rc EQUAL 2 OR NOT err MATCHES "options --ini FILE")
    message(FATAL_ERROR "options without --ini: exit ${rc}\n${err}")
endif()

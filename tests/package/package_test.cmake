# Makes the Linux packages of the build tree, checks what the .deb holds and needs, unpacks the
# .tar.gz into a temporary prefix and runs the installed brevor-host demo from there: the host
# must find the installed module (not the build tree's) and feed the demo to the end.
#   cmake -DCPACK=<cpack> -DCONFIG=<CPackConfig.cmake> -DWORK=<folder> -DGTK=<ON|OFF>
#         -DMODULE_DIR=<module folder under the prefix> -DBIN_DIR=<bin> -DINCLUDE_DIR=<include>
#         -DDOC_DIR=<host authors' text folder> -P package_test.cmake

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK}" TIMEOUT 120
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "${command}: ${rc}\n${out}${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND "${CPACK}" -G "TGZ;DEB" --config "${CONFIG}" -B "${WORK}/packages"
    TIMEOUT 120 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack: ${rc}\n${out}${err}")
endif()
file(GLOB tgz "${WORK}/packages/*.tar.gz")
file(GLOB deb "${WORK}/packages/*.deb")
list(LENGTH tgz tgz_count)
list(LENGTH deb deb_count)
if(NOT tgz_count EQUAL 1 OR NOT deb_count EQUAL 1)
    message(FATAL_ERROR "expected one .tar.gz and one .deb, got: ${tgz} ${deb}")
endif()

# The .deb: the files beside the module, the header, the host link and the host authors' text;
# nothing of the tests, the benchmarks or the test-support library.
run(dpkg-deb -c "${deb}")
set(listing "${out}")
set(failures)
file(RELATIVE_PATH host_link "/${BIN_DIR}" "/${MODULE_DIR}/brevor-host")
set(entries brevor.so brevor.lng brevor-host brevor.help/index.html brevor.help/help.css)
foreach(context 20 30 41 42 43 44)
    list(APPEND entries brevor.help/${context}.html)
endforeach()
list(TRANSFORM entries PREPEND "./usr/${MODULE_DIR}/")
list(APPEND entries "./usr/${INCLUDE_DIR}/brevor/abi.h" "./usr/${DOC_DIR}/HOST-AUTHORS.md"
    "./usr/${BIN_DIR}/brevor-host -> ${host_link}")
foreach(entry IN LISTS entries)
    string(FIND "${listing}" " ${entry}\n" at)
    if(at EQUAL -1)
        list(APPEND failures "the .deb lacks ${entry}")
    endif()
endforeach()
if(listing MATCHES "(gtest|gmock|test|bench|fuzz|\\.a\n|\\.o\n|brevor_core|hostlib)")
    list(APPEND failures "the .deb holds ${CMAKE_MATCH_1}")
endif()
run(dpkg-deb -f "${deb}" Package Version Maintainer Depends)
set(fields "${out}")
foreach(field "Package: brevor" "Version: " "Maintainer: ." "Depends: .*libc6")
    if(NOT fields MATCHES "${field}")
        list(APPEND failures "the .deb's control has no \"${field}\"")
    endif()
endforeach()
if(GTK AND NOT fields MATCHES "Depends: .*libgtk-3-0")
    list(APPEND failures "the .deb does not depend on GTK 3")
endif()
if(failures)
    string(REPLACE ";" "\n  " failures "${failures}")
    message(FATAL_ERROR "${failures}\ncontrol:\n${fields}\nfiles:\n${listing}")
endif()

# The .tar.gz unpacked into a temporary prefix; the host is started through its link in bin/.
set(prefix "${WORK}/prefix")
file(MAKE_DIRECTORY "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xzf "${tgz}" WORKING_DIRECTORY "${prefix}"
    RESULT_VARIABLE rc)
file(GLOB top LIST_DIRECTORIES true "${prefix}/brevor-*")
if(NOT rc EQUAL 0 OR NOT IS_DIRECTORY "${top}")
    message(FATAL_ERROR "unpacking ${tgz} failed: ${rc}")
endif()
set(host "${top}/${BIN_DIR}/brevor-host")
if(NOT IS_SYMLINK "${host}")
    message(FATAL_ERROR "${host} is not a link")
endif()

run("${host}" info)
if(NOT out MATCHES "module: +${top}/${MODULE_DIR}/brevor.so\n")
    message(FATAL_ERROR "the installed host does not load the installed module:\n${out}")
endif()

file(MAKE_DIRECTORY "${WORK}/run")
execute_process(COMMAND "${host}" demo --for 20 WORKING_DIRECTORY "${WORK}/run" TIMEOUT 60
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message(STATUS "demo: exit ${rc}\n${out}${err}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the installed brevor-host demo failed: ${rc}")
endif()
file(GLOB left "${WORK}/run/demo/data/*")
if(left)
    message(FATAL_ERROR "the demo left files behind: ${left}")
endif()
# Three sample files, each one chunk or more, the escapes decoded.
if(NOT out MATCHES "received ([0-9]+) chunks" OR CMAKE_MATCH_1 LESS 3)
    message(FATAL_ERROR "the demo did not receive every file")
endif()
if(NOT out MATCHES "level;42#7")
    message(FATAL_ERROR "the demo's escaped file did not arrive decoded")
endif()

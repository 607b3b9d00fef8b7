# Makes the Windows zip of the build tree, unpacks it and checks what it holds: the module with
# its language file and compiled help, the reference host, the header and the host authors'
# text, nothing of the tests; the module stripped of its debug information and still exporting
# exactly the functions of the interface.
#   cmake -DCPACK=<cpack> -DCONFIG=<CPackConfig.cmake> -DWORK=<folder> -DCHM=<1|0>
#         -DOBJDUMP=<objdump> -DFORMAT=<pei-i386|pei-x86-64> -DCHECK_EXPORTS=<check_pe_exports.sh>
#         -DMODULE_DIR=<module folder under the prefix> -DINCLUDE_DIR=<include>
#         -DDOC_DIR=<host authors' text folder> -DHOST_AUTHORS=<its file name> -P zip_test.cmake

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/unpacked")

execute_process(COMMAND "${CPACK}" -G ZIP --config "${CONFIG}" -B "${WORK}/packages"
    TIMEOUT 120 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack: ${rc}\n${out}${err}")
endif()
file(GLOB zip "${WORK}/packages/*.zip")
list(LENGTH zip zip_count)
if(NOT zip_count EQUAL 1)
    message(FATAL_ERROR "expected one .zip, got: ${zip}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${zip}" WORKING_DIRECTORY "${WORK}/unpacked"
    RESULT_VARIABLE rc)
file(GLOB top LIST_DIRECTORIES true "${WORK}/unpacked/brevor-*")
if(NOT rc EQUAL 0 OR NOT IS_DIRECTORY "${top}")
    message(FATAL_ERROR "unpacking ${zip} failed: ${rc}")
endif()

set(failures)
set(entries "${MODULE_DIR}/brevor.dll" "${MODULE_DIR}/brevor.lng" "${MODULE_DIR}/brevor-host.exe"
    "${INCLUDE_DIR}/brevor/abi.h" "${DOC_DIR}/${HOST_AUTHORS}")
if(CHM)
    list(APPEND entries "${MODULE_DIR}/brevor.chm")
endif()
foreach(entry IN LISTS entries)
    if(NOT EXISTS "${top}/${entry}")
        list(APPEND failures "the zip lacks ${entry}")
    endif()
endforeach()
file(GLOB_RECURSE listing RELATIVE "${top}" "${top}/*")
foreach(entry IN LISTS listing)
    if(entry MATCHES "(gtest|gmock|test|bench|fuzz|\\.a$|\\.o$|\\.obj$|brevor_core|hostlib)")
        list(APPEND failures "the zip holds ${entry}")
    endif()
endforeach()

# The module as shipped: no debug sections, the interface's exports only.
set(module "${top}/${MODULE_DIR}/brevor.dll")
if(EXISTS "${module}")
    execute_process(COMMAND "${OBJDUMP}" -h "${module}" RESULT_VARIABLE rc OUTPUT_VARIABLE sections
        ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        list(APPEND failures "objdump -h brevor.dll: ${rc} ${err}")
    elseif(sections MATCHES "[ \t](\\.debug_[a-z_]*)")
        list(APPEND failures "the shipped brevor.dll keeps debug information (${CMAKE_MATCH_1})")
    endif()
    execute_process(COMMAND sh "${CHECK_EXPORTS}" "${OBJDUMP}" "${module}" "${FORMAT}"
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        list(APPEND failures "the shipped brevor.dll: ${out}${err}")
    endif()
endif()

if(failures)
    string(REPLACE ";" "\n  " failures "${failures}")
    string(REPLACE ";" "\n  " listing "${listing}")
    message(FATAL_ERROR "${failures}\nfiles:\n  ${listing}")
endif()
message(STATUS "${zip}: complete")

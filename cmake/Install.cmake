# What `cmake --install` puts where, and the packages CPack makes from it.
#
# The module finds its language file and its help beside its own file (brevor.lng, brevor.help/,
# brevor.chm on Windows), and brevor-host looks for brevor.so beside its own executable, so all
# of them share one folder: lib/brevor on Linux, bin on Windows. On Linux bin/brevor-host is a
# relative symbolic link to the host in that folder; the executable's real path is what the host
# starts from. Tests, benchmarks, fuzzers and the test-support library are never installed.

# The folders come from InstallDirs.cmake, included before the subdirectories (the tests name them).

# The module and what it reads beside itself.
install(TARGETS brevor
    LIBRARY DESTINATION ${BREVOR_INSTALL_MODULEDIR}
    RUNTIME DESTINATION ${BREVOR_INSTALL_MODULEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/src/brevor.lng DESTINATION ${BREVOR_INSTALL_MODULEDIR})
file(GLOB help_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/help/*.html
    ${PROJECT_SOURCE_DIR}/docs/help/*.css)
install(FILES ${help_files} DESTINATION ${BREVOR_INSTALL_MODULEDIR}/brevor.help)
# The overview answers help contexts without a page of their own.
install(FILES ${PROJECT_SOURCE_DIR}/docs/help/30.html DESTINATION ${BREVOR_INSTALL_MODULEDIR}/brevor.help
    RENAME index.html)

# The compiled help for Windows, from the same pages (chmcmd, Debian package fp-utils). Built for
# Windows targets when chmcmd is there; BREVOR_BUILD_CHM=ON builds it on any target.
find_program(BREVOR_CHMCMD chmcmd)
if(WIN32 AND BREVOR_CHMCMD)
    set(chm_default ON)
else()
    set(chm_default OFF)
endif()
option(BREVOR_BUILD_CHM "Build brevor.chm from docs/help (needs chmcmd)" ${chm_default})
if(BREVOR_BUILD_CHM)
    if(NOT BREVOR_CHMCMD)
        message(FATAL_ERROR "BREVOR_BUILD_CHM needs chmcmd (Debian package fp-utils)")
    endif()
    set(chm_dir ${CMAKE_BINARY_DIR}/chm)
    file(MAKE_DIRECTORY ${chm_dir})
    set(BREVOR_CHM ${CMAKE_BINARY_DIR}/bin/brevor.chm)
    add_custom_command(OUTPUT ${BREVOR_CHM}
        COMMAND ${CMAKE_COMMAND} -E copy ${help_files} ${PROJECT_SOURCE_DIR}/docs/help/brevor.hhp
                ${PROJECT_SOURCE_DIR}/docs/help/brevor.hhc ${chm_dir}
        COMMAND ${BREVOR_CHMCMD} --verbosity 0 brevor.hhp
        COMMAND ${CMAKE_COMMAND} -E copy ${chm_dir}/brevor.chm ${BREVOR_CHM}
        WORKING_DIRECTORY ${chm_dir}
        DEPENDS ${help_files} ${PROJECT_SOURCE_DIR}/docs/help/brevor.hhp
                ${PROJECT_SOURCE_DIR}/docs/help/brevor.hhc
        VERBATIM)
    add_custom_target(brevor_chm ALL DEPENDS ${BREVOR_CHM})
    install(FILES ${BREVOR_CHM} DESTINATION ${BREVOR_INSTALL_MODULEDIR})
elseif(WIN32)
    message(WARNING "chmcmd not found: the Windows install and zip have no brevor.chm")
endif()

# The header hosts compile against, and what host authors read first.
install(FILES ${PROJECT_SOURCE_DIR}/include/brevor/abi.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/brevor)
install(FILES ${PROJECT_SOURCE_DIR}/docs/HOST-AUTHORS.md DESTINATION ${BREVOR_INSTALL_DOCDIR}
    RENAME ${BREVOR_HOST_AUTHORS_NAME})

# The reference host, beside the module.
if(TARGET brevor-host)
    install(TARGETS brevor-host RUNTIME DESTINATION ${BREVOR_INSTALL_MODULEDIR})
    if(NOT WIN32 AND NOT BREVOR_INSTALL_MODULEDIR STREQUAL CMAKE_INSTALL_BINDIR)
        # The prefix is known only when installing (cmake --install --prefix, CPack's staging).
        install(CODE "
            set(prefix \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
            cmake_path(ABSOLUTE_PATH prefix NORMALIZE)
            set(bin_dir \"${CMAKE_INSTALL_BINDIR}\")
            set(host \"${BREVOR_INSTALL_MODULEDIR}/brevor-host\")
            cmake_path(ABSOLUTE_PATH bin_dir BASE_DIRECTORY \"\${prefix}\" NORMALIZE)
            cmake_path(ABSOLUTE_PATH host BASE_DIRECTORY \"\${prefix}\" NORMALIZE)
            file(RELATIVE_PATH target \"\${bin_dir}\" \"\${host}\")
            file(MAKE_DIRECTORY \"\${bin_dir}\")
            message(STATUS \"Installing: \${bin_dir}/brevor-host -> \${target}\")
            file(CREATE_LINK \"\${target}\" \"\${bin_dir}/brevor-host\" SYMBOLIC)
            list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${bin_dir}/brevor-host\")
        ")
    endif()
endif()

# Debug information stays out of the installed files, the symbol table stays in: the module's
# crash texts name functions from it.
if(CMAKE_STRIP AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(stripped $<TARGET_FILE_NAME:brevor>)
    if(TARGET brevor-host)
        list(APPEND stripped $<TARGET_FILE_NAME:brevor-host>)
    endif()
    install(CODE "
        foreach(name IN ITEMS ${stripped})
            set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${BREVOR_INSTALL_MODULEDIR}/\${name}\")
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug \"\${file}\"
                RESULT_VARIABLE rc)
            if(NOT rc EQUAL 0)
                message(FATAL_ERROR \"strip --strip-debug \${file} failed: \${rc}\")
            endif()
        endforeach()
    ")
endif()

# Packages: .tar.gz and .deb on Linux, a zip on Windows.
set(CPACK_PACKAGE_NAME brevor)
set(CPACK_PACKAGE_VENDOR "Brevor")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Plug-in module for data-logging hosts that feeds the files of a folder to the host")
set(CPACK_PACKAGE_DESCRIPTION
    "Each module instance watches one folder and hands the files it finds there to its host, chunk by chunk, through the host's fSendData function. The package holds the module with its language file and help, the C header hosts compile against, the reference host brevor-host, and a short text for host authors.")
set(BREVOR_PACKAGE_MAINTAINER "Brevor maintainers <brevor@localhost>" CACHE STRING
    "Maintainer named in the packages")
set(CPACK_PACKAGE_CONTACT ${BREVOR_PACKAGE_MAINTAINER})
set(CPACK_SOURCE_IGNORE_FILES "/build/;/\\\\.git/")
if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(system_name win32)
    else()
        set(system_name win64)
    endif()
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME brevor-${PROJECT_VERSION}-${system_name})
else()
    set(CPACK_GENERATOR TGZ DEB)
    set(CPACK_PACKAGE_FILE_NAME brevor-${PROJECT_VERSION}-Linux-${CMAKE_SYSTEM_PROCESSOR})
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION misc)
    # Dependencies from what the module and the host really link (dpkg-shlibdeps, Debian
    # package dpkg-dev); without it, the libraries they link on Debian 12, unversioned.
    find_program(BREVOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(BREVOR_DPKG_SHLIBDEPS)
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    else()
        set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
        if(BREVOR_HAVE_GTK)
            string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
                ", libgtk-3-0, libglib2.0-0, libpango-1.0-0, libpangocairo-1.0-0")
        endif()
        message(STATUS "dpkg-shlibdeps not found: the .deb's dependencies are a fixed list")
    endif()
    # The dialog opens help pages with xdg-open.
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS xdg-utils)
endif()
include(CPack)

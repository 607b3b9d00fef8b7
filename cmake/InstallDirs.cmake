# The install folders, relative to the prefix. Included before the subdirectories: the package
# test names them, and Install.cmake installs into them.

include(GNUInstallDirs)

if(WIN32)
    set(default_module_dir ${CMAKE_INSTALL_BINDIR})
    set(BREVOR_HOST_AUTHORS_NAME HOST-AUTHORS.txt)
    set(default_doc_dir .)
else()
    set(default_module_dir ${CMAKE_INSTALL_LIBDIR}/brevor)
    set(BREVOR_HOST_AUTHORS_NAME HOST-AUTHORS.md)
    set(default_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/brevor)
endif()
set(BREVOR_INSTALL_MODULEDIR ${default_module_dir} CACHE STRING
    "Folder (relative to the prefix) of the module, its language file, its help and the host")
set(BREVOR_INSTALL_DOCDIR ${default_doc_dir} CACHE STRING
    "Folder (relative to the prefix) of the text for host authors")

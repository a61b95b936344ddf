# The Windows archive: dwl-gui.exe (the operator's window) and dwl.exe at its top, their data
# folder beside them, and a short text on how to use them. Made by cpack -G ZIP in the build folder (./dwl.sh windows copies it to dist/).
foreach(program dwl dwl-gui)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION .)
    endif()
endforeach()

file(GLOB dwl_samples ${CMAKE_SOURCE_DIR}/examples/sample.*)
install(FILES ${CMAKE_SOURCE_DIR}/examples/flash.txt ${CMAKE_SOURCE_DIR}/examples/dwl87.spm
    ${CMAKE_SOURCE_DIR}/examples/dwl88.spm ${dwl_samples}
    ${CMAKE_SOURCE_DIR}/ui/mmi.uir ${CMAKE_SOURCE_DIR}/ui/Utility.uir
    DESTINATION data)
install(FILES ${CMAKE_SOURCE_DIR}/examples/README.md DESTINATION data RENAME README.samples.md)
# Notepad and cmd's type want CR LF.
configure_file(${CMAKE_SOURCE_DIR}/packaging/dwl-windows.txt ${CMAKE_BINARY_DIR}/README.txt
    @ONLY NEWLINE_STYLE WIN32)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)

# Our licence, and the notices of the libraries linked into the programs (CLI11 and
# nlohmann-json as headers, MinGW-w64's runtime and winpthreads statically), taken from the
# build machine's Debian copyright files of those packages, and SQLite's.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE.txt dwl_licence)
set(dwl_notices "Code of other authors in dwl.exe and dwl-gui.exe and their licences.\n")
foreach(package libcli11-dev nlohmann-json3-dev mingw-w64-x86-64-dev)
    set(copyright /usr/share/doc/${package}/copyright)
    if(NOT EXISTS ${copyright})
        message(FATAL_ERROR "${copyright} is missing: the archive's notices need it")
    endif()
    file(READ ${copyright} text)
    string(APPEND dwl_notices "\n==== ${package} (Debian's copyright file) ====\n\n${text}")
endforeach()
# SQLite, compiled in from its amalgamation (cmake/sqlite-amalgamation.cmake): public domain, its
# notice the blessing at the head of sqlite3.h.
if(DWL_SQLITE_AMALGAMATION)
    file(STRINGS ${DWL_SQLITE_AMALGAMATION}/sqlite3.h sqlite_head LIMIT_COUNT 10)
    list(JOIN sqlite_head "\n" sqlite_head)
    string(APPEND dwl_notices "\n==== SQLite ${DWL_SQLITE_VERSION} (sqlite3.c, sqlite3.h: "
        "public domain) ====\n\n${sqlite_head}\n\nSQLite is in the public domain "
        "(https://sqlite.org/copyright.html); the copy in dwl.exe comes from the npm package "
        "better-sqlite3 (deps/sqlite3/).\n")
endif()
# CR LF, as README.txt.
foreach(name licence notices)
    string(REPLACE "\r\n" "\n" dwl_${name} "${dwl_${name}}")
    string(REPLACE "\n" "\r\n" dwl_${name} "${dwl_${name}}")
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/LICENSE.txt "${dwl_licence}")
file(WRITE ${CMAKE_BINARY_DIR}/NOTICES.txt "${dwl_notices}")
install(FILES ${CMAKE_BINARY_DIR}/LICENSE.txt ${CMAKE_BINARY_DIR}/NOTICES.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME dwl)
set(CPACK_PACKAGE_VERSION ${DWL_VERSION_STRING})
set(CPACK_PACKAGE_FILE_NAME dwl-${DWL_VERSION_STRING}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

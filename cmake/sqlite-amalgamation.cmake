# SQLite for a Windows cross build: SQLite's own amalgamation (sqlite3.c, sqlite3.h; public
# domain), which ./dwl.sh windows fetches from the npm registry (better-sqlite3, deps/sqlite3/)
# and checks by its SHA-256 into build-windows/third_party/sqlite3. It is compiled here as C, as
# the code of others: its warnings are shown, never made errors. The Linux build links Debian's
# libsqlite3 instead.
set(DWL_SQLITE_AMALGAMATION ${CMAKE_BINARY_DIR}/third_party/sqlite3 CACHE PATH
    "The folder holding SQLite's sqlite3.c and sqlite3.h")
if(NOT EXISTS ${DWL_SQLITE_AMALGAMATION}/sqlite3.c OR
   NOT EXISTS ${DWL_SQLITE_AMALGAMATION}/sqlite3.h)
    message(FATAL_ERROR "No SQLite amalgamation in ${DWL_SQLITE_AMALGAMATION}: ./dwl.sh windows "
        "fetches it (or give DWL_SQLITE_AMALGAMATION)")
endif()
enable_language(C)
add_library(dwl_sqlite3 STATIC ${DWL_SQLITE_AMALGAMATION}/sqlite3.c)
target_include_directories(dwl_sqlite3 SYSTEM PUBLIC ${DWL_SQLITE_AMALGAMATION})
# No loadable extensions (the programs load none); double-quoted strings are not identifiers.
target_compile_definitions(dwl_sqlite3 PRIVATE SQLITE_OMIT_LOAD_EXTENSION=1 SQLITE_DQS=0
    SQLITE_THREADSAFE=1)
target_compile_options(dwl_sqlite3 PRIVATE -Wno-error -Wno-extra)
add_library(SQLite::SQLite3 ALIAS dwl_sqlite3)

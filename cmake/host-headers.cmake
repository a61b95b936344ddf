# The header-only libraries of a cross build, nlohmann-json and CLI11, taken from the build
# machine (Debian's nlohmann-json3-dev and libcli11-dev): their own folders only, linked into a
# folder of the build tree, so that the target's compiler never sees the build machine's
# /usr/include with its C library.
set(dwl_host_include /usr/include CACHE PATH "Where the build machine keeps nlohmann/ and CLI/")
set(dwl_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${dwl_host_headers})
foreach(folder nlohmann CLI)
    if(NOT EXISTS ${dwl_host_include}/${folder})
        message(FATAL_ERROR "${dwl_host_include}/${folder} is missing: install nlohmann-json3-dev "
            "and libcli11-dev")
    endif()
    file(CREATE_LINK ${dwl_host_include}/${folder} ${dwl_host_headers}/${folder} SYMBOLIC)
endforeach()
include_directories(SYSTEM ${dwl_host_headers})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)

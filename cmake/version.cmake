# The version the programs print and the package carries: the project's version, and when the
# source is a git checkout, what `git describe` says of it (read when the build is configured).
#
#   1.0                    a copy without git, or the commit of a tag v1.0
#   1.0+3.g1a2b3c4         3 commits after the last tag v*
#   1.0+61.g1a2b3c4        no tag yet: commits in all, and the commit
#
# All of them are valid Debian versions and sort in the order the commits were made on a branch.
set(DWL_VERSION_STRING ${PROJECT_VERSION})
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --match "v[0-9]*" --long
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE dwl_describe
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE dwl_describe_rc)
    if(dwl_describe_rc EQUAL 0 AND dwl_describe MATCHES "-([0-9]+)-g([0-9a-f]+)$")
        if(NOT CMAKE_MATCH_1 EQUAL 0)
            set(DWL_VERSION_STRING "${PROJECT_VERSION}+${CMAKE_MATCH_1}.g${CMAKE_MATCH_2}")
        endif()
    else()
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE dwl_count
            OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE dwl_count_rc)
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE dwl_commit
            OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE dwl_commit_rc)
        if(dwl_count_rc EQUAL 0 AND dwl_commit_rc EQUAL 0 AND dwl_commit MATCHES "^[0-9a-f]+$")
            set(DWL_VERSION_STRING "${PROJECT_VERSION}+${dwl_count}.g${dwl_commit}")
        endif()
    endif()
    # A new commit configures again, so that the version follows it.
    foreach(ref HEAD logs/HEAD)
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${ref}
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE dwl_ref_file
            OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(dwl_ref_file)
            get_filename_component(dwl_ref_file ${dwl_ref_file} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
            if(EXISTS ${dwl_ref_file})
                set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${dwl_ref_file})
            endif()
        endif()
    endforeach()
endif()
message(STATUS "dwl version ${DWL_VERSION_STRING}")

# One header for every program: #include "dwl_version.h" gives DWL_VERSION.
configure_file(${CMAKE_SOURCE_DIR}/app/version.h.in ${CMAKE_BINARY_DIR}/generated/dwl_version.h
    @ONLY)
add_library(dwl_version INTERFACE)
target_include_directories(dwl_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

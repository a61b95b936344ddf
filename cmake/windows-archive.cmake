# The Windows archive: dwl.exe at its top, its data folder beside it, and a short text on how to
# use it. Made by cpack -G ZIP in the build folder (./dwl.sh windows copies it to dist/).
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

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME dwl)
set(CPACK_PACKAGE_VERSION ${DWL_VERSION_STRING})
set(CPACK_PACKAGE_FILE_NAME dwl-${DWL_VERSION_STRING}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

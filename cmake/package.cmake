# Installation in the usual places, and the Debian package (./dwl.sh package: cpack -G DEB).
#   bin/                         dwl, dwl-gui, dwl-handset-sim
#   share/dwl/                   flash.txt, the handset programs, the samples, the layout files
#   share/man/man1/              dwl.1.gz, dwl-gui.1.gz, dwl-handset-sim.1.gz
#   share/applications/          dwl-gui.desktop ("Open with" for .bin, .ogm and .tfs images)
#   share/mime/packages/         dwl.xml, the types of those images
#   share/icons/hicolor/scalable/apps/dwl-gui.svg
# The programs find share/dwl from where they run (link/dwl12datafiles.h).
#
# On Windows instead the archive dist/dwl-<version>-win64.zip (./dwl.sh windows: cpack -G ZIP):
#   dwl-<version>-win64/dwl.exe, README.txt (how to use it, CR LF), LICENSE.txt, NOTICES.txt
#   dwl-<version>-win64/data/    flash.txt, the handset programs, the samples, the layout files
# dwl.exe finds data beside itself (link/dwl12datafiles.h).
if(WIN32)
    include(cmake/windows-archive.cmake)
    return()
endif()
include(GNUInstallDirs)

foreach(program dwl dwl-gui dwl-handset-sim)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

file(GLOB dwl_samples ${CMAKE_SOURCE_DIR}/examples/sample.*)
install(FILES ${CMAKE_SOURCE_DIR}/examples/flash.txt ${CMAKE_SOURCE_DIR}/examples/dwl87.spm
    ${CMAKE_SOURCE_DIR}/examples/dwl88.spm ${dwl_samples}
    ${CMAKE_SOURCE_DIR}/ui/mmi.uir ${CMAKE_SOURCE_DIR}/ui/Utility.uir
    DESTINATION ${CMAKE_INSTALL_DATADIR}/dwl)
install(FILES ${CMAKE_SOURCE_DIR}/examples/README.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME README.samples.md)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE.txt DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

if(TARGET dwl-gui)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/dwl-gui.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/dwl-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME dwl.xml)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/dwl-gui.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Man pages: dwl and dwl-handset-sim from their --help, dwl-gui written by hand.
find_program(HELP2MAN help2man)
set(dwl_man_dir ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${dwl_man_dir})
set(dwl_man_pages)
# (Not from a sanitizer build: its programs are for the tests, and they would speak in the pages.)
if(HELP2MAN AND NOT CMAKE_CROSSCOMPILING AND NOT DWL_SANITIZE)
    set(dwl_subcommands_dwl check flash boot format sim demo)
    set(dwl_subcommands_dwl-handset-sim)
    set(dwl_name_dwl "write software into the flash of PCF5087 GSM handsets over RS-232")
    set(dwl_name_dwl-handset-sim "emulated PCF5087 GSM handset on a pseudo-terminal")
    foreach(program dwl dwl-handset-sim)
        if(NOT TARGET ${program})
            continue()
        endif()
        set(page ${dwl_man_dir}/${program}.1.gz)
        add_custom_command(OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}>
                "-DNAME=${dwl_name_${program}}"
                -DINCLUDE=${CMAKE_SOURCE_DIR}/packaging/${program}.h2m
                "-DSUBCOMMANDS=${dwl_subcommands_${program}}" -DOUTPUT=${page}
                -DHELP2MAN=${HELP2MAN} -DWORKDIR=${dwl_man_dir}
                -P ${CMAKE_SOURCE_DIR}/cmake/man-page.cmake
            DEPENDS ${program} ${CMAKE_SOURCE_DIR}/packaging/${program}.h2m
                ${CMAKE_SOURCE_DIR}/cmake/man-page.cmake
            COMMENT "Man page of ${program}" VERBATIM)
        list(APPEND dwl_man_pages ${page})
    endforeach()
else()
    message(STATUS "no man pages for dwl and dwl-handset-sim (no help2man, a cross build or a "
        "sanitizer build)")
endif()
if(TARGET dwl-gui)
    set(page ${dwl_man_dir}/dwl-gui.1.gz)
    add_custom_command(OUTPUT ${page}
        COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/dwl-gui.1 > ${page}
        DEPENDS ${CMAKE_SOURCE_DIR}/packaging/dwl-gui.1 COMMENT "Man page of dwl-gui")
    list(APPEND dwl_man_pages ${page})
endif()
if(dwl_man_pages)
    add_custom_target(man-pages ALL DEPENDS ${dwl_man_pages})
    install(FILES ${dwl_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The Debian package: dwl_<version>_<arch>.deb in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dwl)
set(CPACK_PACKAGE_VERSION ${DWL_VERSION_STRING})
set(CPACK_PACKAGE_VENDOR "dwl")
set(CPACK_PACKAGE_CONTACT "dwl maintainers <dwl@localhost>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "service tool that flashes PCF5087 GSM handsets over RS-232")
# The long description; CPack puts the summary above it and formats the lines for Debian.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "dwl writes software images (binary, ogm and TFS ogm images) into the flash of
GSM handsets built on the PCF5087 baseband family, over an RS-232 cable.

This package holds the command line dwl, the bench operator's Qt program
dwl-gui, and dwl-handset-sim, an emulated handset on a pseudo-terminal for
trying the tool and testing a bench without a handset.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Qt platform plugins that show dwl-gui's windows.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")
include(CPack)

# What `cmake --install` and the packages put in place: the programs, and on the freedesktop
# platforms their desktop entry, icons, AppStream metainfo, man pages and copyright file; on
# Windows what Windows.cmake says. The tests, the bench and the screenshot tool have no install
# rules and must never get any: CPack ships whatever is installed.
include(GNUInstallDirs)

set(orva_programs orva-control virtual-projector)
if(TARGET orva)
    list(APPEND orva_programs orva)
endif()

if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/Windows.cmake)
else()
    install(TARGETS ${orva_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

    set(orva_packaging ${PROJECT_SOURCE_DIR}/packaging)
    set(orva_generated ${PROJECT_BINARY_DIR}/packaging)

    # The metainfo is named after its component id, which the file itself holds.
    file(STRINGS ${orva_packaging}/orva-control.metainfo.xml orva_id_line REGEX "<id>")
    string(REGEX REPLACE ".*<id>(.*)</id>.*" "\\1" ORVA_APPSTREAM_ID "${orva_id_line}")
    set(orva_metainfo ${orva_generated}/${ORVA_APPSTREAM_ID}.metainfo.xml)
    configure_file(${orva_packaging}/orva-control.metainfo.xml ${orva_metainfo} @ONLY)

    install(FILES ${orva_packaging}/orva-control.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${orva_packaging}/icons/orva-control.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 48 256)
        install(FILES ${orva_packaging}/icons/orva-control-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME orva-control.png)
    endforeach()
    install(FILES ${orva_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # A man page for each installed program, compressed as Debian's policy asks; -n leaves out
    # the name and time, so the same page gives the same bytes.
    find_program(GZIP_EXECUTABLE gzip REQUIRED)
    foreach(program IN LISTS orva_programs)
        set(page ${orva_generated}/man/${program}.1)
        configure_file(${orva_packaging}/man/${program}.1 ${page} @ONLY)
        execute_process(COMMAND ${GZIP_EXECUTABLE} -9nkf ${page} COMMAND_ERROR_IS_FATAL ANY)
        install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endforeach()

    install(FILES ${orva_packaging}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The packages: cmake --build build --target package. Windows.cmake has the Windows ones' own.
set(CPACK_PACKAGE_NAME orva-control)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ORVA control panel developers")
set(ORVA_PACKAGE_CONTACT "ORVA control panel maintainers <maintainers@orva-control.invalid>"
    CACHE STRING "Maintainer of the Debian package, as \"Name <address>\"")
set(CPACK_PACKAGE_CONTACT "${ORVA_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "control panel for a video projector on its RS-232C port")
# Lines of at most 79 characters, for 80-column terminals.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A panel of buttons with which an installer or service technician operates
one video projector through its RS-232C control port. It echoes what was sent
and received and turns the answers to the status reads into words.
.
Also in the package: a virtual projector that plays the projector's side of
the line, for learning the panel and checking cables without a projector.")
if(TARGET orva)
    string(APPEND CPACK_DEBIAN_PACKAGE_DESCRIPTION "
And orva, the panel's command-line companion, which sends commands and reads
the status from scripts, scheduled jobs and monitoring.")
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build/" "/build-[^/]*/")
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR DEB)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageTools.cmake)
# The panel's captions are laid out for this face's metrics.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-ipafont-gothic)
include(CPack)

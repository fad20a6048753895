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

if(NOT WIN32)
    # Debian's policy asks every package for a changelog; one entry for the release, dated as
    # in an email (RFC 2822). The weekday by Zeller's congruence, which CMake lacks.
    string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" orva_date "${ORVA_RELEASE_DATE}")
    set(orva_year ${CMAKE_MATCH_1})
    math(EXPR orva_month "${CMAKE_MATCH_2}")
    math(EXPR orva_day "${CMAKE_MATCH_3}")
    set(orva_z_month ${orva_month})
    set(orva_z_year ${orva_year})
    if(orva_month LESS 3)
        math(EXPR orva_z_month "${orva_month} + 12")
        math(EXPR orva_z_year "${orva_year} - 1")
    endif()
    math(EXPR orva_weekday "(${orva_day} + (13 * (${orva_z_month} + 1)) / 5 + ${orva_z_year} \
        + ${orva_z_year} / 4 - ${orva_z_year} / 100 + ${orva_z_year} / 400) % 7")
    set(orva_weekdays Sat Sun Mon Tue Wed Thu Fri)
    list(GET orva_weekdays ${orva_weekday} orva_weekday_name)
    set(orva_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    math(EXPR orva_month_index "${orva_month} - 1")
    list(GET orva_months ${orva_month_index} orva_month_name)
    set(ORVA_RELEASE_DATE_RFC2822
        "${orva_weekday_name}, ${CMAKE_MATCH_3} ${orva_month_name} ${orva_year} 00:00:00 +0000")
    configure_file(${orva_packaging}/changelog.in ${orva_generated}/changelog @ONLY)
    execute_process(COMMAND ${GZIP_EXECUTABLE} -9nkf ${orva_generated}/changelog
                    COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${orva_generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
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
# The platform plugin that draws the panel is loaded at run time, so dpkg-shlibdeps cannot see
# it; its package may be only a Recommends of Qt's own (qt6-qpa-plugins), which a system
# installed without recommended packages lacks. Depend on whichever package holds it here,
# unless that is Qt's Gui library package, which dpkg-shlibdeps names already.
function(orva_owner_package target result)
    set(${result} "" PARENT_SCOPE)
    find_program(DPKG_EXECUTABLE dpkg)
    get_target_property(file ${target} IMPORTED_LOCATION_NONE)
    if(NOT DPKG_EXECUTABLE OR NOT file)
        return()
    endif()
    execute_process(COMMAND ${DPKG_EXECUTABLE} -S ${file} OUTPUT_VARIABLE owner
                    RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0)
        string(REGEX REPLACE "^([^:, ]+).*" "\\1" owner "${owner}")
        set(${result} ${owner} PARENT_SCOPE)
    endif()
endfunction()
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND TARGET Qt6::QXcbIntegrationPlugin)
    orva_owner_package(Qt6::QXcbIntegrationPlugin orva_plugin_package)
    orva_owner_package(Qt6::Gui orva_gui_package)
    if(orva_plugin_package AND NOT orva_plugin_package STREQUAL orva_gui_package)
        set(CPACK_DEBIAN_PACKAGE_DEPENDS ${orva_plugin_package})
    endif()
endif()
include(CPack)

# What `cmake --install`, the zip and the installer put on a Windows machine, all in one folder:
# Windows looks for a program's DLLs beside it and Qt for its plugins in folders beside it, so the
# folder runs from wherever it is unpacked. Included from Install.cmake, which has the program
# list. Made and checked here by the MinGW-w64 cross build (tests/install/check-zip and
# check-installer, under Wine). A native build with Qt's own packages takes the same rules;
# untested: MinGW there (its runtime found beside the compiler), and all of MSVC (its runtime from
# InstallRequiredSystemLibraries, debug DLLs through the imported targets).
install(TARGETS ${orva_programs} RUNTIME DESTINATION .)

# What windeployqt picks for a Widgets + Network + SerialPort program (windeployqt belongs to
# qttools, which a Qt built for cross-compiling may lack): the modules' DLLs and these plugins,
# each into the folder of its type. Left out as windeployqt leaves them: the offscreen, minimal
# and direct2d platforms. The imported targets give each configuration's own files.
set(orva_qt_modules Core Gui Widgets Network SerialPort)
set(orva_qt_plugins QWindowsIntegrationPlugin QWindowsVistaStylePlugin QGifPlugin QICOPlugin
                    QJpegPlugin QTuioTouchPlugin QSchannelBackendPlugin QTlsBackendCertOnlyPlugin)
set(orva_dlls)
foreach(module IN LISTS orva_qt_modules)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
    list(APPEND orva_dlls $<TARGET_FILE_NAME:Qt6::${module}>)
endforeach()
foreach(plugin IN LISTS orva_qt_plugins)
    if(NOT TARGET Qt6::${plugin})
        message(WARNING "This Qt has no ${plugin}: the Windows packages go without it")
        continue()
    endif()
    get_target_property(type Qt6::${plugin} QT_PLUGIN_TYPE)
    install(FILES $<TARGET_FILE:Qt6::${plugin}> DESTINATION ${type})
    list(APPEND orva_dlls ${type}/$<TARGET_FILE_NAME:Qt6::${plugin}>)
endforeach()

if(MINGW)
    if(NOT DEFINED ORVA_MINGW_RUNTIME)
        include(${CMAKE_CURRENT_LIST_DIR}/MinGWRuntime.cmake)
    endif()
    install(FILES ${ORVA_MINGW_RUNTIME} DESTINATION .)
    foreach(dll IN LISTS ORVA_MINGW_RUNTIME)
        get_filename_component(name ${dll} NAME)
        list(APPEND orva_dlls ${name})
    endforeach()
    # Debian's MinGW runtime and a Qt built here keep their symbols (libstdc++-6.dll: 23.7 MB,
    # 1.9 MB without): a stripped install (CPack's, --strip) strips these DLLs as it strips the
    # programs.
    if(CMAKE_STRIP)
        foreach(file IN LISTS orva_dlls)
            install(CODE "if(CMAKE_INSTALL_DO_STRIP)
                execute_process(COMMAND \"${CMAKE_STRIP}\"
                                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${file}\"
                                COMMAND_ERROR_IS_FATAL ANY)
            endif()")
        endforeach()
    endif()
    # winpthreads' licence asks that its notice go with the DLL; GCC's runtime has its exception.
    set(ORVA_MINGW_LICENSE /usr/share/doc/mingw-w64-x86-64-dev/copyright CACHE FILEPATH
        "Licence text of MinGW-w64's runtime (libwinpthread-1.dll)")
    set(ORVA_GCC_RUNTIME_LICENSE /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright
        CACHE FILEPATH "Licence text of GCC's runtime (libgcc_s_seh-1.dll, libstdc++-6.dll)")
    if(EXISTS "${ORVA_MINGW_LICENSE}" AND EXISTS "${ORVA_GCC_RUNTIME_LICENSE}")
        install(FILES ${ORVA_MINGW_LICENSE} DESTINATION licenses/MinGW-w64 RENAME mingw-w64.txt)
        install(FILES ${ORVA_GCC_RUNTIME_LICENSE} DESTINATION licenses/MinGW-w64
                RENAME gcc-runtime.txt)
    else()
        message(WARNING "No ${ORVA_MINGW_LICENSE} or ${ORVA_GCC_RUNTIME_LICENSE}: the Windows "
                        "packages go without the MinGW-w64 runtime's licence texts. Set "
                        "ORVA_MINGW_LICENSE and ORVA_GCC_RUNTIME_LICENSE.")
    endif()
elseif(MSVC)
    set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
    include(InstallRequiredSystemLibraries)
endif()

# IPAPGothic, for machines without "MS PGothic": the captions are laid out for its metrics, and
# the panel loads fonts/ipagp.ttf from beside itself when neither face is installed. The build
# folder gets a copy too, for the tests run there. Its licence asks that it go with the font.
set(ORVA_BUNDLED_FONT /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf CACHE FILEPATH
    "IPAPGothic (ipagp.ttf) for the Windows packages; Debian's fonts-ipafont-gothic has it")
set(ORVA_BUNDLED_FONT_LICENSE /usr/share/doc/fonts-ipafont-gothic/copyright CACHE FILEPATH
    "The IPA Font License text that goes with ORVA_BUNDLED_FONT")
if(EXISTS "${ORVA_BUNDLED_FONT}" AND EXISTS "${ORVA_BUNDLED_FONT_LICENSE}")
    configure_file(${ORVA_BUNDLED_FONT} ${CMAKE_BINARY_DIR}/fonts/ipagp.ttf COPYONLY)
    install(FILES ${CMAKE_BINARY_DIR}/fonts/ipagp.ttf DESTINATION fonts)
    install(FILES ${ORVA_BUNDLED_FONT_LICENSE} DESTINATION licenses RENAME IPA-Font-License.txt)
else()
    message(WARNING "No ${ORVA_BUNDLED_FONT} with its licence ${ORVA_BUNDLED_FONT_LICENSE}: the "
                    "Windows packages go without the font, and on a Windows machine without "
                    "Japanese fonts the captions may not fit their buttons. Set "
                    "ORVA_BUNDLED_FONT and ORVA_BUNDLED_FONT_LICENSE.")
endif()

set(ORVA_QT_LICENSES ${QT6_INSTALL_PREFIX}/LICENSES CACHE PATH
    "Folder of the licence texts of the Qt the Windows packages carry")
if(IS_DIRECTORY "${ORVA_QT_LICENSES}")
    install(DIRECTORY ${ORVA_QT_LICENSES}/ DESTINATION licenses/Qt)
else()
    message(WARNING "No ${ORVA_QT_LICENSES}: the Windows packages go without Qt's licence "
                    "texts. Set ORVA_QT_LICENSES.")
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION licenses
        RENAME orva-control.txt)

# The packages: cmake --build build-windows --target package makes both, named with the version
# and win64, into the build folder.
set(CPACK_GENERATOR ZIP)
find_program(ORVA_MAKENSIS makensis PATHS "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NSIS]"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\NSIS]")
if(ORVA_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
else()
    message(WARNING "makensis not found: the package target makes the zip only, no installer "
                    "(Debian: apt-get install nsis; Windows: NSIS from nsis.sourceforge.io)")
endif()
set(CPACK_NSIS_EXECUTABLE ${ORVA_MAKENSIS})

# The installer: one folder under Program Files for every version, so an upgrade replaces the
# old one (whose uninstaller it runs first) and the PATH keeps one entry.
set(orva_nsis_script ${PROJECT_BINARY_DIR}/packaging/orva.nsh)
set(CPACK_PACKAGE_INSTALL_DIRECTORY ORVA)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ORVA)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "ORVA control panel")
set(CPACK_NSIS_DISPLAY_NAME "ORVA control panel")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/packaging/icons/orva-control.ico)
set(CPACK_NSIS_MUI_UNIICON ${CPACK_NSIS_MUI_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME orva-control.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The sources state no licence yet: no page asks to agree to one (the texts are in licenses\).
# CMake 3.22 and later read this; older ones show CPack's placeholder licence.
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
# CPack's own PATH option adds $INSTDIR\bin, asks on a page that defaults to "do not add", shows
# a message box that a silent install would wait on, and can cut a PATH longer than NSIS's
# strings (1024 characters). orva.nsh adds the install folder instead, only when the whole PATH
# fits, and takes out at uninstall exactly what it added. The shortcut is made there too, as
# CPack's own would point into bin\.
set(CPACK_NSIS_MODIFY_PATH OFF)
# CPack fills this in itself only for an installer of components, which this one is not.
set(CPACK_NSIS_DEFINES "!include '${orva_nsis_script}'")
set(CPACK_NSIS_CREATE_ICONS_EXTRA "!insertmacro OrvaCreateShortcut")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "!insertmacro OrvaDeleteShortcut")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "Call OrvaAddToPath")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "Call un.OrvaRemoveFromPath")
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/orva.nsh.in ${orva_nsis_script} @ONLY)

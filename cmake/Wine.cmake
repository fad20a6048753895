# Cross-built for Windows on a POSIX machine: CTest runs every Windows program under Wine through
# <build>/wine-run, in a prefix of the build's own. Included before any target is made, since
# targets take the emulator when they are created.
find_program(ORVA_WINE wine)
if(NOT ORVA_WINE)
    message(WARNING "wine not found: the Windows tests cannot run here")
endif()

# The DLLs a program of this build needs, where they are: Qt's and MinGW's runtime.
include(${CMAKE_CURRENT_LIST_DIR}/MinGWRuntime.cmake)
set(dirs "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")
foreach(dll IN LISTS ORVA_MINGW_RUNTIME)
    get_filename_component(dir "${dll}" DIRECTORY)
    list(APPEND dirs ${dir})
endforeach()
list(REMOVE_DUPLICATES dirs)
set(ORVA_WINEPATH)
foreach(dir IN LISTS dirs)
    string(REPLACE "/" "\\\\" dir "Z:${dir}")
    list(APPEND ORVA_WINEPATH "${dir}")
endforeach()
list(JOIN ORVA_WINEPATH ";" ORVA_WINEPATH)

set(ORVA_HOST_BUILD "" CACHE PATH
    "A Linux build of this project: its virtual projector and orva are the Windows tests' peers")

set(ORVA_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
set(ORVA_WINE_FONTDIR "Z:\\\\usr\\\\share\\\\fonts\\\\truetype\\\\dejavu")
configure_file(${PROJECT_SOURCE_DIR}/tools/windows/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

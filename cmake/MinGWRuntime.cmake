# ORVA_MINGW_RUNTIME: MinGW-w64's runtime DLLs that every program of this build needs, with their
# full paths; for running the programs under Wine and for the Windows packages. The compiler
# knows where its own libraries are (Debian's cross compiler: under /usr/lib/gcc and
# /usr/x86_64-w64-mingw32/lib); a native MinGW keeps them beside itself in bin/.
set(ORVA_MINGW_RUNTIME)
get_filename_component(orva_compiler_dir "${CMAKE_CXX_COMPILER}" DIRECTORY)
foreach(dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}")
        set(path "${orva_compiler_dir}/${dll}")
    endif()
    get_filename_component(path "${path}" REALPATH)
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "${dll} of MinGW-w64 not found")
    endif()
    list(APPEND ORVA_MINGW_RUNTIME ${path})
endforeach()

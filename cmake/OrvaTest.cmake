# orva_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [ARGS ...] [TIMING]
#               [BUILD_ONLY])
# orva_add_test(<name> PROGRAM <earlier test> [LABELS ...] [TIMEOUT s] [ARGS ...] [TIMING])
# Every test runs headless, with its own settings folder, and gives up after a timeout. PROGRAM
# runs another part (ARGS) of a test program built by an earlier call. TIMING marks a test that
# measures real time: it gets the label `timing` and never runs beside another such test, so that
# its tolerances only have to absorb the rest of the machine. BUILD_ONLY builds the program for
# entries that the caller adds itself.
function(orva_add_test name)
    cmake_parse_arguments(ARG "TIMING;BUILD_ONLY" "TIMEOUT;PROGRAM" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    if(ARG_PROGRAM)
        set(program ${ARG_PROGRAM})
    else()
        set(program ${name})
        add_executable(${name} ${ARG_SOURCES})
        target_link_libraries(${name} PRIVATE orva-testsupport Qt6::Test ${ARG_LIBS})
        if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
            # QSKIP("why") leaves the variadic part of Qt's macro empty.
            target_compile_options(${name} PRIVATE -Wno-gnu-zero-variadic-macro-arguments)
        endif()
    endif()
    if(ARG_BUILD_ONLY)
        return()
    endif()
    add_test(NAME ${name} COMMAND ${program} ${ARG_ARGS})
    set(labels ${ARG_LABELS})
    if(ARG_TIMING)
        list(APPEND labels timing)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK real-time)
    endif()
    # The test's own settings folder; ORVA_CONFIG_HOME does for Windows what XDG_CONFIG_HOME does
    # elsewhere, and also keeps the registry out of it.
    set(folder ${CMAKE_BINARY_DIR}/test-config/${name})
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        LABELS "${labels}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${folder};ORVA_CONFIG_HOME=${folder}")
endfunction()

# orva_left_out(<name> <reason>)
# A suite that cannot run on this platform (on Windows: one that drives pseudo-terminals or
# another POSIX-only peer). It is not built; CTest lists it as not run, labelled posix-only, and
# the reason stays beside it.
function(orva_left_out name reason)
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "${reason}")
    set_tests_properties(${name} PROPERTIES DISABLED TRUE LABELS posix-only)
endfunction()

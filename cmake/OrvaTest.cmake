# orva_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [TIMING])
# Every test runs headless, with its own settings folder, and gives up after a timeout.
# TIMING marks a test that measures real time: it gets the label `timing` and never runs beside
# another such test, so that their tolerances only have to absorb the rest of the machine.
function(orva_add_test name)
    cmake_parse_arguments(ARG "TIMING" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE orva-testsupport Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set(labels ${ARG_LABELS})
    if(ARG_TIMING)
        list(APPEND labels timing)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK real-time)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        LABELS "${labels}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config/${name}")
endfunction()

# The tests expect the program's texts as written (Russian), whatever language the session that
# runs them speaks: every test runs under the C locale, and one that wants another sets it itself.
set(PV_TEST_LOCALE "LANGUAGE=unset:" "LC_ALL=unset:" "LC_MESSAGES=unset:" "LANG=set:C.UTF-8")

# pv_add_test(<name> SOURCES <files...> [LIBS <targets...>] [TIMEOUT <s>])
# One Qt Test executable, registered with ctest and run headless (offscreen). The desktop tests
# under tests/desktop/ are scripts that start their own X server.
function(pv_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test pv_platform_fake ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PELLAVINE_BIN_DIR=${PELLAVINE_BIN_DIR}"
                         ENVIRONMENT_MODIFICATION "${PV_TEST_LOCALE}")
endfunction()

# pv_add_test(<name> SOURCES <files...> [LIBS <targets...>] [DESKTOP] [TIMEOUT <s>])
# One Qt Test executable, registered with ctest. Headless (offscreen) unless DESKTOP: those
# run inside tools/desktop-session.sh (Xvfb and a window manager with a tray) and are skipped
# where no X server can be started.
function(pv_add_test name)
    cmake_parse_arguments(T "DESKTOP" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test pv_platform_fake ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    if(T_DESKTOP)
        add_test(NAME ${name}
                 COMMAND ${CMAKE_SOURCE_DIR}/tools/desktop-session.sh $<TARGET_FILE:${name}>)
        set_tests_properties(${name} PROPERTIES LABELS desktop SKIP_RETURN_CODE 77
                             ENVIRONMENT "QT_QPA_PLATFORM=xcb;PELLAVINE_BIN_DIR=${PELLAVINE_BIN_DIR}")
    else()
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES
                             ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PELLAVINE_BIN_DIR=${PELLAVINE_BIN_DIR}")
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()

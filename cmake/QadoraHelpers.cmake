# qadora_add_test(NAME source... [GUI]): one Qt Test executable registered with CTest.
# GUI tests run on the offscreen platform so that no X server is needed.
# Cross-built for Windows, the programs in QADORA_WINDOWS_LEFT_OUT (tests/CMakeLists.txt) are
# made only when asked for by name and not registered.
function(qadora_add_test name)
    cmake_parse_arguments(ARG "GUI" "" "" ${ARGN})
    if(WIN32 AND name IN_LIST QADORA_WINDOWS_LEFT_OUT)
        add_executable(${name} EXCLUDE_FROM_ALL ${ARG_UNPARSED_ARGUMENTS})
        target_link_libraries(${name} PRIVATE qadora_testsupport Qt6::Test)
        if(ARG_GUI)
            target_link_libraries(${name} PRIVATE qadora_gui)
        endif()
        return()
    endif()
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE qadora_testsupport Qt6::Test)
    if(ARG_GUI)
        target_link_libraries(${name} PRIVATE qadora_gui)
    endif()
    add_dependencies(${name} qadora-mdb-reader)
    add_test(NAME ${name} COMMAND ${name})
    # Under Wine a program takes several times as long (tst_csv: 2 minutes alone, more on a
    # busy machine).
    set(timeout 300)
    if(WIN32)
        set(timeout 900)
    endif()
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QADORA_FIXTURES=${QADORA_TEST_ROOT}${PROJECT_SOURCE_DIR}/tests/data"
        TIMEOUT ${timeout})
endfunction()

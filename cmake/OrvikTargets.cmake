# Each source folder registers its files here; the libraries are created once
# every folder has been read, so a folder never needs to know its neighbours.

function(orvik_core_sources)
    foreach(file IN LISTS ARGN)
        set_property(GLOBAL APPEND PROPERTY ORVIK_CORE_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endforeach()
endfunction()

function(orvik_sim_sources)
    foreach(file IN LISTS ARGN)
        set_property(GLOBAL APPEND PROPERTY ORVIK_SIM_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endforeach()
endfunction()

# Qt files (views, frames, dialogs, widgets) go into orvik_gui, built only with ORVIK_GUI.
function(orvik_gui_sources)
    foreach(file IN LISTS ARGN)
        set_property(GLOBAL APPEND PROPERTY ORVIK_GUI_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endforeach()
endfunction()

# orvik_test_timeout(VARIABLE seconds)
# Every test has a time limit of its own, so that one that hangs (a modal box
# nobody answers, a wait that is never woken) fails on its own within a
# minute instead of holding the whole run. A test finishes well within 60 s;
# the few that legitimately take longer name their own limit. The sanitizer
# build runs everything several times slower.
function(orvik_test_timeout variable seconds)
    if(ORVIK_SANITIZE)
        math(EXPR seconds "${seconds} * 5")
    endif()
    set(${variable} ${seconds} PARENT_SCOPE)
endfunction()

# orvik_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib... [TIMEOUT seconds])
# One GoogleTest executable per folder, registered with CTest test by test,
# each with a time limit of 60 s unless TIMEOUT gives another.
# Parameterised cases are registered under the short names their suites give
# them, without the printed parameter value GoogleTest lists beside them.
function(orvik_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 60)
    endif()
    orvik_test_timeout(timeout ${T_TIMEOUT})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${timeout})
endfunction()

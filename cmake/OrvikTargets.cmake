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

# orvik_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib... [TIMEOUT seconds])
# One GoogleTest executable per folder, registered with CTest test by test.
# Parameterised cases are registered under the short names their suites give
# them, without the printed parameter value GoogleTest lists beside them.
# TIMEOUT bounds each of its tests, so that a hang fails instead of stalling.
function(orvik_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    set(properties ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    if(T_TIMEOUT)
        list(APPEND properties TIMEOUT ${T_TIMEOUT})
    endif()
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
        PROPERTIES ${properties})
endfunction()

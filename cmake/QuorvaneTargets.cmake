# Warnings for the project's own targets; Qt and zlib headers come in as
# system includes through their imported targets, so -Werror only bites our code.
add_library(quorvane_warnings INTERFACE)
target_compile_options(quorvane_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(QUORVANE_WERROR)
    target_compile_options(quorvane_warnings INTERFACE -Werror)
endif()

# quorvane_library(NAME SOURCES ... LIBS ...)
function(quorvane_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE quorvane_warnings)
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

# quorvane_executable(NAME SOURCES ... LIBS ...): lands in build/bin
function(quorvane_executable name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} quorvane_warnings)
endfunction()

# quorvane_test(NAME SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [UNDER_WM])
# A Qt Test executable registered with ctest; widgets run offscreen, or with
# UNDER_WM on a virtual X server under a real window manager (skipped when
# the tools are missing).
function(quorvane_test name)
    cmake_parse_arguments(ARG "UNDER_WM" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test quorvane_warnings)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set(platform offscreen)
    if(ARG_UNDER_WM)
        add_test(NAME ${name}
            COMMAND ${CMAKE_SOURCE_DIR}/tests/gui/under-wm.sh $<TARGET_FILE:${name}>)
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
        set(platform xcb)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        LABELS "${ARG_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=${platform};QUORVANE_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()

# varnex_add_test(<name> SOURCES <files...> LIBRARIES <targets...>)
# One Qt Test executable per area, registered with CTest.
function(varnex_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE varnex_test_support ${ARG_LIBRARIES})
    add_test(NAME ${name} COMMAND ${name})
    # An unanswered dialog fails the test function in seconds instead of hanging the suite. The
    # progress slot's name starts with "on_" like an auto-connected one; it is wired by hand.
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=60000;QT_LOGGING_RULES=qt.core.qmetaobject.connectslotsbyname=false"
        TIMEOUT 240)
endfunction()

# The private CUPS server with its two cups-pdf queues (scripts/test-cups-start).
# Tests that print list themselves under FIXTURES_REQUIRED cups.
add_test(NAME cups_start COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-cups-start ${CMAKE_BINARY_DIR}/cups)
add_test(NAME cups_stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-cups-stop ${CMAKE_BINARY_DIR}/cups)
set_tests_properties(cups_start PROPERTIES FIXTURES_SETUP cups TIMEOUT 60)
set_tests_properties(cups_stop PROPERTIES FIXTURES_CLEANUP cups TIMEOUT 60)

foreach(t tst_printmgr tst_mainwindow tst_printrun tst_render tst_termination)
    if(TEST ${t})
        set_tests_properties(${t} PROPERTIES FIXTURES_REQUIRED cups)
    endif()
endforeach()

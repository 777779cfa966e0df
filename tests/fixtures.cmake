# The private CUPS server with its two cups-pdf queues and the label printer's
# driver (scripts/test-cups-start).
# Tests that print list themselves under FIXTURES_REQUIRED cups.
add_test(NAME cups_start COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-cups-start ${CMAKE_BINARY_DIR}/cups)
add_test(NAME cups_stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-cups-stop ${CMAKE_BINARY_DIR}/cups)
set_tests_properties(cups_start PROPERTIES FIXTURES_SETUP cups TIMEOUT 60)
set_tests_properties(cups_stop PROPERTIES FIXTURES_CLEANUP cups TIMEOUT 60)

foreach(t tst_printmgr tst_projecteditor tst_mainwindow tst_printrun tst_render tst_termination tst_scancheck
        tst_pagepreview tst_faults tst_labelprinter tst_designer)
    if(TEST ${t})
        set_tests_properties(${t} PROPERTIES FIXTURES_REQUIRED cups)
    endif()
endforeach()
# The faults test takes well under a minute; `make soak` runs it with many trials.
if(TEST tst_faults)
    set_tests_properties(tst_faults PROPERTIES TIMEOUT 7200)
endif()

# A Firebird server of the tests' own on a free port (scripts/test-firebird-start):
# several print stations on one database. Its settings are in
# firebird-server/root/kova.ini.
set(KOVA_FIREBIRD_SERVER ${CMAKE_BINARY_DIR}/firebird-server)
add_test(NAME firebird_start
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-firebird-start ${KOVA_FIREBIRD_SERVER})
add_test(NAME firebird_stop
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-firebird-stop ${KOVA_FIREBIRD_SERVER})
set_tests_properties(firebird_start PROPERTIES FIXTURES_SETUP firebird TIMEOUT 120)
set_tests_properties(firebird_stop PROPERTIES FIXTURES_CLEANUP firebird TIMEOUT 60)
if(TEST tst_server)
    set_tests_properties(tst_server PROPERTIES FIXTURES_REQUIRED firebird)
    # Two stations printing 500 pages each at once, 20 rounds. Built with the
    # sanitizers a round takes a minute rather than two seconds: there three
    # rounds run the same code under their eyes within the test time limit.
    if(KOVA_SANITIZE)
        target_compile_definitions(tst_server PRIVATE KOVA_SERVER_ROUNDS=3)
        set_property(TEST tst_server APPEND PROPERTY ENVIRONMENT QTEST_FUNCTION_TIMEOUT=840000)
    else()
        target_compile_definitions(tst_server PRIVATE KOVA_SERVER_ROUNDS=20)
    endif()
    target_compile_definitions(tst_server PRIVATE KOVA_FIREBIRD_SERVER="${KOVA_FIREBIRD_SERVER}")
    add_dependencies(tst_server kova-print)
endif()

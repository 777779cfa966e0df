# kova_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [FIXTURES <names...>])
# One Qt Test executable per area. Every test runs offscreen, with the program's
# Firebird configuration, a lock folder of the build's own and the private CUPS server.
function(kova_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;FIXTURES" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE kova_testsupport ${T_LIBS})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT 900
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KOVA_DATABASE=;KOVA_DATABASE_USER=;KOVA_DATABASE_PASSWORD=;FIREBIRD=${PROJECT_SOURCE_DIR}/db;FIREBIRD_LOCK=${CMAKE_BINARY_DIR}/firebird-lock;CUPS_SERVER=${KOVA_CUPS_SOCKET};ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")
    if(T_FIXTURES)
        set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
    endif()
endfunction()

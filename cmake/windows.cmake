# Windows builds: the import library for ZYN_NTTC.dll, the program, and the checks on
# how the program binds to the reader library.

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(NTTC_DEF ${CMAKE_SOURCE_DIR}/reader/ZYN_NTTC_i686.def)
  set(NTTC_DLLTOOL_ARCH -m i386 -k)
else()
  set(NTTC_DEF ${CMAKE_SOURCE_DIR}/reader/ZYN_NTTC_x86_64.def)
  set(NTTC_DLLTOOL_ARCH -m i386:x86-64)
endif()

# Import library: every operation imported by ordinal only (NONAME in the .def).
set(NTTC_IMPORT_LIB ${CMAKE_BINARY_DIR}/libZYN_NTTC.a)
add_custom_command(
  OUTPUT ${NTTC_IMPORT_LIB}
  COMMAND ${CMAKE_DLLTOOL} ${NTTC_DLLTOOL_ARCH} -d ${NTTC_DEF} -l ${NTTC_IMPORT_LIB}
  DEPENDS ${NTTC_DEF}
  COMMENT "Import library for ZYN_NTTC.dll (by ordinal)")
add_custom_target(zyn_nttc_import DEPENDS ${NTTC_IMPORT_LIB})
add_library(zyn_nttc STATIC IMPORTED GLOBAL)
set_target_properties(zyn_nttc PROPERTIES IMPORTED_LOCATION ${NTTC_IMPORT_LIB})
add_dependencies(zyn_nttc zyn_nttc_import)

set(HORAVEX_WIN_LINK_OPTIONS -static -static-libgcc -static-libstdc++)

set(HORAVEX_PROGRAM RUZivEr2)
add_executable(RUZivEr2 ${CMAKE_SOURCE_DIR}/service/main.cpp)
target_link_libraries(${HORAVEX_PROGRAM} PRIVATE horavex_service)
# Each layer with the system's libraries it calls: base beeps (user32); engine reads the board
# (the reader library), sets up security and the clock (advapi32) and the timer (winmm); service
# talks to the manager and the event log (advapi32) and keeps the console run's session window
# (user32).
target_link_libraries(horavex_base PUBLIC user32)
target_link_libraries(horavex_engine PUBLIC zyn_nttc advapi32 winmm)
target_link_libraries(horavex_service PUBLIC advapi32 user32)
target_link_options(${HORAVEX_PROGRAM} PRIVATE ${HORAVEX_WIN_LINK_OPTIONS})

add_test(NAME reader_imports_by_ordinal
  COMMAND ${CMAKE_COMMAND}
    -DOBJDUMP=${CMAKE_OBJDUMP}
    -DPROGRAM=$<TARGET_FILE:${HORAVEX_PROGRAM}>
    -P ${CMAKE_SOURCE_DIR}/tests/windows/check_reader_imports.cmake)
set_tests_properties(reader_imports_by_ordinal PROPERTIES LABELS "windows")

# The worker asks for a 1 ms system timer around its polling loop.
add_test(NAME timer_imports_from_winmm
  COMMAND ${CMAKE_COMMAND}
    -DOBJDUMP=${CMAKE_OBJDUMP}
    -DBINARY=$<TARGET_FILE:${HORAVEX_PROGRAM}>
    -DDLL=WINMM.dll
    "-DNAMES=timeBeginPeriod;timeEndPeriod"
    -P ${CMAKE_SOURCE_DIR}/tests/windows/check_named_imports.cmake)
# The check itself, on a binary that takes nothing from winmm: it must say so.
add_test(NAME timer_imports_check_fails_without_winmm
  COMMAND ${CMAKE_COMMAND}
    -DOBJDUMP=${CMAKE_OBJDUMP}
    -DBINARY=$<TARGET_FILE:standin_library>
    -DDLL=WINMM.dll
    "-DNAMES=timeBeginPeriod;timeEndPeriod"
    -P ${CMAKE_SOURCE_DIR}/tests/windows/check_named_imports.cmake)
set_tests_properties(timer_imports_from_winmm timer_imports_check_fails_without_winmm PROPERTIES LABELS "windows")
set_tests_properties(timer_imports_check_fails_without_winmm PROPERTIES
  PASS_REGULAR_EXPRESSION "WINMM.dll does not give timeBeginPeriod")

# The host's stand-in Win32 headers against mingw-w64's, as the program compiles: every define
# of the stand-in, read from it at build time, and the layouts of the types the code relies on
# (tests/windows/stand_in_check.cpp). A difference fails the build.
file(GLOB STAND_IN_HEADERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host_include/*.h)
set(STAND_IN_CONSTANTS ${CMAKE_BINARY_DIR}/stand_in_check/stand_in_constants.h)
add_custom_command(
  OUTPUT ${STAND_IN_CONSTANTS}
  COMMAND ${CMAKE_COMMAND} -DHEADER_DIR=${CMAKE_SOURCE_DIR}/tests/host_include -DOUTPUT=${STAND_IN_CONSTANTS}
    -P ${CMAKE_SOURCE_DIR}/tests/windows/stand_in_constants.cmake
  DEPENDS ${STAND_IN_HEADERS} ${CMAKE_SOURCE_DIR}/tests/windows/stand_in_constants.cmake
  COMMENT "Checks of the stand-in Win32 headers' defines")
add_library(stand_in_check OBJECT ${CMAKE_SOURCE_DIR}/tests/windows/stand_in_check.cpp ${STAND_IN_CONSTANTS})
target_include_directories(stand_in_check PRIVATE ${CMAKE_BINARY_DIR}/stand_in_check)
# The program's definitions too, should it ever set _WIN32_WINNT or the like.
target_compile_definitions(stand_in_check PRIVATE $<TARGET_PROPERTY:horavex_base,COMPILE_DEFINITIONS>)

# Benchmark floors: programs that only wait, to compare the running cost against.
include(${CMAKE_SOURCE_DIR}/tests/bench/windows.cmake)

# ---- The event log's message table ---------------------------------------------------------
# windmc compiles service/event_messages.mc into a message table (an .rc naming one .bin per
# language of the .mc: MSG00409.bin, English) and a header. The table is linked into the
# program as a resource, for Event Viewer to render the program's entries with; the header only
# serves the check that service/event_messages.h has windmc's identifiers.
enable_language(RC)
get_filename_component(rc_compiler_dir ${CMAKE_RC_COMPILER} DIRECTORY)
get_filename_component(rc_compiler_name ${CMAKE_RC_COMPILER} NAME)
string(REPLACE windres windmc windmc_name ${rc_compiler_name})
find_program(HORAVEX_WINDMC NAMES ${windmc_name} HINTS ${rc_compiler_dir} REQUIRED)

set(MESSAGE_TABLE_MC ${CMAKE_SOURCE_DIR}/service/event_messages.mc)
set(MESSAGE_TABLE_DIR ${CMAKE_BINARY_DIR}/message_table)
set(MESSAGE_TABLE_RC ${MESSAGE_TABLE_DIR}/event_messages.rc)
set(MESSAGE_TABLE_BIN ${MESSAGE_TABLE_DIR}/MSG00409.bin)
set(MESSAGE_TABLE_HEADER ${MESSAGE_TABLE_DIR}/event_messages.h)
add_custom_command(
  OUTPUT ${MESSAGE_TABLE_RC} ${MESSAGE_TABLE_BIN} ${MESSAGE_TABLE_HEADER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MESSAGE_TABLE_DIR}
  COMMAND ${HORAVEX_WINDMC} -r ${MESSAGE_TABLE_DIR} -h ${MESSAGE_TABLE_DIR} ${MESSAGE_TABLE_MC}
  DEPENDS ${MESSAGE_TABLE_MC}
  COMMENT "Message table of the event log (windmc)")
# One target runs windmc, so that the program and the check never run it side by side.
add_custom_target(event_message_table DEPENDS ${MESSAGE_TABLE_RC} ${MESSAGE_TABLE_BIN} ${MESSAGE_TABLE_HEADER})

# The .rc names its .bin without a folder: windres looks for it in the .rc's folder.
target_sources(${HORAVEX_PROGRAM} PRIVATE ${MESSAGE_TABLE_RC})
set_source_files_properties(${MESSAGE_TABLE_RC} PROPERTIES
  INCLUDE_DIRECTORIES ${MESSAGE_TABLE_DIR}
  OBJECT_DEPENDS ${MESSAGE_TABLE_BIN})
add_dependencies(${HORAVEX_PROGRAM} event_message_table)

# service/event_messages.h against windmc's header (tests/windows/event_messages_check.cpp):
# compiled, never linked; a difference fails the build, naming the identifier.
add_library(event_messages_check OBJECT ${CMAKE_SOURCE_DIR}/tests/windows/event_messages_check.cpp)
target_include_directories(event_messages_check PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
add_dependencies(event_messages_check event_message_table)

# The program has the table; the check itself, on a library without one, must say so.
add_test(NAME message_table_in_program
  COMMAND ${CMAKE_COMMAND}
    -DOBJDUMP=${CMAKE_OBJDUMP}
    -DBINARY=$<TARGET_FILE:${HORAVEX_PROGRAM}>
    -P ${CMAKE_SOURCE_DIR}/tests/windows/check_message_table.cmake)
add_test(NAME message_table_check_fails_without_one
  COMMAND ${CMAKE_COMMAND}
    -DOBJDUMP=${CMAKE_OBJDUMP}
    -DBINARY=$<TARGET_FILE:standin_library>
    -P ${CMAKE_SOURCE_DIR}/tests/windows/check_message_table.cmake)
set_tests_properties(message_table_in_program message_table_check_fails_without_one PROPERTIES LABELS "windows")
set_tests_properties(message_table_check_fails_without_one PROPERTIES
  PASS_REGULAR_EXPRESSION "No message table \\(resource type 11\\) in[ \n]+[^ \n]*ZYN_NTTC\\.dll")

# Each entry's text as Event Viewer would render it from the program's table, under Wine
# (tests/windows/message_text.cpp, tests/e2e/message_text_wine.sh).
add_executable(message_text ${CMAKE_SOURCE_DIR}/tests/windows/message_text.cpp)
target_link_options(message_text PRIVATE ${HORAVEX_WIN_LINK_OPTIONS})
include(${CMAKE_SOURCE_DIR}/tests/e2e/wine_tests.cmake)
add_test(NAME message_table_texts_under_wine
  COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/message_text_wine.sh
    ${WINE_TESTS_BITS}
    $<TARGET_FILE:${HORAVEX_PROGRAM}>
    $<TARGET_FILE:message_text>
    ${CMAKE_BINARY_DIR}/message_text_wine_run
    ${WINE_TESTS_PREFIX})
set_tests_properties(message_table_texts_under_wine PROPERTIES
  LABELS "wine"
  FIXTURES_REQUIRED wine_prefix
  SKIP_RETURN_CODE 77
  TIMEOUT 180)

# The Windows Installer package and its custom action library.
include(${CMAKE_SOURCE_DIR}/cmake/msi_package.cmake)

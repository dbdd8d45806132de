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
# talks to the manager and the event log (advapi32).
target_link_libraries(horavex_base PUBLIC user32)
target_link_libraries(horavex_engine PUBLIC zyn_nttc advapi32 winmm)
target_link_libraries(horavex_service PUBLIC advapi32)
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

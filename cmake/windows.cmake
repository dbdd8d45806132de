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
target_link_libraries(${HORAVEX_PROGRAM} PRIVATE horavex zyn_nttc advapi32 user32)
target_link_options(${HORAVEX_PROGRAM} PRIVATE ${HORAVEX_WIN_LINK_OPTIONS})

add_test(NAME reader_imports_by_ordinal
  COMMAND ${CMAKE_COMMAND}
    -DOBJDUMP=${CMAKE_OBJDUMP}
    -DPROGRAM=$<TARGET_FILE:${HORAVEX_PROGRAM}>
    -P ${CMAKE_SOURCE_DIR}/tests/windows/check_reader_imports.cmake)
set_tests_properties(reader_imports_by_ordinal PROPERTIES LABELS "windows")

# Benchmark floors: programs that only wait, to compare the running cost against.
include(${CMAKE_SOURCE_DIR}/tests/bench/windows.cmake)

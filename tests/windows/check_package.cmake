# Builds the ZIP package and fails unless it holds the program and the README at its top
# and the stand-in library only in its own folder, never beside the program, and unless the
# Windows Installer package lies beside it.
#   cmake -DCPACK_CONFIG=... -DWORK_DIR=... -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${CPACK_CONFIG} -B ${WORK_DIR}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed")
endif()
file(GLOB archives ${WORK_DIR}/*.zip)
list(LENGTH archives count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one ZIP in ${WORK_DIR}, found ${count}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${archives} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
string(REPLACE "\n" ";" entries "${listing}")
list(FILTER entries EXCLUDE REGEX "/$")
list(FILTER entries EXCLUDE REGEX "^$")
foreach(entry IN LISTS entries)
  # Every entry sits under the package's top folder; drop that part.
  string(FIND "${entry}" "/" slash)
  math(EXPR after "${slash} + 1")
  string(SUBSTRING "${entry}" ${after} -1 entry)
  list(APPEND found ${entry})
endforeach()
list(SORT found)
set(expected
  README.md
  RUZivEr2.exe
  standin-reader-library/ZYN_NTTC.dll
  standin-reader-library/ZYN_NTTC.ini
  standin-reader-library/standin-library.md)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "package holds: ${found}\nexpected: ${expected}")
endif()
file(GLOB installers ${WORK_DIR}/RUZivEr2-*-x*.msi)
if(NOT installers MATCHES "^[^;]+$")
  message(FATAL_ERROR "expected one .msi beside the ZIP in ${WORK_DIR}: ${installers}")
endif()
message(STATUS "package ${archives}: ${found}; beside it ${installers}")

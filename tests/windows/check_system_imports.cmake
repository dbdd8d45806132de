# Fails unless BINARY imports only from the DLLs in ALLOWED (names compared without regard to
# case): a build linked -static needs no mingw runtime DLL (libgcc_s_*, libstdc++-6,
# libwinpthread-1) on the machine it is copied to.
#   cmake -DOBJDUMP=... -DBINARY=... "-DALLOWED=KERNEL32.dll;msvcrt.dll" -P check_system_imports.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${BINARY}")
endif()

string(TOUPPER "${ALLOWED}" allowed)
string(REGEX MATCHALL "DLL Name: [^\n]+" rows "${dump}")
set(imported "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^DLL Name: " "" dll "${row}")
  string(STRIP "${dll}" dll)
  string(TOUPPER "${dll}" upper)
  if(NOT upper IN_LIST allowed)
    message(FATAL_ERROR "${BINARY} imports from ${dll}, which is not one of: ${ALLOWED}")
  endif()
  list(APPEND imported ${dll})
endforeach()
message(STATUS "${BINARY} imports from: ${imported}")

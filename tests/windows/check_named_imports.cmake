# Fails unless BINARY imports each of NAMES by name from DLL (the DLL's name compared without
# regard to case).
#   cmake -DOBJDUMP=... -DBINARY=... -DDLL=WINMM.dll "-DNAMES=timeBeginPeriod;timeEndPeriod"
#         -P check_named_imports.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${BINARY}")
endif()

# The DLL's block of rows runs from its "DLL Name:" line to the next blank line.
string(TOUPPER "${DLL}" wanted)
string(REPLACE "\n" ";" lines "${dump}")
set(in_block FALSE)
set(imported "")
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: (.*)$")
    string(STRIP "${CMAKE_MATCH_1}" dll)
    string(TOUPPER "${dll}" dll)
    set(in_block FALSE)
    if(dll STREQUAL wanted)
      set(in_block TRUE)
    endif()
  elseif(in_block AND line MATCHES "^[ \t]*$")
    set(in_block FALSE)
  elseif(in_block AND line MATCHES "^[ \t]*[0-9a-fA-F]+[ \t]+[0-9]+[ \t]+([A-Za-z_][A-Za-z0-9_@]*)[ \t]*$")
    list(APPEND imported ${CMAKE_MATCH_1})
  endif()
endforeach()

foreach(name IN LISTS NAMES)
  if(NOT name IN_LIST imported)
    message(FATAL_ERROR "${DLL} does not give ${name} to ${BINARY}; it gives: ${imported}")
  endif()
endforeach()
message(STATUS "${DLL} gives ${BINARY}: ${imported}")

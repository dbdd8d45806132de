# Fails unless LIBRARY (the stand-in ZYN_NTTC.dll) exports exactly the six operations of the
# reader contract, at their ordinals, with no names: the program imports them by ordinal
# only, and a named export would hide a .def that lost its NONAME.
#   cmake -DOBJDUMP=... -DLIBRARY=... -P check_standin_exports.cmake
set(CONTRACT_ORDINALS 1 2 7 9 11 17)

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${LIBRARY}")
endif()
if(NOT dump MATCHES "The Export Tables")
  message(FATAL_ERROR "${LIBRARY} has no export table")
endif()

# The part of objdump's report about the export table, up to the next section of it.
string(REGEX REPLACE ".*The Export Tables" "" exports "${dump}")
string(REGEX REPLACE "\nPE File Base Relocations.*" "" exports "${exports}")
string(REGEX REPLACE "\nThe Function Table.*" "" exports "${exports}")

if(NOT exports MATCHES "\\[Name Pointer/Ordinal\\] Table[ \t]+0+\n")
  message(FATAL_ERROR "ZYN_NTTC.dll exports names:\n${exports}")
endif()

string(REPLACE "\n" ";" lines "${exports}")
set(section "")
set(ordinals "")
foreach(line IN LISTS lines)
  if(line MATCHES "^Export Address Table -- ")
    set(section "addresses")
    continue()
  elseif(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(section "names")
    continue()
  endif()
  if(line MATCHES "^[ \t]*$")
    continue()
  endif()
  if(section STREQUAL "names")
    message(FATAL_ERROR "ZYN_NTTC.dll exports a name: ${line}")
  elseif(section STREQUAL "addresses")
    if(NOT line MATCHES "\\+base\\[ *([0-9]+)\\] +[0-9a-fA-F]+ +Export RVA")
      message(FATAL_ERROR "unexpected export row: ${line}")
    endif()
    list(APPEND ordinals ${CMAKE_MATCH_1})
  endif()
endforeach()

list(SORT ordinals COMPARE NATURAL)
if(NOT ordinals STREQUAL CONTRACT_ORDINALS)
  message(FATAL_ERROR "ZYN_NTTC.dll exports ordinals '${ordinals}', contract '${CONTRACT_ORDINALS}'")
endif()
message(STATUS "ZYN_NTTC.dll exports by ordinal only: ${ordinals}")

# Fails unless BINARY has a message-table resource (type 11, RT_MESSAGETABLE), the texts Event
# Viewer shows the program's event-log entries with.
#   cmake -DOBJDUMP=... -DBINARY=... -P check_message_table.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${BINARY}")
endif()

# objdump prints the resource tree depth first, each level further in than its table:
#   The .rsrc Resource Directory section:
#   000  Type Table: Char: 0, Time: 00000000, Ver: 0/0, Num Names: 0, IDs: 1
#   010   Entry: ID: 0x00000b, Value: 0x80000018
#   018    Name Table: Char: 0, Time: 00000000, Ver: 0/0, Num Names: 0, IDs: 1
#   028     Entry: ID: 0x000001, Value: 0x80000030
#   ...
# so the resource types are the entries one column further in than the "Type Table:" line. The
# tree ends at the first blank line; a binary without resources has no such section.
set(types "")
string(FIND "${dump}" "The .rsrc Resource Directory section:" start)
if(start GREATER_EQUAL 0)
  string(SUBSTRING "${dump}" ${start} -1 tree)
  string(FIND "${tree}" "\n\n" end)
  string(SUBSTRING "${tree}" 0 ${end} tree)
  string(REPLACE "\n" ";" lines "${tree}")
  set(type_indent -1)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]+( +)Type Table:")
      string(LENGTH "${CMAKE_MATCH_1}" type_indent)
    elseif(line MATCHES "^[0-9a-fA-F]+( +)Entry: ID: (0x[0-9a-fA-F]+),")
      set(id ${CMAKE_MATCH_2})
      string(LENGTH "${CMAKE_MATCH_1}" indent)
      math(EXPR indent "${indent} - 1")
      if(indent EQUAL type_indent)
        math(EXPR id "${id}")
        list(APPEND types ${id})
      endif()
    endif()
  endforeach()
endif()

if(types STREQUAL "")
  set(listed "none")
else()
  list(JOIN types ", " listed)
endif()
if(NOT 11 IN_LIST types)
  message(FATAL_ERROR "No message table (resource type 11) in ${BINARY}; its resource types: ${listed}")
endif()
message(STATUS "Message table (resource type 11) in ${BINARY}; its resource types: ${listed}")

# Windows builds: the floor programs of the Wine CPU measurement (tests/bench/wine_cpu_ratio.sh).
# Included from cmake/windows.cmake, after the reader library's import library is defined.
#   wait_floor         only waits 51 ms at a time on an event
#   wait_floor_reads   the same, and reads the board twice after each wait, through ZYN_NTTC.dll
add_executable(wait_floor ${CMAKE_SOURCE_DIR}/tests/bench/wait_floor.cpp)
target_link_options(wait_floor PRIVATE ${HORAVEX_WIN_LINK_OPTIONS})

add_executable(wait_floor_reads ${CMAKE_SOURCE_DIR}/tests/bench/wait_floor.cpp)
target_compile_definitions(wait_floor_reads PRIVATE WAIT_FLOOR_READS_BOARD)
target_include_directories(wait_floor_reads PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(wait_floor_reads PRIVATE zyn_nttc)
target_link_options(wait_floor_reads PRIVATE ${HORAVEX_WIN_LINK_OPTIONS})

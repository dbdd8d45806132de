# Fuzzes one target for a bounded time, starting from its seed corpus, and fails on any
# finding (a crash, a sanitizer report, a broken invariant, a leak, a time-out or running
# out of memory), on a run that did not finish, and on an empty seed corpus.
#
#   cmake -DFUZZER=<target> -DSEED_CORPUS=<dir> -DWORK_DIR=<dir> -DSECONDS=<n> -DMAX_LEN=<n>
#         [-DDICTIONARY=<file>] -P run_fuzzer.cmake
#
# The environment variable HORAVEX_FUZZ_SECONDS, when set, replaces SECONDS. The seed
# corpus is only read: what the run adds goes to WORK_DIR/corpus, a finding to
# WORK_DIR/findings, and the whole log to WORK_DIR/fuzz.log. A finding is replayed with
#   <target> WORK_DIR/findings/<file>
foreach(required FUZZER SEED_CORPUS WORK_DIR SECONDS MAX_LEN)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "run_fuzzer.cmake needs -D${required}=...")
  endif()
endforeach()

set(seconds "${SECONDS}")
if(NOT "$ENV{HORAVEX_FUZZ_SECONDS}" STREQUAL "")
  set(seconds "$ENV{HORAVEX_FUZZ_SECONDS}")
endif()
if(NOT seconds MATCHES "^[1-9][0-9]*$")
  message(FATAL_ERROR "The fuzzing time must be a whole number of seconds, not '${seconds}'")
endif()

file(GLOB seeds "${SEED_CORPUS}/*")
list(LENGTH seeds seed_count)
if(seed_count EQUAL 0)
  message(FATAL_ERROR "No seed inputs in ${SEED_CORPUS}")
endif()

get_filename_component(name "${FUZZER}" NAME)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/corpus" "${WORK_DIR}/findings")
set(log "${WORK_DIR}/fuzz.log")

set(options
  -max_total_time=${seconds}
  -max_len=${MAX_LEN}
  -timeout=10
  -rss_limit_mb=2048
  -print_final_stats=1
  "-artifact_prefix=${WORK_DIR}/findings/")
if(NOT "${DICTIONARY}" STREQUAL "")
  list(APPEND options "-dict=${DICTIONARY}")
endif()

message(STATUS "${name}: fuzzing for ${seconds} s from ${seed_count} seeds")
# libFuzzer stops by itself after max_total_time; the limit here only catches a hang of
# the fuzzer itself.
math(EXPR limit "${seconds} + 300")
execute_process(
  COMMAND "${FUZZER}" ${options} "${WORK_DIR}/corpus" "${SEED_CORPUS}"
  OUTPUT_FILE "${log}"
  ERROR_FILE "${log}"
  RESULT_VARIABLE result
  TIMEOUT ${limit})

# The run's figures, from lines such as
#   "#<runs> DONE cov: <n> ft: <n> corp: <n>/<size> lim: <n> exec/s: <n> rss: <n>Mb"
#   "stat::average_exec_per_sec: <n>"
# each line read on its own: a list of all the log's lines would be cut wrongly at the
# unbalanced brackets libFuzzer prints.
file(STRINGS "${log}" done REGEX "^#[0-9]+[ \t]+DONE ")
file(STRINGS "${log}" seed REGEX "^INFO: Seed: [0-9]+")
string(REGEX REPLACE "^INFO: Seed: ([0-9]+).*" "\\1" seed "${seed}")
file(GLOB findings "${WORK_DIR}/findings/*")

if(NOT result EQUAL 0 OR findings OR done STREQUAL "")
  file(READ "${log}" text)
  string(LENGTH "${text}" length)
  if(length GREATER 12000)
    math(EXPR from "${length} - 12000")
    string(SUBSTRING "${text}" ${from} -1 text)
  endif()
  message("${text}")
  message(FATAL_ERROR "${name} failed (exit status ${result}, seed ${seed}); findings: ${findings}; "
                      "the whole log is ${log}")
endif()

string(REGEX MATCH "^#([0-9]+)" _ "${done}")
set(runs "${CMAKE_MATCH_1}")
string(REGEX MATCH "cov: ([0-9]+)" _ "${done}")
set(cov "${CMAKE_MATCH_1}")
string(REGEX MATCH "ft: ([0-9]+)" _ "${done}")
set(ft "${CMAKE_MATCH_1}")
string(REGEX MATCH "corp: ([0-9]+)" _ "${done}")
set(corpus "${CMAKE_MATCH_1}")
file(STRINGS "${log}" exec_per_second REGEX "^stat::average_exec_per_sec:")
string(REGEX REPLACE "^stat::average_exec_per_sec:[ \t]*([0-9]+).*" "\\1" exec_per_second "${exec_per_second}")
set(summary "${name}: ${seconds} s, seed ${seed}, ${runs} runs, ${exec_per_second} exec/s, cov: ${cov}, ft: ${ft}, corpus: ${corpus} inputs, no findings")
file(WRITE "${WORK_DIR}/summary.txt" "${summary}\n")
message("${summary}")

// Shared set-up for the unit tests: every fake and every process-wide record of the
// program back to its start, in one call.
#pragma once

#include <string>
#include <vector>

// Resets all fakes and the program's records; starts status reporting afresh.
void ResetEverything();

// Ends status reporting; call from TearDown after ResetEverything.
void EndEverything();

// Runs the worker as its callers do: with the console run's reporter in console mode, with
// the service entry's otherwise.
void RunWorker();

// The recorded calls without the critical-section lines, which say nothing about behaviour.
std::vector<std::string> CallsWithoutLocks();

// The recorded calls whose line starts with none of the given names.
std::vector<std::string> CallsExcept(const std::vector<std::string> &names);

// The recorded calls whose line starts with one of the given names, in order.
std::vector<std::string> CallsOnly(const std::vector<std::string> &names);

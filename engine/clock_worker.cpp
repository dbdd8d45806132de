// The worker: start-up, the 51 ms polling loop and the closing sequence.
#include "engine/clock_worker.h"

WorkerState g_worker;

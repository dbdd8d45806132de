// Saved for the layer check's own test: the layer above may include the one below.
#include "engine/clock_worker.h"
#include "service/status_report.h"

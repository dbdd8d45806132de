// Saved for the layer check's own test: the worker as it once reported to the service
// manager itself, an include of the layer above it.
#include "engine/clock_worker.h"

#include "base/console_output.h"
#include "service/status_report.h"

// Saved for the layer check: the engine naming a service header by a relative path.
#include "../service/status_report.h"

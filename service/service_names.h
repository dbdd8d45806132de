// The names the service is known by.
#pragma once

extern const char kServiceName[];  // the manager's key, the dispatcher entry, the event source
extern const char kDisplayName[];  // shown by the manager and in the console messages

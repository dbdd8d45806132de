// The names the service is known by.
#include "service/service_names.h"

const char kServiceName[] = "ZYN_NT_Horavex2";
const char kDisplayName[] = "ZYN NT Horavex Service2";

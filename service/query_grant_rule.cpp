// The grant that lets any logon ask the service how it is.
#include "service/query_grant_rule.h"

#include <cstdio>
#include <cstring>

const char kQueryGrantAce[] = "(A;;LCRC;;;AU)";

QueryGrant WithQueryGrant(const char *dacl, char *granted, size_t size)
{
    // An empty list ("D:") denies everyone and a null one ("D:NO_ACCESS_CONTROL") allows
    // everyone: neither is a service's real list, and a grant would change either's meaning.
    if (std::strncmp(dacl, "D:", 2) != 0 || std::strchr(dacl, '(') == NULL)
        return QUERY_GRANT_REFUSED;
    if (std::strstr(dacl, kQueryGrantAce) != NULL)
        return QUERY_GRANT_HELD;
    const int written = std::snprintf(granted, size, "%s%s", dacl, kQueryGrantAce);
    if (written < 0 || static_cast<size_t>(written) >= size)
        return QUERY_GRANT_TOO_LONG;
    return QUERY_GRANT_ADDED;
}

// The grant that lets any logon ask the service how it is: Authenticated Users may query its
// status and read its security, nothing more. A new service's default access list lets only
// SYSTEM, Administrators, interactive users and service logons query it, so a monitoring agent
// that logs on over the network or as a batch job would be refused.
//
// Pure code on the access list's SDDL text (the DACL alone, "D:..."), no platform call:
// service/service_install reads the list, sets it and reads it back.
#pragma once

#include <cstddef>

extern const char kQueryGrantAce[];  // "(A;;LCRC;;;AU)": SERVICE_QUERY_STATUS and READ_CONTROL

enum QueryGrant {
    QUERY_GRANT_HELD,     // the list holds the grant already: nothing to set
    QUERY_GRANT_ADDED,    // *granted is the list with the grant after its entries
    QUERY_GRANT_REFUSED,  // no entries (or none to read): adding one would shut out everyone else
    QUERY_GRANT_TOO_LONG, // the list with the grant does not fit in `size`
};

QueryGrant WithQueryGrant(const char *dacl, char *granted, size_t size);

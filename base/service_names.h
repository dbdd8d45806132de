// The names the service is known by.
#pragma once

// The manager's key, the dispatcher entry and the event-log source.
inline constexpr char kServiceName[] = "ZYN_NT_Horavex2";

// Shown by the manager and in the console messages.
inline constexpr char kDisplayName[] = "ZYN NT Horavex Service2";

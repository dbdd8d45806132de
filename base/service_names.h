// The names the service is known by, and the keys it keeps under the manager's.
#pragma once

// The manager's key, the dispatcher entry and the event-log source.
inline constexpr char kServiceName[] = "ZYN_NT_Horavex2";

// Shown by the manager and in the console messages.
inline constexpr char kDisplayName[] = "ZYN NT Horavex Service2";

// The service's own key, under HKLM; the Service Control Manager makes it at `-load` and
// removes it at `-unload`.
inline constexpr char kServiceKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\ZYN_NT_Horavex2";

// The volatile key under it that is gone when the machine restarts: the running service's
// published state (service/status_publish) and the mark of the program's own clock rate
// (engine/rate_mark), which lives exactly as long as the rate it marks.
inline constexpr char kStatusKeyName[] = "Status";
inline constexpr char kStatusKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\ZYN_NT_Horavex2\\Status";

// Full control for SYSTEM and Administrators, read for Users; nothing inherited from the
// service's key. Given to the key by whichever of the two makes it.
inline constexpr char kStatusKeySecurity[] = "D:P(A;;KA;;;SY)(A;;KA;;;BA)(A;;KR;;;BU)";

// The stop event and the one way to signal it.
//
// The worker creates the event early in its start-up and closes it in its closing
// sequence; RequestStop, from the service's control thread or the console's control
// thread, signals it while it exists. Signalling and closing take the same lock, so a late
// request can never signal a handle that is being closed or has been reused.
#pragma once

#include <windows.h>

struct StopRequestState {
    HANDLE stopEvent;  // manual-reset, created non-signalled; NULL outside the worker's life
    SRWLOCK lock;      // held while the handle is signalled, set or closed
};

extern StopRequestState g_stopRequest;

// Creates the stop event. Returns non-zero on success.
int CreateStopEvent(void);

// Closes the stop event, if it exists; later requests do nothing.
void CloseStopEvent(void);

// Signals the stop event while it exists; otherwise does nothing.
void RequestStop(void);

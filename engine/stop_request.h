// The stop event, the one way to signal it, and the wait for the worker's closing.
//
// The worker creates the event early in its start-up and closes it in its closing
// sequence; RequestStop, from the service's control thread or the console's control
// thread, signals it while it exists. Signalling and closing take the same lock, so a late
// request can never signal a handle that is being closed or has been reused.
//
// Closing the console window, logging off and shutting down end the process as soon as the
// console's handler returns, and Windows keeps a clock rate the precise mode set until it
// restarts. So the closing sequence says, once it has handed the rate back, that the worker
// is closed, and the handler waits for that. The wait needs no handle: it is a condition of
// the same lock, which lives as long as the process, so no wait can outlive what it waits on.
#pragma once

#include <windows.h>

struct StopRequestState {
    HANDLE stopEvent;  // manual-reset, created non-signalled; NULL outside the worker's life
    SRWLOCK lock;      // held while the handle is signalled, set or closed, and `closed` read or set
    CONDITION_VARIABLE closedChanged;  // woken when the worker is closed
    int closed;        // 1 from the closing sequence's handing back on, 0 from the next start
};

extern StopRequestState g_stopRequest;

// Creates the stop event. Returns non-zero on success.
int CreateStopEvent(void);

// Closes the stop event, if it exists; later requests do nothing.
void CloseStopEvent(void);

// Signals the stop event while it exists; otherwise does nothing.
void RequestStop(void);

// For the closing sequence, once the clock's rate is handed back and the records are kept:
// a wait for the worker's closing ends.
void MarkWorkerClosed(void);

// Waits, at most timeoutMs, until the worker has marked itself closed. Ends at once when no
// worker runs: none has created the stop event yet, or it has closed it again. Returns
// non-zero when no worker holds the clock any more, 0 when the time ran out first.
int WaitForWorkerClosed(DWORD timeoutMs);

// The board's second edges against the performance counter, a clock nobody steers.
//
// Each poll of the precise mode reads the counter just before and just after the board's
// time code. When the seconds move on by one from one read to the next, the board's second
// began after the earlier read began and before the later one ended: a bracket about one
// poll (52 ms) wide. The 51 ms poll does not divide the second, so the brackets of
// successive seconds fall at every place of it; fitted together as one line against the
// counter (where each second begins, and how fast the counter runs against the board), they
// pin the edge far closer than any one bracket: each adds two bounds, and the lines that
// pass through all of them form a region that narrows as about 1/N.
//
// Pure code, no platform call: the precise mode (engine/precise_clock) feeds it the counts
// and the seconds it read.
#pragma once

#include <windows.h>

const LONG EDGE_SECONDS_PER_DAY = 86400;

// Accepted brackets the fit holds: a little over four minutes of seconds. The counter's rate
// against the board drifts with temperature far too slowly to bend the line within it.
const int EDGE_WINDOW = 256;
// The most vertices the region of lines may have; each bound adds at most one.
const int EDGE_MOST_VERTICES = 48;

enum BracketOutcome {
    BRACKET_MADE,         // the seconds moved on by one: *bracket is the edge's bracket
    BRACKET_SAME_SECOND,  // no edge between the reads
    BRACKET_NOT_NEXT,     // the seconds went back or skipped: a jump, or a word read torn
    BRACKET_TOO_WIDE      // an edge, but the reads are too far apart to place it (a delayed
                          // poll, failed reads between): it would only widen the fit
};

struct EdgeBracket {
    LONGLONG earliestCount;  // the counter before the earlier read, which showed the old second
    LONGLONG latestCount;    // the counter after the later read, which showed the new second
    LONG secondOfDay;        // the new second, 0 to 86399
};

// The bracket between two reads: the earlier began at earlierBeforeCount and showed
// earlierSecond, the later ended at laterAfterCount and showed laterSecond (seconds of the
// day; 86399 is followed by 0).
BracketOutcome BracketFromReads(LONGLONG earlierBeforeCount, LONG earlierSecond, LONGLONG laterAfterCount,
                                LONG laterSecond, LONGLONG mostWidthCounts, EdgeBracket *bracket);

// Brackets from read to read.
struct EdgeTracker {
    int haveRead;              // 1 once a read was taken
    LONGLONG lastBeforeCount;  // the counter before the last read taken
    LONG lastSecond;           // the second of day it showed
};

// Takes one successful read. Returns 1, with *bracket, when its second follows the last read's.
int TrackEdgeRead(EdgeTracker *tracker, LONGLONG beforeCount, LONGLONG afterCount, LONG secondOfDay,
                  LONGLONG mostWidthCounts, EdgeBracket *bracket);

// One line through the brackets: a = the counter's seconds from the reference count to the
// reference second's edge, b = the counter's seconds per board second.
struct EdgeVertex {
    double a;
    double b;
};

struct EdgeFit {
    double countsPerSecond;  // the counter's nominal frequency
    // The accepted brackets, oldest first from `oldest`, and the number of each one's second
    // counted on from the first (so that midnight is an ordinary second).
    EdgeBracket window[EDGE_WINDOW];
    LONGLONG secondNumbers[EDGE_WINDOW];
    int oldest;
    int count;
    // The region of lines through every accepted bracket, in coordinates from the reference
    // bracket (the newest when the region was last built).
    LONGLONG refSecondNumber;
    LONG refSecondOfDay;
    LONGLONG refCount;
    EdgeVertex vertices[EDGE_MOST_VERTICES];
    int vertexCount;
    unsigned recentRejections;  // one bit per bracket offered, the newest lowest: 1 rejected
    EdgeBracket lastRejected;   // the newest bracket dropped, while the one offered after it is
                                // not yet known
    DWORD accepted;             // brackets taken, since the start
    DWORD rejected;             // brackets no line could fit, since the start
    DWORD restarts;             // times the fit started again
};

void StartEdgeFit(EdgeFit *fit, LONGLONG countsPerSecond);

// Drops every bracket: the counter moved unlike the board (a suspend, a paused machine), so no
// line through the old ones holds.
void RestartEdgeFit(EdgeFit *fit);

// Offers a confirmed bracket. Returns 1 when it was taken, 0 when no line through the other
// brackets passes through it (a board that jumped, a read caught mid-update) and it was
// dropped. Two dropped in a row that one line passes through say that the board or the
// counter jumped: the fit starts again from those two. So it does when too many of the recent
// ones were dropped, from the newest.
int AddEdgeBracket(EdgeFit *fit, const EdgeBracket &bracket);

struct BoardTimeEstimate {
    double secondOfDay;  // the board's time of day at the count, in s; may run past 86400 or
                         // below 0 near midnight: the caller takes it modulo the day
    double halfWidthS;   // half the range the lines through the brackets allow
    double rateError;    // the counter against the board, (counter s per board s) - 1
    double rateHalfWidth;
};

// The board's time of day at a count of the counter, from the lines through the brackets.
// Returns 0 before the first bracket.
int EstimateBoardTime(const EdgeFit *fit, LONGLONG count, BoardTimeEstimate *estimate);

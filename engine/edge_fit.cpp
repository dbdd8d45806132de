// The board's second edges against the performance counter.
#include "engine/edge_fit.h"

namespace {

// The counter runs within this much of its nominal rate against the board: a quartz off by
// a thousandth would be broken. It bounds the lines before there are brackets enough to.
const double kMostRateError = 1e-3;
// Each bound is widened by this much, for the counter's own step and the rounding of the
// arithmetic: a bracket is exact, so a line that misses one by less is not told apart.
const double kBoundMarginS = 2e-6;
// Brackets older than this, in board seconds before the newest, leave the fit (after a silent
// stretch of the board, say): the line is not meant to reach so far.
const LONGLONG kMostSpanSeconds = 600;
// The fit starts again when this many of the last 16 brackets offered were dropped: the board
// or the counter jumped, and the old line no longer holds.
const int kRestartRejections = 6;
const unsigned kRecentMask = 0xFFFF;

LONG SecondsAfter(LONG laterSecond, LONG earlierSecond)
{
    const LONG seconds = (laterSecond - earlierSecond) % EDGE_SECONDS_PER_DAY;
    return seconds < 0 ? seconds + EDGE_SECONDS_PER_DAY : seconds;
}

// Keeps the part of the region where sign * (a + x b) <= sign * limit, the side of one bound
// of one bracket. Returns the vertices left; 0 when none are.
int ClipRegion(const EdgeVertex *in, int count, double x, double limit, double sign, EdgeVertex *out)
{
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const EdgeVertex &p = in[i];
        const EdgeVertex &q = in[i + 1 < count ? i + 1 : 0];
        const double pSide = sign * (p.a + x * p.b - limit);
        const double qSide = sign * (q.a + x * q.b - limit);
        if (pSide <= 0 && kept < EDGE_MOST_VERTICES)
            out[kept++] = p;
        if (((pSide < 0 && qSide > 0) || (pSide > 0 && qSide < 0)) && kept < EDGE_MOST_VERTICES) {
            const double t = pSide / (pSide - qSide);
            out[kept++] = EdgeVertex{p.a + t * (q.a - p.a), p.b + t * (q.b - p.b)};
        }
    }
    return kept;
}

// Narrows the region to the lines through one bracket, in place. Returns 0 when no line is
// left, with the region as it was.
int ClipToBracket(const EdgeFit *fit, EdgeVertex *vertices, int *count, const EdgeBracket &bracket,
                  LONGLONG secondNumber)
{
    const double x = static_cast<double>(secondNumber - fit->refSecondNumber);
    const double earliest = static_cast<double>(bracket.earliestCount - fit->refCount) / fit->countsPerSecond;
    const double latest = static_cast<double>(bracket.latestCount - fit->refCount) / fit->countsPerSecond;
    EdgeVertex after[EDGE_MOST_VERTICES];
    EdgeVertex between[EDGE_MOST_VERTICES];
    const int afterCount = ClipRegion(vertices, *count, x, earliest - kBoundMarginS, -1.0, after);
    const int betweenCount = ClipRegion(after, afterCount, x, latest + kBoundMarginS, 1.0, between);
    if (betweenCount == 0)
        return 0;
    for (int i = 0; i < betweenCount; ++i)
        vertices[i] = between[i];
    *count = betweenCount;
    return 1;
}

int NewestIndex(const EdgeFit *fit) { return (fit->oldest + fit->count - 1) % EDGE_WINDOW; }

// The region of every line through the reference bracket, the newest, at a rate within
// bounds: the four corners of (a, b).
void StartRegion(EdgeFit *fit)
{
    const int newest = NewestIndex(fit);
    const EdgeBracket &bracket = fit->window[newest];
    fit->refSecondNumber = fit->secondNumbers[newest];
    fit->refSecondOfDay = bracket.secondOfDay;
    fit->refCount = bracket.earliestCount;
    const double width = static_cast<double>(bracket.latestCount - bracket.earliestCount) / fit->countsPerSecond;
    const double earliest = -kBoundMarginS;
    const double latest = width + kBoundMarginS;
    fit->vertices[0] = EdgeVertex{earliest, 1 - kMostRateError};
    fit->vertices[1] = EdgeVertex{latest, 1 - kMostRateError};
    fit->vertices[2] = EdgeVertex{latest, 1 + kMostRateError};
    fit->vertices[3] = EdgeVertex{earliest, 1 + kMostRateError};
    fit->vertexCount = 4;
}

// Builds the region from every bracket held, the newest first. A bracket that would leave no
// line (one taken when the region was wider, now out of place) is passed over.
void BuildRegion(EdgeFit *fit)
{
    StartRegion(fit);
    for (int back = 1; back < fit->count; ++back) {
        const int index = (fit->oldest + fit->count - 1 - back) % EDGE_WINDOW;
        ClipToBracket(fit, fit->vertices, &fit->vertexCount, fit->window[index], fit->secondNumbers[index]);
    }
}

void DropOld(EdgeFit *fit, LONGLONG newSecondNumber)
{
    while (fit->count > 0 && (fit->count == EDGE_WINDOW ||
                              newSecondNumber - fit->secondNumbers[fit->oldest] > kMostSpanSeconds)) {
        fit->oldest = (fit->oldest + 1) % EDGE_WINDOW;
        --fit->count;
    }
}

void Keep(EdgeFit *fit, const EdgeBracket &bracket, LONGLONG secondNumber)
{
    const int slot = (fit->oldest + fit->count) % EDGE_WINDOW;
    fit->window[slot] = bracket;
    fit->secondNumbers[slot] = secondNumber;
    ++fit->count;
}

int CountBits(unsigned bits) { return __builtin_popcount(bits); }

// Whether one line at a rate within bounds passes through two brackets, `later` the given
// seconds after `earlier`: the two agree with each other, whatever the fit held.
int BracketsAgree(const EdgeBracket &earlier, const EdgeBracket &later, double countsPerSecond)
{
    const LONG seconds = SecondsAfter(later.secondOfDay, earlier.secondOfDay);
    if (seconds == 0)
        return 0;
    const double earliestS = static_cast<double>(later.earliestCount - earlier.latestCount) / countsPerSecond;
    const double latestS = static_cast<double>(later.latestCount - earlier.earliestCount) / countsPerSecond;
    return latestS + 2 * kBoundMarginS >= seconds * (1 - kMostRateError) &&
           earliestS - 2 * kBoundMarginS <= seconds * (1 + kMostRateError);
}

// Starts the fit again from the last bracket dropped and the one after it.
void StartFromLastTwo(EdgeFit *fit, const EdgeBracket &bracket)
{
    ++fit->restarts;
    fit->count = 0;
    fit->recentRejections = 0;
    Keep(fit, fit->lastRejected, 0);
    Keep(fit, bracket, SecondsAfter(bracket.secondOfDay, fit->lastRejected.secondOfDay));
    ++fit->accepted;
    BuildRegion(fit);
}

}  // namespace

BracketOutcome BracketFromReads(LONGLONG earlierBeforeCount, LONG earlierSecond, LONGLONG laterAfterCount,
                                LONG laterSecond, LONGLONG mostWidthCounts, EdgeBracket *bracket)
{
    const LONG step = SecondsAfter(laterSecond, earlierSecond);
    if (step == 0)
        return BRACKET_SAME_SECOND;
    if (step != 1)
        return BRACKET_NOT_NEXT;
    if (laterAfterCount - earlierBeforeCount > mostWidthCounts)
        return BRACKET_TOO_WIDE;
    *bracket = EdgeBracket{earlierBeforeCount, laterAfterCount, laterSecond};
    return BRACKET_MADE;
}

int TrackEdgeRead(EdgeTracker *tracker, LONGLONG beforeCount, LONGLONG afterCount, LONG secondOfDay,
                  LONGLONG mostWidthCounts, EdgeBracket *bracket)
{
    const int made = tracker->haveRead && BracketFromReads(tracker->lastBeforeCount, tracker->lastSecond, afterCount,
                                                           secondOfDay, mostWidthCounts, bracket) == BRACKET_MADE;
    *tracker = EdgeTracker{1, beforeCount, secondOfDay};
    return made;
}

void StartEdgeFit(EdgeFit *fit, LONGLONG countsPerSecond)
{
    fit->countsPerSecond = static_cast<double>(countsPerSecond);
    fit->accepted = 0;
    fit->rejected = 0;
    fit->restarts = 0;
    RestartEdgeFit(fit);
    fit->restarts = 0;
}

void RestartEdgeFit(EdgeFit *fit)
{
    fit->oldest = 0;
    fit->count = 0;
    fit->vertexCount = 0;
    fit->recentRejections = 0;
    ++fit->restarts;
}

int AddEdgeBracket(EdgeFit *fit, const EdgeBracket &bracket)
{
    LONGLONG secondNumber = 0;
    if (fit->count > 0) {
        const int newest = NewestIndex(fit);
        const LONG step = SecondsAfter(bracket.secondOfDay, fit->window[newest].secondOfDay);
        secondNumber = fit->secondNumbers[newest] + (step == 0 ? EDGE_SECONDS_PER_DAY : step);
        DropOld(fit, secondNumber);
    }
    int fits = 1;
    if (fit->count > 0) {
        BuildRegion(fit);
        EdgeVertex narrowed[EDGE_MOST_VERTICES];
        int narrowedCount = fit->vertexCount;
        for (int i = 0; i < narrowedCount; ++i)
            narrowed[i] = fit->vertices[i];
        fits = ClipToBracket(fit, narrowed, &narrowedCount, bracket, secondNumber);
        if (fits) {
            for (int i = 0; i < narrowedCount; ++i)
                fit->vertices[i] = narrowed[i];
            fit->vertexCount = narrowedCount;
        }
    }
    const int lastWasRejected = fit->recentRejections & 1u;
    fit->recentRejections = ((fit->recentRejections << 1) | (fits ? 0u : 1u)) & kRecentMask;
    if (!fits) {
        ++fit->rejected;
        if (lastWasRejected && BracketsAgree(fit->lastRejected, bracket, fit->countsPerSecond)) {
            StartFromLastTwo(fit, bracket);
            return 1;
        }
        fit->lastRejected = bracket;
        if (CountBits(fit->recentRejections) < kRestartRejections)
            return 0;
        ++fit->restarts;
        fit->count = 0;
        fit->recentRejections = 0;
    }
    Keep(fit, bracket, secondNumber);
    ++fit->accepted;
    if (fit->count == 1)
        StartRegion(fit);
    return 1;
}

int EstimateBoardTime(const EdgeFit *fit, LONGLONG count, BoardTimeEstimate *estimate)
{
    if (fit->count == 0 || fit->vertexCount == 0)
        return 0;
    const double y = static_cast<double>(count - fit->refCount) / fit->countsPerSecond;
    double earliest = 0, latest = 0, slowest = 0, fastest = 0;
    for (int i = 0; i < fit->vertexCount; ++i) {
        const EdgeVertex &v = fit->vertices[i];
        const double seconds = (y - v.a) / v.b;
        earliest = i == 0 || seconds < earliest ? seconds : earliest;
        latest = i == 0 || seconds > latest ? seconds : latest;
        slowest = i == 0 || v.b < slowest ? v.b : slowest;
        fastest = i == 0 || v.b > fastest ? v.b : fastest;
    }
    estimate->secondOfDay = fit->refSecondOfDay + (earliest + latest) / 2;
    estimate->halfWidthS = (latest - earliest) / 2;
    estimate->rateError = (slowest + fastest) / 2 - 1;
    estimate->rateHalfWidth = (fastest - slowest) / 2;
    return 1;
}

// The board's delay as `-load` gives it, in milliseconds with up to three decimals.
#include "engine/board_delay_rule.h"

namespace {

const LONG kUsPerMs = 1000;
const int kMostDecimals = 3;
// A second either way is already far more than any board adds, and a wrong figure moves the
// clock by all of it.
const LONG kMostUs = 1000000;

int IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int ParseBoardDelay(const char *text, LONG *delayUs)
{
    const int negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    if (!IsDigit(*text))
        return 0;
    // Whole ms first: past the bound the rest need not be read, and the sum cannot overflow
    // however many digits follow.
    LONG us = 0;
    for (; IsDigit(*text); ++text) {
        us = us * 10 + (*text - '0') * kUsPerMs;
        if (us > kMostUs)
            return 0;
    }
    if (*text == '.') {
        ++text;
        LONG place = kUsPerMs;
        int decimals = 0;
        for (; IsDigit(*text) && decimals < kMostDecimals; ++text, ++decimals) {
            place /= 10;
            us += (*text - '0') * place;
        }
        if (decimals == 0)
            return 0;
    }
    if (*text != '\0' || us > kMostUs)
        return 0;
    *delayUs = negative ? -us : us;
    return 1;
}

// Comparing command-line words without regard to case.
#pragma once

// Case is folded for ASCII letters only, so the comparison does not depend on the locale.
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// 1 when `text` is `word`, letters compared without regard to case; otherwise 0.
inline int EqualsIgnoringCase(const char *text, const char *word)
{
    for (; *text && *word; ++text, ++word)
        if (AsciiLower(*text) != AsciiLower(*word))
            return 0;
    return *text == '\0' && *word == '\0';
}

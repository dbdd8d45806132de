// Configuration of the stand-in reader library: the text of ZYN_NTTC.ini in, a record out.
//
// The parser works on spans of the caller's text and copies nothing but the log name, into
// a field of fixed size, so no line or value can overrun anything. Every number is checked
// against its key's bounds digit by digit, before it could overflow.
#include "reader/standin/standin_config.h"

#include <cstring>

namespace {

// A piece of the caller's text, [begin, end).
struct TextSpan {
    const char *begin;
    const char *end;
};

enum ConfigKey {
    KEY_BOARD,
    KEY_ADDRESS,
    KEY_ANSWER_ADDRESS,
    KEY_ANSWER_FROM_QUERY,
    KEY_FENLO_ID,
    KEY_FENLO_SIGNATURE,
    KEY_TIME_BASE,
    KEY_OFFSET_MS,
    KEY_FRAME_RATE,
    KEY_OPEN_FAILS,
    KEY_READ_FAIL_PERCENT,
    KEY_TORN_READ_PERCENT,
    KEY_FROZEN_AFTER_READS,
    KEY_SILENT_AFTER_READS,
    KEY_SILENT_FOR_READS,
    KEY_SILENT_EVERY_READS,
    KEY_LOG,
    KEY_SAMPLE_EVERY_READS,
    KEY_SEED,
    KEY_UNKNOWN
};

struct KeyName {
    const char *name;
    ConfigKey key;
};

const KeyName kKeyNames[] = {
    {"board", KEY_BOARD},
    {"address", KEY_ADDRESS},
    {"answer_address", KEY_ANSWER_ADDRESS},
    {"answer_from_query", KEY_ANSWER_FROM_QUERY},
    {"fenlo_id", KEY_FENLO_ID},
    {"fenlo_signature", KEY_FENLO_SIGNATURE},
    {"time_base", KEY_TIME_BASE},
    {"offset_ms", KEY_OFFSET_MS},
    {"frame_rate", KEY_FRAME_RATE},
    {"open_fails", KEY_OPEN_FAILS},
    {"read_fail_percent", KEY_READ_FAIL_PERCENT},
    {"torn_read_percent", KEY_TORN_READ_PERCENT},
    {"frozen_after_reads", KEY_FROZEN_AFTER_READS},
    {"silent_after_reads", KEY_SILENT_AFTER_READS},
    {"silent_for_reads", KEY_SILENT_FOR_READS},
    {"silent_every_reads", KEY_SILENT_EVERY_READS},
    {"log", KEY_LOG},
    {"sample_every_reads", KEY_SAMPLE_EVERY_READS},
    {"seed", KEY_SEED},
};

const std::uint32_t kMaxAddress = 0xFFFF;
const std::uint32_t kMaxByte = 0xFF;
const std::uint32_t kMaxPercent = 100;
const std::uint32_t kMaxAnswerFromQuery = 65535;
const std::uint32_t kMaxCount = 0xFFFFFFFFu;
// Offsets beyond a day would only wrap round to the same time of day.
const std::uint32_t kMaxOffsetMs = 86400000;

int IsBlank(char c) { return c == ' ' || c == '\t'; }

TextSpan Trim(TextSpan span)
{
    while (span.begin < span.end && IsBlank(span.begin[0]))
        ++span.begin;
    while (span.end > span.begin && IsBlank(span.end[-1]))
        --span.end;
    return span;
}

std::size_t Length(TextSpan span) { return static_cast<std::size_t>(span.end - span.begin); }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Keys and words compare without regard to ASCII case.
int EqualsIgnoringCase(TextSpan span, const char *word)
{
    if (Length(span) != std::strlen(word))
        return 0;
    for (const char *p = span.begin; p < span.end; ++p, ++word) {
        if (LowerAscii(*p) != *word)
            return 0;
    }
    return 1;
}

// The value of one digit in `base` (10 or 16), or -1 for anything else.
int DigitValue(char c, std::uint32_t base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decimal digits, or hexadecimal digits after "0x"; nothing else, no sign. Refuses a value
// above `max` before it is formed, so nothing overflows whatever the number of digits.
int ParseUnsigned(TextSpan text, std::uint32_t max, std::uint32_t *value)
{
    std::uint32_t base = 10;
    const char *p = text.begin;
    if (Length(text) > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (p == text.end)
        return 0;
    std::uint32_t result = 0;
    for (; p < text.end; ++p) {
        const int digit = DigitValue(*p, base);
        if (digit < 0)
            return 0;
        const std::uint32_t digitValue = static_cast<std::uint32_t>(digit);
        if (digitValue > max || result > (max - digitValue) / base)
            return 0;
        result = result * base + digitValue;
    }
    *value = result;
    return 1;
}

// An optional '+' or '-' before an unsigned number of at most `maxMagnitude`.
int ParseSigned(TextSpan text, std::uint32_t maxMagnitude, std::int32_t *value)
{
    int negative = 0;
    if (text.begin < text.end && (text.begin[0] == '+' || text.begin[0] == '-')) {
        negative = text.begin[0] == '-';
        ++text.begin;
    }
    std::uint32_t magnitude = 0;
    if (!ParseUnsigned(text, maxMagnitude, &magnitude))
        return 0;
    // maxMagnitude stays below 2^31, so both signs fit.
    *value = negative ? -static_cast<std::int32_t>(magnitude) : static_cast<std::int32_t>(magnitude);
    return 1;
}

int ParseBounded(TextSpan text, std::uint32_t min, std::uint32_t max, std::uint32_t *value)
{
    std::uint32_t result = 0;
    if (!ParseUnsigned(text, max, &result) || result < min)
        return 0;
    *value = result;
    return 1;
}

// A byte is one character that is not a digit ("P" is 0x50), or a number up to 255 ("80",
// "0x50"). A lone digit is the number, so the byte '5' is written 0x35.
int ParseByte(TextSpan text, std::uint8_t *value)
{
    std::uint32_t number = 0;
    if (Length(text) == 1 && DigitValue(text.begin[0], 10) < 0) {
        *value = static_cast<std::uint8_t>(text.begin[0]);
        return 1;
    }
    if (!ParseUnsigned(text, kMaxByte, &number))
        return 0;
    *value = static_cast<std::uint8_t>(number);
    return 1;
}

// Exactly three bytes separated by blanks, as in "X R Y".
int ParseSignature(TextSpan text, std::uint8_t signature[3])
{
    std::uint8_t bytes[3];
    const char *p = text.begin;
    for (int i = 0; i < 3; ++i) {
        while (p < text.end && IsBlank(*p))
            ++p;
        TextSpan token{p, p};
        while (token.end < text.end && !IsBlank(*token.end))
            ++token.end;
        if (token.begin == token.end || !ParseByte(token, &bytes[i]))
            return 0;
        p = token.end;
    }
    if (Trim(TextSpan{p, text.end}).begin != text.end)
        return 0;
    std::memcpy(signature, bytes, sizeof bytes);
    return 1;
}

int ParseYesNo(TextSpan text, int *value)
{
    if (EqualsIgnoringCase(text, "yes") || EqualsIgnoringCase(text, "true") || EqualsIgnoringCase(text, "1")) {
        *value = 1;
        return 1;
    }
    if (EqualsIgnoringCase(text, "no") || EqualsIgnoringCase(text, "false") || EqualsIgnoringCase(text, "0")) {
        *value = 0;
        return 1;
    }
    return 0;
}

int ParseFamily(TextSpan text, int *family)
{
    static const struct {
        const char *word;
        int family;
    } kFamilies[] = {{"tav", STANDIN_FAMILY_TAV},
                     {"brq", STANDIN_FAMILY_BRQ},
                     {"fenlo", STANDIN_FAMILY_FENLO},
                     {"none", STANDIN_FAMILY_NONE}};
    for (const auto &entry : kFamilies) {
        if (EqualsIgnoringCase(text, entry.word)) {
            *family = entry.family;
            return 1;
        }
    }
    return 0;
}

int ParseTimeBase(TextSpan text, int *useUtc)
{
    if (EqualsIgnoringCase(text, "local")) {
        *useUtc = 0;
        return 1;
    }
    if (EqualsIgnoringCase(text, "utc")) {
        *useUtc = 1;
        return 1;
    }
    return 0;
}

// The log must stay beside the library: a plain file name, with none of the characters that
// Windows refuses in names or that would lead to another folder or device.
int IsLogNameCharacter(char c)
{
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F && std::strchr("<>:\"/\\|?*", c) == nullptr;
}

int ParseLogName(TextSpan text, char name[STANDIN_LOG_NAME_MAX + 1])
{
    if (EqualsIgnoringCase(text, "none")) {
        name[0] = '\0';
        return 1;
    }
    const std::size_t length = Length(text);
    if (length == 0 || length > STANDIN_LOG_NAME_MAX || text.end[-1] == '.')
        return 0;
    for (const char *p = text.begin; p < text.end; ++p) {
        if (!IsLogNameCharacter(*p))
            return 0;
    }
    std::memcpy(name, text.begin, length);
    name[length] = '\0';
    return 1;
}

ConfigKey FindKey(TextSpan name)
{
    for (const KeyName &entry : kKeyNames) {
        if (EqualsIgnoringCase(name, entry.name))
            return entry.key;
    }
    return KEY_UNKNOWN;
}

// Sets one key from its value text; leaves *config as it was and returns 0 when the value
// is not one the key accepts.
int ApplyKey(ConfigKey key, TextSpan value, StandinConfig *config)
{
    std::uint32_t number = 0;
    switch (key) {
    case KEY_BOARD:
        return ParseFamily(value, &config->family);
    case KEY_ADDRESS:
        if (!ParseBounded(value, 0, kMaxAddress, &number))
            return 0;
        config->address = static_cast<std::uint16_t>(number);
        return 1;
    case KEY_ANSWER_ADDRESS:
        if (!ParseBounded(value, 0, kMaxAddress, &number))
            return 0;
        config->answerAddress = static_cast<std::uint16_t>(number);
        return 1;
    case KEY_ANSWER_FROM_QUERY:
        return ParseBounded(value, 1, kMaxAnswerFromQuery, &config->answerFromQuery);
    case KEY_FENLO_ID:
        return ParseByte(value, &config->fenloId);
    case KEY_FENLO_SIGNATURE:
        return ParseSignature(value, config->fenloSignature);
    case KEY_TIME_BASE:
        return ParseTimeBase(value, &config->useUtc);
    case KEY_OFFSET_MS:
        return ParseSigned(value, kMaxOffsetMs, &config->offsetMs);
    case KEY_FRAME_RATE:
        if (!ParseBounded(value, 0, kMaxByte, &number) || (number != 25 && number != 30))
            return 0;
        config->frameRate = static_cast<int>(number);
        return 1;
    case KEY_OPEN_FAILS:
        return ParseYesNo(value, &config->openFails);
    case KEY_READ_FAIL_PERCENT:
        if (!ParseBounded(value, 0, kMaxPercent, &number))
            return 0;
        config->readFailPercent = static_cast<int>(number);
        return 1;
    case KEY_TORN_READ_PERCENT:
        if (!ParseBounded(value, 0, kMaxPercent, &number))
            return 0;
        config->tornReadPercent = static_cast<int>(number);
        return 1;
    case KEY_FROZEN_AFTER_READS:
        return ParseBounded(value, 0, kMaxCount, &config->frozenAfterReads);
    case KEY_SILENT_AFTER_READS:
        return ParseBounded(value, 0, kMaxCount, &config->silentAfterReads);
    case KEY_SILENT_FOR_READS:
        return ParseBounded(value, 0, kMaxCount, &config->silentForReads);
    case KEY_SILENT_EVERY_READS:
        return ParseBounded(value, 0, kMaxCount, &config->silentEveryReads);
    case KEY_LOG:
        return ParseLogName(value, config->logName);
    case KEY_SAMPLE_EVERY_READS:
        return ParseBounded(value, 0, kMaxCount, &config->sampleEveryReads);
    case KEY_SEED:
        return ParseBounded(value, 0, kMaxCount, &config->seed);
    case KEY_UNKNOWN:
        break;
    }
    return 0;
}

void NoteLine(int lineNumber, int *count, int *firstLine)
{
    ++*count;
    if (*firstLine == 0)
        *firstLine = lineNumber;
}

// One line without its end: "key = value", optionally followed by a '#' comment. Returns the
// key it set, or KEY_UNKNOWN when it set none (blank, comment, unknown or rejected).
ConfigKey ParseLine(TextSpan line, int lineNumber, StandinConfig *config, StandinParseReport *report)
{
    const char *comment = static_cast<const char *>(std::memchr(line.begin, '#', Length(line)));
    if (comment)
        line.end = comment;
    line = Trim(line);
    if (line.begin == line.end)
        return KEY_UNKNOWN;
    const char *equals = static_cast<const char *>(std::memchr(line.begin, '=', Length(line)));
    if (!equals) {
        NoteLine(lineNumber, &report->rejectedLines, &report->firstRejectedLine);
        return KEY_UNKNOWN;
    }
    const TextSpan name = Trim(TextSpan{line.begin, equals});
    const TextSpan value = Trim(TextSpan{equals + 1, line.end});
    if (name.begin == name.end) {
        NoteLine(lineNumber, &report->rejectedLines, &report->firstRejectedLine);
        return KEY_UNKNOWN;
    }
    const ConfigKey key = FindKey(name);
    if (key == KEY_UNKNOWN) {
        NoteLine(lineNumber, &report->unknownKeys, &report->firstUnknownLine);
        return KEY_UNKNOWN;
    }
    if (!ApplyKey(key, value, config)) {
        NoteLine(lineNumber, &report->rejectedLines, &report->firstRejectedLine);
        return KEY_UNKNOWN;
    }
    return key;
}

}  // namespace

void StandinConfigDefaults(StandinConfig *config)
{
    std::memset(config, 0, sizeof *config);
    config->family = STANDIN_FAMILY_TAV;
    config->address = 0x300;
    config->answerAddress = 0x300;
    config->answerFromQuery = 1;
    config->fenloId = 'P';
    config->fenloSignature[0] = 'R';
    config->fenloSignature[1] = 'R';
    config->fenloSignature[2] = 'R';
    config->useUtc = 0;
    config->frameRate = 25;
    config->seed = 1;
}

int StandinParseConfig(const char *text, std::size_t length, StandinConfig *config, StandinParseReport *report)
{
    StandinConfigDefaults(config);
    std::memset(report, 0, sizeof *report);
    if (length > STANDIN_CONFIG_MAX_BYTES)
        return 0;
    if (length == 0)
        return 1;
    if (std::memchr(text, '\0', length) != nullptr)
        return 0;

    const char *p = text;
    const char *end = text + length;
    // Notepad starts a UTF-8 file with a byte-order mark.
    if (length >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
        p += 3;

    int answerAddressGiven = 0;
    for (int lineNumber = 1; p < end; ++lineNumber) {
        const char *newline = static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        TextSpan line{p, newline ? newline : end};
        if (line.end > line.begin && line.end[-1] == '\r')
            --line.end;
        if (ParseLine(line, lineNumber, config, report) == KEY_ANSWER_ADDRESS)
            answerAddressGiven = 1;
        p = newline ? newline + 1 : end;
    }
    // Without answer_address the board leaves its own address, wherever that line stands.
    if (!answerAddressGiven)
        config->answerAddress = config->address;
    return 1;
}

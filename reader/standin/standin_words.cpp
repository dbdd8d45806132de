// What the simulated board answers: words, torn words, faults, identification, registers.
#include "reader/standin/standin_words.h"

namespace {

const std::int64_t kMsPerHour = 3600000;
const std::int64_t kMsPerMinute = 60000;
const std::int64_t kMsPerSecond = 1000;

const std::uint16_t kFenloIdRegister = 0x3EF;
const std::uint16_t kFenloFirstSignatureRegister = 0x3E0;

// Brings any time in ms into one day, for negative values too (C++ % keeps the sign).
std::int64_t WrapIntoDay(std::int64_t ms)
{
    const std::int64_t wrapped = ms % STANDIN_MS_PER_DAY;
    return wrapped < 0 ? wrapped + STANDIN_MS_PER_DAY : wrapped;
}

std::uint32_t PackWord(int hours, int minutes, int seconds, int frame)
{
    return static_cast<std::uint32_t>(StandinBcd(hours)) << 24 | static_cast<std::uint32_t>(StandinBcd(minutes)) << 16 |
           static_cast<std::uint32_t>(StandinBcd(seconds)) << 8 | StandinBcd(frame);
}

int SecondsOf(std::int64_t msOfDay) { return static_cast<int>(msOfDay / kMsPerSecond % 60); }

int FrameOf(std::int64_t msOfDay, int frameRate)
{
    return static_cast<int>(msOfDay % kMsPerSecond * frameRate / kMsPerSecond);
}

}  // namespace

std::int64_t StandinMsOfDay(int hour, int minute, int second, int millisecond, std::int32_t offsetMs)
{
    const std::int64_t clockMs = hour * kMsPerHour + minute * kMsPerMinute + second * kMsPerSecond + millisecond;
    return WrapIntoDay(clockMs + offsetMs);
}

std::uint8_t StandinBcd(int value)
{
    const int twoDigits = value % 100;
    return static_cast<std::uint8_t>(twoDigits / 10 << 4 | twoDigits % 10);
}

std::uint32_t StandinTimeWord(std::int64_t msOfDay, int frameRate)
{
    msOfDay = WrapIntoDay(msOfDay);
    return PackWord(static_cast<int>(msOfDay / kMsPerHour), static_cast<int>(msOfDay / kMsPerMinute % 60),
                    SecondsOf(msOfDay), FrameOf(msOfDay, frameRate));
}

std::uint32_t StandinTornWord(std::int64_t msOfDay, int frameRate)
{
    msOfDay = WrapIntoDay(msOfDay);
    const std::uint32_t nextSeconds = StandinBcd((SecondsOf(msOfDay) + 1) % 60);
    return (StandinTimeWord(msOfDay, frameRate) & 0xFFFF00FFu) | nextSeconds << 8;
}

void StandinSeedPrng(StandinPrng *prng, std::uint32_t seed) { prng->state = seed; }

std::uint32_t StandinNextRandom(StandinPrng *prng)
{
    prng->state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = prng->state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
}

int StandinDrawPercent(StandinPrng *prng)
{
    // Multiply and shift rather than %, which would favour the low values.
    return static_cast<int>(static_cast<std::uint64_t>(StandinNextRandom(prng)) * 100 >> 32);
}

int StandinInSilentStretch(const StandinConfig *config, std::uint64_t readNumber)
{
    if (config->silentForReads == 0 || readNumber <= config->silentAfterReads)
        return 0;
    // 0 for the first read of a stretch; 64 bits, so no sum of 32-bit settings overflows.
    std::uint64_t intoStretch = readNumber - config->silentAfterReads - 1;
    if (config->silentEveryReads != 0)
        intoStretch %= config->silentEveryReads;
    return intoStretch < config->silentForReads;
}

StandinReadOutcome StandinDecideRead(const StandinConfig *config, std::uint64_t readNumber, StandinPrng *prng)
{
    const int draw = StandinDrawPercent(prng);
    if (StandinInSilentStretch(config, readNumber))
        return STANDIN_READ_SILENT;
    if (draw < config->readFailPercent)
        return STANDIN_READ_FAILED;
    if (config->frozenAfterReads != 0 && readNumber > config->frozenAfterReads)
        return STANDIN_READ_FROZEN;
    if (draw < config->readFailPercent + config->tornReadPercent)
        return STANDIN_READ_TORN;
    return STANDIN_READ_LIVE;
}

int StandinBoardAt(const StandinConfig *config, std::uint16_t address)
{
    return config->family != STANDIN_FAMILY_NONE && (address == config->address || address == config->answerAddress);
}

int StandinIdentifyAnswer(const StandinConfig *config, std::uint16_t address, std::uint32_t queryNumber,
                          std::uint16_t *answerAddress)
{
    if (config->family == STANDIN_FAMILY_NONE || address != config->address || queryNumber < config->answerFromQuery)
        return 0;
    *answerAddress = config->answerAddress;
    return config->family;
}

int StandinRegisterAnswer(const StandinConfig *config, std::uint16_t address, std::uint16_t registerNumber,
                          std::uint8_t *value)
{
    *value = 0;
    if (config->family != STANDIN_FAMILY_FENLO || !StandinBoardAt(config, address))
        return 0;
    if (registerNumber == kFenloIdRegister) {
        *value = config->fenloId;
        return 1;
    }
    if (registerNumber >= kFenloFirstSignatureRegister && registerNumber < kFenloFirstSignatureRegister + 3) {
        *value = config->fenloSignature[registerNumber - kFenloFirstSignatureRegister];
        return 1;
    }
    return 0;
}

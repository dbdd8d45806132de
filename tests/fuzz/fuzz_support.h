// Shared by the fuzz targets: stopping at a broken invariant, a quiet standard output, and
// reading the input from its start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Stops the run at once when the condition does not hold; libFuzzer keeps the input that
// broke it.
#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : FuzzFail(#condition, __FILE__, __LINE__))

[[noreturn]] inline void FuzzFail(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::fflush(stderr);
    __builtin_trap();
}

// The program prints its messages and traces to standard output, which would drown the
// fuzzer's own report (on standard error).
inline void SilenceStandardOutput()
{
    if (!std::freopen("/dev/null", "w", stdout))
        FuzzFail("standard output sent to /dev/null", __FILE__, __LINE__);
}

// Reads the fuzzer's input from the front, integers least significant byte first. Past the
// end every byte reads as 0, so any input is a whole run.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return used_ >= size_; }
    std::size_t Remaining() const { return Empty() ? 0 : size_ - used_; }

    std::uint8_t Byte() { return used_ < size_ ? data_[used_++] : 0; }

    // An unsigned integer of `bytes` bytes (1 to 8).
    std::uint64_t Unsigned(int bytes)
    {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<std::uint64_t>(Byte()) << (8 * i);
        return value;
    }

    // A value from low to high, both included, taken from `bytes` bytes.
    std::uint64_t InRange(std::uint64_t low, std::uint64_t high, int bytes)
    {
        const std::uint64_t span = high - low;
        const std::uint64_t raw = Unsigned(bytes);
        return span == UINT64_MAX ? raw : low + raw % (span + 1);
    }

    // The next `length` bytes, or as many as are left; *taken says how many that was.
    const std::uint8_t *Bytes(std::size_t length, std::size_t *taken)
    {
        *taken = length < Remaining() ? length : Remaining();
        const std::uint8_t *start = data_ + used_;
        used_ += *taken;
        return start;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

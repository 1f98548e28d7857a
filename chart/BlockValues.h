#pragma once
// One channel's values in thousandths, stored a block of 128 at a time: as a byte above
// the block's smallest when they all lie within 0.255 of it (a lambda rarely moves more
// in a second and a half at the line's limit), else as they are. The block being filled
// is kept whole until it is complete.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The smallest and largest of a run of values, and where each first occurs in its block.
struct TRunExtremes {
    std::int16_t Least = 0;
    std::int16_t Most = 0;
    std::size_t LeastAt = 0;
    std::size_t MostAt = 0;
};

class TBlockValues {
public:
    static constexpr std::size_t BlockSize = 128;

    void Append(std::int16_t thousandths);
    std::int16_t At(std::size_t i) const;
    std::size_t Size() const { return FSize; }
    // The values of block b, complete or being filled, into `out`.
    void Decode(std::size_t block, std::int16_t* out) const;
    // The extremes of block b's values [from, to), from < to, read where they are kept.
    TRunExtremes RunExtremes(std::size_t block, std::size_t from, std::size_t to) const;
    void Reserve(std::size_t values);
    std::size_t Bytes() const;

private:
    static constexpr std::uint32_t Wide = 0x80000000u;

    void Seal();

    std::vector<std::uint32_t> FBlockAt; // where each block's values start; Wide if 16-bit
    std::vector<std::int16_t> FBlockBase;
    std::vector<std::uint8_t> FBytes;
    std::array<std::int16_t, BlockSize> FOpen{};
    std::size_t FSize = 0;
};

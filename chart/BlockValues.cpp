#include "chart/BlockValues.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int NarrowRange = 255;
} // namespace

void TBlockValues::Append(std::int16_t thousandths) {
    FOpen[FSize % BlockSize] = thousandths;
    if (++FSize % BlockSize == 0)
        Seal();
}

void TBlockValues::Seal() {
    const auto [low, high] = std::minmax_element(FOpen.begin(), FOpen.end());
    const std::size_t at = FBytes.size();
    FBlockBase.push_back(*low);
    if (*high - *low <= NarrowRange) {
        FBlockAt.push_back(std::uint32_t(at));
        FBytes.resize(at + BlockSize);
        std::uint8_t* out = FBytes.data() + at;
        for (std::size_t k = 0; k < BlockSize; ++k)
            out[k] = std::uint8_t(FOpen[k] - *low);
        return;
    }
    FBlockAt.push_back(std::uint32_t(at) | Wide);
    FBytes.resize(at + sizeof FOpen);
    std::memcpy(FBytes.data() + at, FOpen.data(), sizeof FOpen);
}

std::int16_t TBlockValues::At(std::size_t i) const {
    const std::size_t block = i / BlockSize, k = i % BlockSize;
    if (block == FBlockAt.size())
        return FOpen[k];
    const std::uint32_t at = FBlockAt[block];
    if (!(at & Wide))
        return std::int16_t(FBlockBase[block] + FBytes[at + k]);
    std::int16_t v = 0;
    std::memcpy(&v, FBytes.data() + (at & ~Wide) + k * sizeof v, sizeof v);
    return v;
}

void TBlockValues::Decode(std::size_t block, std::int16_t* out) const {
    if (block == FBlockAt.size()) {
        std::copy(FOpen.begin(), FOpen.begin() + std::ptrdiff_t(FSize % BlockSize), out);
        return;
    }
    const std::uint32_t at = FBlockAt[block];
    if (at & Wide) {
        std::memcpy(out, FBytes.data() + (at & ~Wide), sizeof FOpen);
        return;
    }
    const std::int16_t base = FBlockBase[block];
    for (std::size_t k = 0; k < BlockSize; ++k)
        out[k] = std::int16_t(base + FBytes[at + k]);
}

namespace {
template <class T> TRunExtremes ExtremesOf(const T* values, std::size_t from, std::size_t to) {
    T least = values[from], most = values[from];
    for (std::size_t k = from + 1; k < to; ++k) {
        least = std::min(least, values[k]);
        most = std::max(most, values[k]);
    }
    return {std::int16_t(least), std::int16_t(most),
            std::size_t(std::find(values + from, values + to, least) - values),
            std::size_t(std::find(values + from, values + to, most) - values)};
}
} // namespace

TRunExtremes TBlockValues::RunExtremes(std::size_t block, std::size_t from, std::size_t to) const {
    if (block == FBlockAt.size())
        return ExtremesOf(FOpen.data(), from, to);
    const std::uint32_t at = FBlockAt[block];
    if (at & Wide) {
        std::array<std::int16_t, BlockSize> values;
        std::memcpy(values.data(), FBytes.data() + (at & ~Wide), sizeof values);
        return ExtremesOf(values.data(), from, to);
    }
    TRunExtremes run = ExtremesOf(FBytes.data() + at, from, to);
    run.Least = std::int16_t(FBlockBase[block] + std::uint8_t(run.Least));
    run.Most = std::int16_t(FBlockBase[block] + std::uint8_t(run.Most));
    return run;
}

// Room for every block at two bytes a value: address space only, until values fill it.
void TBlockValues::Reserve(std::size_t values) {
    FBlockAt.reserve(values / BlockSize + 1);
    FBlockBase.reserve(values / BlockSize + 1);
    FBytes.reserve(2 * values);
}

std::size_t TBlockValues::Bytes() const {
    return FBlockAt.size() * sizeof(std::uint32_t) + FBlockBase.size() * sizeof(std::int16_t) +
           FBytes.size() + sizeof FOpen;
}

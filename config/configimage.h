#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "config/imagelayout.h"

// The card's whole configuration plus the editor's own bookkeeping. The first 512 bytes
// are what the card receives; the rest never leaves the PC but is saved in the project file.
class ConfigImage
{
public:
    static constexpr int Size = 1024;
    static constexpr int UploadSize = 512;

    std::uint8_t &operator[](int offset) { return m_bytes.at(static_cast<std::size_t>(offset)); }
    std::uint8_t operator[](int offset) const
    {
        return m_bytes.at(static_cast<std::size_t>(offset));
    }

    std::uint8_t *data() { return m_bytes.data(); }
    const std::uint8_t *data() const { return m_bytes.data(); }
    const std::array<std::uint8_t, Size> &bytes() const { return m_bytes; }

    void fill(std::uint8_t value) { m_bytes.fill(value); }
    bool operator==(const ConfigImage &) const = default;

private:
    std::array<std::uint8_t, Size> m_bytes{};
};

void SetImageBit(ConfigImage &image, int offset, int bit);
void ClearImageBit(ConfigImage &image, int offset, int bit);
bool TestImageBit(const ConfigImage &image, int offset, int bit);
// Writes one bit from a boolean; the capture does this for nearly every check box.
void AssignImageBit(ConfigImage &image, int offset, int bit, bool value);

// Weekday mask of a day-choice list index: bit 0 = Sunday ... bit 6 = Saturday.
std::uint8_t DayMask(std::uint8_t index);

// The card reads these one-hot: 1 shifted left by (index + k) in 8 bits, so an index that
// would shift past bit 7 (or a list without selection, index -1) stores 0.
std::uint8_t OneHot(int index, int k = 0);

// Low 8 bits of a list index or number, two's complement for negatives.
constexpr std::uint8_t LowByte(long long value)
{
    return static_cast<std::uint8_t>(static_cast<unsigned long long>(value) & 0xFFu);
}

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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

// Byte offsets of the per-relay records; p is the relay index 0 to 7.
namespace ImageOffset {
constexpr int logicInputs(int p) { return 2 * p; }
constexpr int mode(int p) { return 2 * p + 1; }
constexpr int timer(int p) { return 16 + 14 * p; }
constexpr int secTimer(int p) { return 128 + 3 * p; }
constexpr int random(int p) { return 152 + 8 * p; }
constexpr int temperature(int p) { return 256 + 4 * p; }
constexpr int day1Index(int p) { return 920 + 2 * p; }
constexpr int day2Index(int p) { return 921 + 2 * p; }
constexpr int nameSlot(int i) { return 512 + 16 * i; } // i = 0..7 relays, 8 = card name
constexpr int ProgramChoice = 222;
constexpr int program(int n) { return 223 + 5 * n; } // n = 0..2
constexpr int GlobalFlags = 244;
constexpr int SensorOffsets = 245;
constexpr int PushButtons = 246;
constexpr int PowerUp = 247;
constexpr int KeyBits = 248;
constexpr int Reserved903 = 903;
constexpr int CardName = 640;
constexpr int NameSlotSize = 16;
} // namespace ImageOffset

#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// How the virtual card answers, and which faults it injects. Blocks are numbered 0 to 31,
// the final nine-byte block is 32.
struct CardSimOptions
{
    std::uint8_t version = 137;
    std::array<std::uint8_t, 4> measurement{21, 22, 23, 45};
    int dropAckAfterBlock = -1;  // that block's acknowledgement never comes
    int extraAckAfterBlock = -1; // that block is acknowledged twice
    int noiseBytes = 0;          // bytes of line noise sent before every reply
    int hangupAfterBlock = -1;   // the line goes dead once that block is in
    // A real card gives up an upload the program broke off; so does this one.
    std::chrono::milliseconds uploadIdleTimeout{1500};
};

// The card's side of the byte protocol: fed one received byte at a time, answers with the
// bytes to send back. Knows nothing about the line; CardSimPty carries the bytes.
class CardSimCore
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int UploadBytes = 1 + 512 + 9; // "D", 32 blocks, final block
    static constexpr int FinalBlock = 32;

    struct Reply
    {
        std::vector<std::uint8_t> bytes;
        bool hangUp = false;
        bool uploadFinished = false;
    };

    explicit CardSimCore(CardSimOptions options = {});

    Reply Receive(std::uint8_t byte, Clock::time_point now);
    // Faults come and go on a real line: a test clears or changes them between uploads.
    void SetOptions(const CardSimOptions &options) { m_options = options; }

    bool InUpload() const { return !m_upload.empty(); }
    // Every completed upload as received: 68, image bytes 0 to 511, the final block.
    const std::vector<std::vector<std::uint8_t>> &Uploads() const { return m_uploads; }
    // A long run checks each record and then lets it go, so the record does not grow.
    void ClearUploads() { m_uploads.clear(); }

    // Sixteen bytes a line, offsets in front; what the record file holds per upload.
    static std::string HexDump(const std::vector<std::uint8_t> &bytes);

private:
    void addNoise(Reply &reply);
    void acknowledgeBlock(int block, Reply &reply);

    CardSimOptions m_options;
    std::vector<std::uint8_t> m_upload;
    Clock::time_point m_lastUploadByte{};
    std::vector<std::vector<std::uint8_t>> m_uploads;
    std::size_t m_noiseIndex = 0;
};

#include "tools/cardsim_core.h"

#include <cstdio>

namespace {
constexpr std::uint8_t CommandUpload = 68;  // "D"
constexpr std::uint8_t CommandVersion = 76; // "L"
constexpr std::uint8_t CommandMeasure = 84; // "T"
constexpr std::uint8_t Ack = 65;
// None of these is an acknowledgement or a version reply, so noise alone never moves the
// program on; it only has to be skipped.
constexpr std::array<std::uint8_t, 5> NoiseValues{0x00, 0xFF, 0x0D, 0x2A, 0x7F};
} // namespace

CardSimCore::CardSimCore(CardSimOptions options) : m_options(options) {}

CardSimCore::Reply CardSimCore::Receive(std::uint8_t byte, Clock::time_point now)
{
    Reply reply;
    if (InUpload() && now - m_lastUploadByte > m_options.uploadIdleTimeout)
        m_upload.clear();

    if (InUpload()) {
        m_lastUploadByte = now;
        m_upload.push_back(byte);
        const int data = static_cast<int>(m_upload.size()) - 1; // bytes after the "D"
        int block = -1;
        if (data <= 512 && data % 16 == 0)
            block = data / 16 - 1;
        else if (data == 512 + 9)
            block = FinalBlock;
        if (block < 0)
            return reply;
        if (block == FinalBlock) {
            m_uploads.push_back(m_upload);
            m_upload.clear();
            reply.uploadFinished = true;
        }
        if (block == m_options.hangupAfterBlock) {
            reply.hangUp = true;
            return reply;
        }
        acknowledgeBlock(block, reply);
        return reply;
    }

    switch (byte) {
    case CommandUpload:
        m_upload.assign(1, byte);
        m_lastUploadByte = now;
        addNoise(reply);
        reply.bytes.push_back(Ack);
        break;
    case CommandVersion:
        addNoise(reply);
        reply.bytes.push_back(m_options.version);
        break;
    case CommandMeasure:
        addNoise(reply);
        reply.bytes.insert(reply.bytes.end(), m_options.measurement.begin(),
                           m_options.measurement.end());
        break;
    default:
        break;
    }
    return reply;
}

void CardSimCore::acknowledgeBlock(int block, Reply &reply)
{
    if (block == m_options.dropAckAfterBlock)
        return;
    addNoise(reply);
    reply.bytes.push_back(Ack);
    if (block == m_options.extraAckAfterBlock)
        reply.bytes.push_back(Ack);
}

void CardSimCore::addNoise(Reply &reply)
{
    for (int i = 0; i < m_options.noiseBytes; ++i)
        reply.bytes.push_back(NoiseValues[m_noiseIndex++ % NoiseValues.size()]);
}

std::string CardSimCore::HexDump(const std::vector<std::uint8_t> &bytes)
{
    std::string out;
    char cell[24];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) {
            std::snprintf(cell, sizeof cell, "%04zx:", i);
            out += cell;
        }
        std::snprintf(cell, sizeof cell, " %02x", bytes[i]);
        out += cell;
        if (i % 16 == 15 || i + 1 == bytes.size())
            out += '\n';
    }
    return out;
}

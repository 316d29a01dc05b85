#include "link/linkengine.h"

#include "config/configimage.h"
#include "link/byteport.h"
#include "link/clockvalues.h"

LinkEngine::LinkEngine(BytePort &port, const ConfigImage &image, const ClockValues &clock,
                       QObject *parent)
    : QObject(parent), m_port(&port), m_image(image), m_clock(clock)
{
}

bool LinkEngine::PortOpen() const
{
    return m_port->PortOpen();
}

void LinkEngine::Timer1Timer()
{
    // Without a port the step is kept, so a pending command goes out once one is open.
    if (!m_port->PortOpen())
        return;
    if (m_linkStep == MeasureAsked) {
        handedToLine(1);
        m_replyTooEarly = false;
        m_port->SendByte(CommandMeasure);
        m_linkStep = MeasureCollect;
        m_measureCount = 0;
    }
    if (m_linkStep == UploadAsked) {
        handedToLine(1);
        m_port->SendByte(CommandUpload);
        m_linkStep = AwaitUploadAccept;
        m_blocksSent = 0;
    }
    if (m_linkStep == PollAsked) {
        handedToLine(1);
        m_replyTooEarly = false;
        m_nonVersionReply = -1;
        m_port->SendByte(CommandVersion);
        m_linkStep = AwaitVersion;
    }
    // Everything already received belongs to this step; reads never wait.
    for (int n = 0; n < MaxBytesPerTick; ++n) {
        const int byte = m_port->ReadByte();
        if (byte < 0)
            break;
        ++m_bytesReceived;
        receive(byte);
    }

    // Sending leaves an even step and only odd steps send, so one block at most per tick.
    if (m_linkStep == FinalBlockDue) {
        m_linkStep = AwaitLastAck;
        handedToLine(9);
        sendFinalBlock();
        ++m_blocksSent;
    }
    for (int k = 0; k < BlockCount; ++k) {
        if (m_linkStep == 5 + 2 * k) {
            m_linkStep = 6 + 2 * k;
            handedToLine(BlockSize);
            sendBlock(k);
            ++m_blocksSent;
        }
    }
    if (m_linkStep <= UploadDone)
        emit progressChanged(m_linkStep);
    if (m_linkStep == UploadDone) {
        // The steps allow no other way here; the count makes sure of it.
        if (m_blocksSent != BlockCount + 1) {
            m_linkStep = AwaitLastAck;
            return disturb();
        }
        m_linkStep = Idle;
        emit uploadCompleted();
    }
}

void LinkEngine::Button1Click()
{
    if (m_linkStep == Idle)
        m_linkStep = UploadAsked;
}

void LinkEngine::Button2Click()
{
    m_linkStep = Idle;
    emit progressChanged(0);
}

void LinkEngine::Button3Click()
{
    m_linkStep = MeasureAsked;
}

void LinkEngine::StartPoll()
{
    if (m_linkStep != Idle && m_linkStep != AwaitVersion)
        return;
    m_linkStep = PollAsked;
    m_cardSeen = false;
    m_versionOk = true;
}

static_assert(LinkEngine::BlockDueStep(LinkEngine::FinalBlock) == LinkEngine::FinalBlockDue,
              "one pair of steps per block");

LinkEngine::UploadPosition LinkEngine::PositionOf(int step)
{
    UploadPosition p;
    if (step == UploadAsked || step == AwaitUploadAccept) {
        p.phase = UploadPosition::Starting;
    } else if (step >= BlockDueStep(1) && step <= AwaitLastAck) {
        // 5 + 2k: block k+1 due, 6 + 2k: sent and awaited; 69 and 70 for the final block.
        p.phase = UploadPosition::Blocks;
        p.block = (step - BlockDueStep(1)) / 2 + 1;
        p.acknowledged = p.block - 1;
    } else if (step == UploadDone) {
        p.phase = UploadPosition::Complete;
        p.acknowledged = BlockCount + 1;
    } else if (step > UploadDone && step < MeasureAsked) {
        p.phase = UploadPosition::OutOfStep;
    }
    return p;
}

int LinkEngine::Temperature(std::uint8_t byte)
{
    return SignedByte(byte);
}

void LinkEngine::setLineClock(std::function<std::int64_t()> nowMicroseconds)
{
    m_lineClock = std::move(nowMicroseconds);
}

void LinkEngine::handedToLine(int count)
{
    // Taken before the bytes go out, so a write that is slow to return never makes a real
    // answer look early.
    if (m_lineClock) {
        m_handedUs = m_lineClock();
        m_handedCount = count;
    }
}

bool LinkEngine::tooEarly(int answerBytes) const
{
    // Three quarters of the wire's time leave room for a line clocked a little fast.
    return m_lineClock &&
           m_lineClock() < m_handedUs + (m_handedCount + answerBytes) * ByteTimeUs * 3 / 4;
}

void LinkEngine::disturb()
{
    const UploadPosition at = PositionOf(m_linkStep);
    m_linkStep = Idle;
    emit uploadDisturbed(std::max(1, at.block));
}

bool LinkEngine::awaitsAck() const
{
    // 4: upload accepted; 6..70 even: a block (or the final block) acknowledged.
    return m_linkStep == AwaitUploadAccept ||
           (m_linkStep >= 6 && m_linkStep <= AwaitLastAck && m_linkStep % 2 == 0);
}

void LinkEngine::receive(int byte)
{
    if (m_linkStep == MeasureCollect) {
        if (tooEarly(m_measureCount + 1))
            m_replyTooEarly = true;
        if (m_measureCount < static_cast<int>(m_measureBuffer.size()))
            m_measureBuffer[static_cast<std::size_t>(m_measureCount++)] =
                static_cast<std::uint8_t>(byte);
        if (m_measureCount == static_cast<int>(m_measureBuffer.size())) {
            showMeasurement();
            m_linkStep = Idle;
        }
        // A measurement byte is data even when it reads 65; it still shows a card is there.
        if (byte == Ack)
            m_cardSeen = true;
        return;
    }
    if (m_linkStep == AwaitVersion) {
        if (tooEarly())
            m_replyTooEarly = true;
        if ((byte & 0xC0) != 0x80 && m_nonVersionReply < 0)
            m_nonVersionReply = byte;
    }
    if (byte == Ack) {
        // A 65 only moves the engine where one is awaited. In an upload, one that nothing
        // awaits or that beats the wire means the card may count blocks differently from us:
        // going on would skip a block or send one twice, so the upload is given up. Idle, a
        // 65 moves nothing (it would lock the engine up).
        m_cardSeen = true;
        const UploadPosition at = PositionOf(m_linkStep);
        const bool uploading =
            m_linkStep == AwaitUploadAccept || at.phase == UploadPosition::Blocks;
        if (awaitsAck() && !tooEarly())
            ++m_linkStep;
        else if (uploading)
            disturb();
        else if (m_linkStep == AwaitVersion)
            m_linkStep = Idle;
        return;
    }
    if ((byte & 0xC0) == 0x80 && m_linkStep == AwaitVersion) {
        m_cardSeen = true;
        m_lastVersion = byte;
        if (byte != AcceptedVersion) {
            m_versionOk = false;
            emit sendDisabled();
        }
        m_linkStep = Idle;
    }
}

void LinkEngine::sendBlock(int block)
{
    // Read at the moment of sending: an edit made during the upload goes out if its block
    // has not been sent yet.
    for (int i = 0; i < BlockSize; ++i)
        m_port->SendByte(m_image[block * BlockSize + i]);
}

void LinkEngine::sendFinalBlock()
{
    // The card's firmware expects the key byte before the power-up byte here.
    m_finalBlock = {std::uint8_t(m_clock.second),      std::uint8_t(m_clock.minute),
                    std::uint8_t(m_clock.hour),        std::uint8_t(m_clock.todayMask),
                    m_image[ImageOffset::GlobalFlags], m_image[ImageOffset::SensorOffsets],
                    m_image[ImageOffset::PushButtons], m_image[ImageOffset::KeyBits],
                    m_image[ImageOffset::PowerUp]};
    for (const std::uint8_t byte : m_finalBlock)
        m_port->SendByte(byte);
}

void LinkEngine::showMeasurement()
{
    emit measured(Temperature(m_measureBuffer[0]), Temperature(m_measureBuffer[1]),
                  Temperature(m_measureBuffer[2]), m_measureBuffer[3]);
}

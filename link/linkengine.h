#pragma once

#include "link/cardline.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class BytePort;
class ConfigImage;
struct ClockValues;

// The conversation with the card: the upload ("D"), the version poll ("L") and the
// measurement ("T"). LinkStep is the whole state; 99 is idle. A step runs on every 20 ms tick
// and whenever bytes from the card arrive, so the next block leaves as soon as its
// acknowledgement is in; every run is the same routine, whatever started it.
class LinkEngine : public QObject
{
    Q_OBJECT

public:
    static constexpr int Idle = 99;
    static constexpr int UploadAsked = 1;
    static constexpr int AwaitUploadAccept = 4;
    static constexpr int FinalBlockDue = 69;
    static constexpr int AwaitLastAck = 70;
    static constexpr int UploadDone = 71;
    static constexpr int MeasureAsked = 95;
    static constexpr int MeasureCollect = 96;
    static constexpr int PollAsked = 97;
    static constexpr int AwaitVersion = 98;

    static constexpr int CommandUpload = 68;  // "D"
    static constexpr int CommandVersion = 76; // "L"
    static constexpr int CommandMeasure = 84; // "T"
    static constexpr int Ack = 65;            // "A"
    static constexpr int AcceptedVersion = 137;
    static constexpr int BlockCount = 32;
    static constexpr int FinalBlock = BlockCount + 1; // as the blocks are counted in words
    static constexpr int BlockSize = 16;
    // The window's bar runs from 0 to the step of a complete upload.
    static constexpr int ProgressMax = UploadDone;
    // The step at which block 1 to 33 is due; the step after it awaits its acknowledgement.
    static constexpr int BlockDueStep(int block) { return AwaitUploadAccept + 1 + 2 * (block - 1); }
    // The card never sends more than a few bytes at once. A line that never falls silent (a
    // wrong device, a floating input) must not hold the user-interface thread in one tick:
    // what is left waits for the next one.
    static constexpr int MaxBytesPerTick = 32;
    static constexpr std::int64_t ByteTimeUs = CardLine::ByteTimeUs;

    // The image and the clock values are read at the moment a block goes out, so both must
    // outlive the engine.
    LinkEngine(BytePort &port, const ConfigImage &image, const ClockValues &clock,
               QObject *parent = nullptr);

    // The line the engine speaks on; a session switches it when another transport takes over.
    void setPort(BytePort &port) { m_port = &port; }

    int LinkStep() const { return m_linkStep; }
    bool CardSeen() const { return m_cardSeen; }
    bool VersionOk() const { return m_versionOk; }
    const std::array<std::uint8_t, 4> &MeasureBuffer() const { return m_measureBuffer; }
    int MeasureCount() const { return m_measureCount; }
    // The last version byte the card answered to "L" (128 to 191), -1 before any.
    int LastVersion() const { return m_lastVersion; }
    // The nine bytes of the last final block that went out (clock, weekday, 244, 245, 246,
    // 248, 247); empty before any.
    const std::vector<std::uint8_t> &LastFinalBlock() const { return m_finalBlock; }
    bool PortOpen() const;
    // Every byte read from the line so far, whatever it meant.
    std::int64_t BytesReceived() const { return m_bytesReceived; }
    // Since the last "L" or "T" went out: a byte came sooner than the line could have carried
    // the command and the answer, so it was on its way before the question.
    bool ReplyTooEarly() const { return m_replyTooEarly; }
    // Since the last "L" went out: the first byte that was no version (-1: none), as a card
    // in the middle of an upload or a line that answers anything would send.
    int NonVersionReply() const { return m_nonVersionReply; }

    // One step: a tick of Timer1, or bytes that arrived from the card.
    void Timer1Timer();

    // The clock of a real line, in microseconds. With it, a byte that comes sooner after a
    // command or block was handed to the line than three quarters of the time a 2400-baud
    // wire needs for those bytes and the answer cannot be the card's answer to them. In an
    // upload such a 65 disturbs the line (see uploadDisturbed); after "L" or "T" the reply is
    // marked as too early (ReplyTooEarly), for an errand to refuse. Without a clock (a scripted
    // line that answers at once, as in tests) only surplus acknowledgements disturb.
    void setLineClock(std::function<std::int64_t()> nowMicroseconds);
    // "Send", after the window has captured the page: starts an upload only when idle.
    void Button1Click();
    // "Reset": back to idle from any state, bar to 0.
    void Button2Click();
    // "Messen": asks for a measurement, breaking off whatever runs.
    void Button3Click();
    // The once-a-second poll start: only when idle or when the last poll got no answer.
    void StartPoll();

    // Where an upload stands at a step: the block (1 to 32, 33 for the final block) that is
    // due or awaits its acknowledgement, and how many blocks the card has acknowledged. This
    // is the one place that counts blocks from steps.
    struct UploadPosition
    {
        enum Phase
        {
            NotUploading,
            Starting, // "D" asked for or sent, waiting for the card to accept
            Blocks,   // a block of 16 or the final block is due or awaits its acknowledgement
            Complete,
            OutOfStep, // only surplus acknowledgements lead here
        };
        Phase phase = NotUploading;
        int block = 0;        // Blocks: 1 to 33
        int acknowledged = 0; // 0 to 33
    };
    static UploadPosition PositionOf(int step);
    // The block due or awaited at a step of the blocks (1 to 33); 0 at any other step.
    static int BlockOf(int step) { return PositionOf(step).block; }

    // Temperature of a measurement byte, read as the thresholds are (SignedByte).
    static int Temperature(std::uint8_t byte);

signals:
    void progressChanged(int value);
    // The fourth measurement byte is in: three temperatures in °C (signed, see Temperature)
    // and the relative humidity in percent.
    void measured(int t1, int t2, int t3, int humidity);
    // The card acknowledged the final block, every block having gone out exactly once after
    // its own acknowledgement; the engine is idle again.
    void uploadCompleted();
    // An acknowledgement came that no block awaited (a second one for the same block), or
    // sooner than the line could carry the block: the card's count and ours may differ, so
    // the upload is given up at `block` (1 to 32, 33 for the final block) and the engine is
    // idle, with the bar where it stood. The card must be reset and sent again.
    void uploadDisturbed(int block);
    // The card answered with another firmware version: "Send" stays off for the run.
    void sendDisabled();

private:
    void receive(int byte);
    void sendBlock(int block);
    void sendFinalBlock();
    void showMeasurement();
    bool awaitsAck() const;
    // Bytes about to be handed to the line: the n-th byte of their answer cannot come sooner
    // than the wire carries them and n bytes back.
    void handedToLine(int count);
    bool tooEarly(int answerBytes = 1) const;
    void disturb();

    BytePort *m_port;
    const ConfigImage &m_image;
    const ClockValues &m_clock;
    int m_linkStep = Idle;
    bool m_cardSeen = false;
    bool m_versionOk = true;
    std::array<std::uint8_t, 4> m_measureBuffer{};
    int m_measureCount = 0;
    int m_lastVersion = -1;
    std::function<std::int64_t()> m_lineClock;
    std::int64_t m_handedUs = 0;
    int m_handedCount = 0;
    std::vector<std::uint8_t> m_finalBlock;
    std::int64_t m_bytesReceived = 0;
    int m_blocksSent = 0; // of the upload under way, the final block included
    bool m_replyTooEarly = false;
    int m_nonVersionReply = -1;
};

#pragma once

// The three operations the protocol engine needs from the line to the card. The serial
// layer implements them; tests drive the engine through a scripted port instead.
class BytePort
{
public:
    virtual ~BytePort() = default;

    // Writes the low 8 bits of value as one byte; failures are not reported.
    virtual void SendByte(int value) = 0;
    // One received byte as 0 to 255, or -1 when nothing came within the read time-out.
    virtual int ReadByte() = 0;
    virtual bool PortOpen() const = 0;
};

#pragma once

#include "link/cardline.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The client side of Telnet with the Com Port Control Option (RFC 854, 856, 858, 2217), as a
// plain state machine over bytes: no sockets, no clock, no Qt. Feed takes what the server
// sent, in pieces of any size (a command may be split anywhere), and gives the card's data
// bytes and the answers to send back. What goes out to the server is written by Opening
// (negotiation and line settings, once) and EncodeData (card bytes, 255 doubled).
//
// The client asks for BINARY in both directions and SUPPRESS-GO-AHEAD, announces the Com Port
// Control Option with WILL, refuses every other option once, and answers only where an
// option's state changes. Subnegotiations are held in a bounded buffer: a runaway one costs
// no memory beyond it.
class TelnetCodec
{
public:
    static constexpr std::uint8_t Iac = 255, Dont = 254, Do = 253, Wont = 252, Will = 251, Sb = 250,
                                  Se = 240;
    static constexpr std::uint8_t OptBinary = 0, OptSga = 3, OptComPort = 44;
    // The longest subnegotiation kept; the Com Port Control replies need six bytes.
    static constexpr std::size_t MaxSubnegotiation = 64;

    // The card's line in RFC 2217's codes: no parity is code 1, one stop bit code 1.
    static constexpr std::uint32_t Baud = CardLine::Baud;
    static constexpr std::uint8_t DataBits = CardLine::DataBits, ParityNone = 1,
                                  StopBitsOne = CardLine::StopBits;

    // A server negotiates each option once or twice; one that goes on (toggling an option,
    // answering our answers) is broken, and answering it would be a loop without end.
    static constexpr int MaxOptionCommands = 48;

    enum class Problem
    {
        None,
        NoBinary,         // the server refuses BINARY in either direction
        NoComPort,        // the server refuses the Com Port Control Option
        SettingsRejected, // a confirmation names other settings: see rejected*
        Runaway,          // more than MaxOptionCommands WILL, WONT, DO or DONT
    };
    using Setting = CardLine::Setting;

    struct Output
    {
        std::vector<std::uint8_t> data;  // the card's bytes, undoubled
        std::vector<std::uint8_t> reply; // to send to the server as they are
        // The server confirmed the purge: what arrived before it (a banner) is not the card's.
        // data then holds only what followed the confirmation.
        bool purged = false;
    };

    // Negotiation, then 2400 baud, 8 data bits, no parity, 1 stop bit, no flow control, DTR
    // off, RTS off, and a purge of both buffers, in that order: all of it goes out before the
    // first card byte, and nothing waits for the server's confirmations.
    std::vector<std::uint8_t> Opening();
    // A card byte as it goes on the wire: 255 is doubled.
    static void EncodeData(std::uint8_t byte, std::vector<std::uint8_t> &out);

    // Decodes what the server sent, appending to out.
    void Feed(const std::uint8_t *bytes, std::size_t count, Output &out);

    // Whether the server has sent any Telnet command yet.
    bool Negotiated() const { return m_negotiated; }
    // The server took up the Com Port Control Option (DO COM-PORT-OPTION): it sets the line.
    bool ComPortAccepted() const { return m_us[OptComPort]; }
    // Telnet commands the server sent other than option negotiation (NOP, GA, AYT, ...), for
    // the caller to bound by time.
    std::uint64_t OtherCommands() const { return m_otherCommands; }
    // The server asked to hold the data going to it (FLOWCONTROL-SUSPEND until RESUME).
    bool Suspended() const { return m_suspended; }
    Problem problem() const { return m_problem; }
    Setting rejectedSetting() const { return m_rejectedSetting; }
    std::uint32_t rejectedValue() const { return m_rejectedValue; }

private:
    enum class State
    {
        Data,
        Iac,
        Option, // after WILL, WONT, DO or DONT
        Sub,
        SubIac,
    };

    void command(std::uint8_t verb, std::uint8_t option, Output &out);
    void subnegotiation(Output &out);
    void reject(Setting setting, std::uint32_t value);

    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    std::vector<std::uint8_t> m_sub;
    bool m_subOverflow = false;
    bool m_negotiated = false;
    bool m_suspended = false;
    int m_optionCommands = 0;
    std::uint64_t m_otherCommands = 0;
    Problem m_problem = Problem::None;
    Setting m_rejectedSetting = Setting::Baud;
    std::uint32_t m_rejectedValue = 0;
    // Per option: enabled on our side / the server's, asked for by us and not answered yet,
    // and refused once already (a server that insists gets no further answer).
    bool m_us[256] = {};
    bool m_him[256] = {};
    bool m_askedWill[256] = {};
    bool m_askedDo[256] = {};
    bool m_refused[256] = {};
};

#include "link/telnetcodec.h"

namespace {

// Com Port Control commands from the client; the server answers with the same plus 100.
constexpr std::uint8_t SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4,
                       SetControl = 5, FlowSuspend = 8, FlowResume = 9, PurgeData = 12;
constexpr std::uint8_t ServerOffset = 100;
// SET-CONTROL values: no flow control, DTR off, RTS off; PURGE-DATA: both buffers.
constexpr std::uint8_t NoFlowControl = 1, DtrOff = 8, RtsOff = 12, PurgeBoth = 3;

bool Wanted(bool ourSide, std::uint8_t option)
{
    if (option == TelnetCodec::OptBinary || option == TelnetCodec::OptSga)
        return true;
    return ourSide && option == TelnetCodec::OptComPort;
}

void Sub(std::vector<std::uint8_t> &out, std::initializer_list<std::uint8_t> body)
{
    out.push_back(TelnetCodec::Iac);
    out.push_back(TelnetCodec::Sb);
    out.push_back(TelnetCodec::OptComPort);
    for (std::uint8_t b : body)
        TelnetCodec::EncodeData(b, out);
    out.push_back(TelnetCodec::Iac);
    out.push_back(TelnetCodec::Se);
}

} // namespace

std::vector<std::uint8_t> TelnetCodec::Opening()
{
    m_askedWill[OptComPort] = m_askedWill[OptBinary] = m_askedWill[OptSga] = true;
    m_askedDo[OptBinary] = m_askedDo[OptSga] = true;
    std::vector<std::uint8_t> out{
        Iac,       Will, OptComPort, Iac,    Do,  OptBinary, Iac,    Will,
        OptBinary, Iac,  Do,         OptSga, Iac, Will,      OptSga,
    };
    Sub(out, {SetBaudRate, std::uint8_t(Baud >> 24), std::uint8_t(Baud >> 16),
              std::uint8_t(Baud >> 8), std::uint8_t(Baud)});
    Sub(out, {SetDataSize, DataBits});
    Sub(out, {SetParity, ParityNone});
    Sub(out, {SetStopSize, StopBitsOne});
    Sub(out, {SetControl, NoFlowControl});
    Sub(out, {SetControl, DtrOff});
    Sub(out, {SetControl, RtsOff});
    Sub(out, {PurgeData, PurgeBoth});
    return out;
}

void TelnetCodec::EncodeData(std::uint8_t byte, std::vector<std::uint8_t> &out)
{
    out.push_back(byte);
    if (byte == Iac)
        out.push_back(Iac);
}

void TelnetCodec::Feed(const std::uint8_t *bytes, std::size_t count, Output &out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        switch (m_state) {
        case State::Data:
            if (b == Iac)
                m_state = State::Iac;
            else
                out.data.push_back(b);
            break;
        case State::Iac:
            if (b == Iac) {
                out.data.push_back(Iac);
                m_state = State::Data;
            } else if (b >= Will && b <= Dont) {
                m_verb = b;
                m_state = State::Option;
            } else if (b == Sb) {
                m_negotiated = true;
                m_sub.clear();
                m_subOverflow = false;
                m_state = State::Sub;
            } else {
                // NOP, GA, DM, BRK, AYT and the rest carry nothing for the card.
                m_negotiated = true;
                ++m_otherCommands;
                m_state = State::Data;
            }
            break;
        case State::Option:
            command(m_verb, b, out);
            m_state = State::Data;
            break;
        case State::Sub:
            if (b == Iac) {
                m_state = State::SubIac;
            } else if (m_sub.size() < MaxSubnegotiation) {
                m_sub.push_back(b);
            } else {
                m_subOverflow = true;
            }
            break;
        case State::SubIac:
            if (b == Iac) {
                if (m_sub.size() < MaxSubnegotiation)
                    m_sub.push_back(Iac);
                else
                    m_subOverflow = true;
                m_state = State::Sub;
            } else if (b == Se) {
                if (!m_subOverflow)
                    subnegotiation(out);
                m_sub.clear();
                m_state = State::Data;
            } else {
                // A command inside a subnegotiation ends it unfinished; the command counts.
                m_sub.clear();
                m_state = State::Iac;
                --i;
            }
            break;
        }
    }
}

void TelnetCodec::command(std::uint8_t verb, std::uint8_t option, Output &out)
{
    m_negotiated = true;
    if (m_problem == Problem::Runaway)
        return;
    if (++m_optionCommands > MaxOptionCommands) {
        m_problem = Problem::Runaway;
        return;
    }
    const auto answer = [&out](std::uint8_t v, std::uint8_t o) {
        out.reply.insert(out.reply.end(), {Iac, v, o});
    };
    const bool ourSide = verb == Do || verb == Dont;
    bool &enabled = ourSide ? m_us[option] : m_him[option];
    bool &asked = ourSide ? m_askedWill[option] : m_askedDo[option];
    const std::uint8_t agree = ourSide ? Will : Do;
    const std::uint8_t refuse = ourSide ? Wont : Dont;

    if (verb == Will || verb == Do) {
        if (!Wanted(ourSide, option)) {
            // Refused once per option; a server that insists hears nothing more, so two
            // programs can never answer each other without end.
            if (!m_refused[option]) {
                m_refused[option] = true;
                answer(refuse, option);
            }
            return;
        }
        if (!enabled) {
            enabled = true;
            if (!asked)
                answer(agree, option); // the server's request: agreed
        }
        asked = false;
        return;
    }
    // WONT or DONT: the option is off on that side.
    const bool refusedOurRequest = asked;
    asked = false;
    if (enabled) {
        enabled = false;
        answer(refuse, option);
    } else if (!refusedOurRequest) {
        return;
    }
    if (m_problem == Problem::None || m_problem == Problem::SettingsRejected) {
        if (option == OptBinary)
            m_problem = Problem::NoBinary;
        else if (option == OptComPort && ourSide)
            m_problem = Problem::NoComPort;
    }
}

void TelnetCodec::reject(Setting setting, std::uint32_t value)
{
    if (m_problem != Problem::None)
        return;
    m_problem = Problem::SettingsRejected;
    m_rejectedSetting = setting;
    m_rejectedValue = value;
}

void TelnetCodec::subnegotiation(Output &out)
{
    if (m_sub.size() < 2 || m_sub[0] != OptComPort)
        return;
    const std::uint8_t cmd = m_sub[1];
    const std::size_t n = m_sub.size() - 2;
    const std::uint8_t *v = m_sub.data() + 2;
    // A value of 0 asks for or reports "unknown" rather than a setting; some servers add bytes
    // behind a speed, which are not looked at.
    switch (cmd) {
    case SetBaudRate + ServerOffset:
        if (n >= 4) {
            const std::uint32_t baud = std::uint32_t(v[0]) << 24 | std::uint32_t(v[1]) << 16 |
                                       std::uint32_t(v[2]) << 8 | v[3];
            if (baud != 0 && baud != Baud)
                reject(Setting::Baud, baud);
        }
        break;
    case SetDataSize + ServerOffset:
        if (n >= 1 && v[0] != 0 && v[0] != DataBits)
            reject(Setting::DataBits, v[0]);
        break;
    case SetParity + ServerOffset:
        if (n >= 1 && v[0] != 0 && v[0] != ParityNone)
            reject(Setting::Parity, v[0]);
        break;
    case SetStopSize + ServerOffset:
        if (n >= 1 && v[0] != 0 && v[0] != StopBitsOne)
            reject(Setting::StopBits, v[0]);
        break;
    case FlowSuspend + ServerOffset:
        m_suspended = true;
        break;
    case FlowResume + ServerOffset:
        m_suspended = false;
        break;
    case PurgeData + ServerOffset:
        out.data.clear();
        out.purged = true;
        break;
    default:
        // Control (DTR, RTS: advisory), line-state and modem-state notifications, mask
        // replies, signatures: nothing the card's bytes depend on.
        break;
    }
}

#include "tools/cardsim_pty.h"

#include <cstdio>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

void SetError(std::string *error, const std::string &what)
{
    if (error)
        *error = what + ": " + std::strerror(errno);
}

} // namespace

CardSimPty::CardSimPty(CardSimOptions options, bool paced) : m_core(options), m_paced(paced) {}

CardSimPty::~CardSimPty()
{
    Stop();
    closeLine();
    if (!m_linkPath.empty()) {
        std::error_code ec;
        if (std::filesystem::is_symlink(m_linkPath, ec) &&
            std::filesystem::read_symlink(m_linkPath, ec) == m_devicePath)
            std::filesystem::remove(m_linkPath, ec);
    }
}

bool CardSimPty::Open(std::string *error)
{
    // Not inherited: a program the test starts (the tool, ser2net) would otherwise hold the
    // line open after the card hung up, and a pulled adapter would not look pulled.
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        SetError(error, "posix_openpt");
        return false;
    }
    const char *name = ptsname(m_master);
    if (!name) {
        SetError(error, "ptsname");
        return false;
    }
    m_devicePath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        SetError(error, m_devicePath);
        return false;
    }
    // Raw from the start: a fresh terminal echoes, which would turn every command the
    // program sends into a reply before the program has set the line up itself.
    termios raw{};
    tcgetattr(m_slave, &raw);
    cfmakeraw(&raw);
    cfsetispeed(&raw, B2400);
    cfsetospeed(&raw, B2400);
    tcsetattr(m_slave, TCSANOW, &raw);
    return true;
}

bool CardSimPty::LinkAs(const std::string &configDir, int n, std::string *error)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(configDir) / "zelkora";
    const fs::path link = folder / ("com" + std::to_string(n));
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (fs::exists(fs::symlink_status(link, ec))) {
        if (!fs::is_symlink(link, ec)) {
            if (error)
                *error = link.string() + " exists and is no link";
            return false;
        }
        fs::remove(link, ec);
    }
    fs::create_symlink(m_devicePath, link, ec);
    if (ec) {
        if (error)
            *error = link.string() + ": " + ec.message();
        return false;
    }
    m_linkPath = link.string();
    return true;
}

void CardSimPty::Run(const std::atomic<bool> &stop)
{
    std::uint8_t buffer[64];
    while (!stop && !m_stop && !m_hungUp) {
        pollfd pfd{m_master, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0)
            continue;
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            break;
        }
        const auto readAt = CardSimCore::Clock::now();
        for (ssize_t i = 0; i < n && !m_hungUp; ++i)
            handle(buffer[i], readAt);
    }
}

void CardSimPty::handle(std::uint8_t byte, CardSimCore::Clock::time_point readAt)
{
    using Clock = CardSimCore::Clock;
    if (m_paced) {
        // On the wire a byte starts when the program handed it over or when the one before
        // it ended, whichever is later, and takes one byte time. The schedule runs on the
        // clock, not on how long each sleep really took, so oversleeping adds up to nothing.
        m_lastArrival = std::max(readAt, m_lastArrival) + ByteTime;
        std::this_thread::sleep_until(m_lastArrival);
    }
    CardSimCore::Reply reply;
    {
        std::lock_guard lock(m_mutex);
        m_received.push_back(byte);
        reply = m_core.Receive(byte, Clock::now());
    }
    if (reply.uploadFinished) {
        std::vector<std::uint8_t> upload;
        {
            std::lock_guard lock(m_mutex);
            upload = m_core.Uploads().back();
        }
        record(upload);
        if (m_verbose)
            std::fprintf(stderr, "zelkora-cardsim: upload of %zu bytes received\n", upload.size());
    }
    if (reply.hangUp) {
        if (m_verbose)
            std::fprintf(stderr, "zelkora-cardsim: hanging up in the middle of the upload\n");
        hangUp();
        return;
    }
    sendPaced(reply.bytes);
}

void CardSimPty::sendPaced(const std::vector<std::uint8_t> &bytes)
{
    for (const std::uint8_t byte : bytes) {
        if (m_paced) {
            // The reply starts once the byte it answers is in, scheduled like the received
            // bytes on the clock.
            m_lastSent = std::max(m_lastArrival, m_lastSent) + ByteTime;
            std::this_thread::sleep_until(m_lastSent);
        }
        if (::write(m_master, &byte, 1) != 1)
            return;
    }
}

void CardSimPty::record(const std::vector<std::uint8_t> &upload)
{
    if (m_recordFile.empty())
        return;
    std::ofstream out(m_recordFile, std::ios::app);
    out << "upload of " << upload.size() << " bytes\n" << CardSimCore::HexDump(upload) << '\n';
}

void CardSimPty::Start()
{
    m_stop = false;
    m_thread = std::thread([this] {
        const std::atomic<bool> never{false};
        Run(never);
    });
}

void CardSimPty::Stop()
{
    m_stop = true;
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void CardSimPty::hangUp()
{
    m_hungUp = true;
    closeLine();
}

void CardSimPty::closeLine()
{
    // Closing the master hangs up every open slave: reads there end, as on a pulled cable.
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

void CardSimPty::SetOptions(const CardSimOptions &options)
{
    std::lock_guard lock(m_mutex);
    m_core.SetOptions(options);
}

std::vector<std::vector<std::uint8_t>> CardSimPty::Uploads() const
{
    std::lock_guard lock(m_mutex);
    return m_core.Uploads();
}

void CardSimPty::ClearUploads()
{
    std::lock_guard lock(m_mutex);
    m_core.ClearUploads();
    m_received.clear();
}

std::vector<std::uint8_t> CardSimPty::Received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::unique_ptr<CardSimPty> PlugCard(const CardSimOptions &options, const CardPlug &plug,
                                     std::string *why)
{
    auto card = std::make_unique<CardSimPty>(options, plug.paced);
    std::string error;
    if (!card->Open(&error) ||
        (plug.linkAs > 0 && !card->LinkAs(plug.configDir, plug.linkAs, &error))) {
        std::fprintf(stderr, "virtual card: %s\n", error.c_str());
        if (why)
            *why = error;
        return nullptr;
    }
    if (plug.start)
        card->Start();
    return card;
}

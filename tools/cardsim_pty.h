#pragma once

#include "tools/cardsim_core.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The virtual card on a pseudo-terminal: the program opens the slave side like a serial
// port, this side answers through CardSimCore. Optionally paced like a 2400-baud line.
class CardSimPty
{
public:
    static constexpr std::chrono::microseconds ByteTime{4167}; // 10 bits at 2400 baud

    explicit CardSimPty(CardSimOptions options = {}, bool paced = false);
    ~CardSimPty();
    CardSimPty(const CardSimPty &) = delete;
    CardSimPty &operator=(const CardSimPty &) = delete;

    // Creates the pseudo-terminal; false with a reason when that fails.
    bool Open(std::string *error = nullptr);
    const std::string &DevicePath() const { return m_devicePath; }
    // The card's end of the line, for tests that play the card by hand instead of Run.
    int LineFd() const { return m_master; }

    // Links the device as <configDir>/zelkora/com<n>, replacing an older link (never a
    // regular file). The link is removed again when this object goes.
    bool LinkAs(const std::string &configDir, int n, std::string *error = nullptr);
    const std::string &LinkPath() const { return m_linkPath; }

    // Appends a hex dump of every completed upload to this file.
    void SetRecordFile(const std::string &path) { m_recordFile = path; }
    // Progress lines (uploads, hang-up) go to standard error.
    void SetVerbose(bool verbose) { m_verbose = verbose; }

    // Serves until stop is set or the line hangs up.
    void Run(const std::atomic<bool> &stop);
    // Serves on a thread of its own until Stop or destruction.
    void Start();
    void Stop();

    bool HungUp() const { return m_hungUp; }
    // Changes the answers and faults from the next received byte on.
    void SetOptions(const CardSimOptions &options);
    std::vector<std::vector<std::uint8_t>> Uploads() const;
    void ClearUploads();
    // Every byte received since the card was opened (or the last ClearUploads), in order.
    std::vector<std::uint8_t> Received() const;

private:
    void handle(std::uint8_t byte, CardSimCore::Clock::time_point readAt);
    void sendPaced(const std::vector<std::uint8_t> &bytes);
    void record(const std::vector<std::uint8_t> &upload);
    // Closes the line as a pulled adapter would; the program sees a hang-up.
    void hangUp();
    void closeLine();

    CardSimCore m_core;
    bool m_paced = false;
    bool m_verbose = false;
    int m_master = -1;
    int m_slave = -1; // held open so the line survives the program closing and reopening it
    std::string m_devicePath;
    std::string m_linkPath;
    std::string m_recordFile;
    std::atomic<bool> m_hungUp{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_received;           // under m_mutex
    CardSimCore::Clock::time_point m_lastArrival{}; // when the last received byte was in
    CardSimCore::Clock::time_point m_lastSent{};    // when the last sent byte was out
};

// The one way the tests and the benchmarks start a virtual card: on a pseudo-terminal of its own,
// paced like a 2400-baud line unless told otherwise, linked as COM n in a configuration folder
// where one is named, and answering unless it is to stay silent. Nothing, and why, when it cannot
// be had.
struct CardPlug
{
    bool paced = true;
    bool start = true;
    std::string configDir; // with linkAs: ~/.config/zelkora/com<linkAs> there names the card
    int linkAs = 0;
};
std::unique_ptr<CardSimPty> PlugCard(const CardSimOptions &options = {}, const CardPlug &plug = {},
                                     std::string *why = nullptr);

// zelkora-cardsim: a virtual relay card on a pseudo-terminal, for trying and testing the
// program without the hardware.

#include "cardsim_pty.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int)
{
    g_stop = true;
}

void Usage()
{
    std::puts(
        "usage: zelkora-cardsim [options]\n"
        "  --link N            link the device as com<N> (1 to 9) in the configuration folder\n"
        "  --config-dir DIR    configuration folder for --link (default: $XDG_CONFIG_HOME\n"
        "                      or ~/.config); the link is <DIR>/zelkora/com<N>\n"
        "  --version V         version byte answered to \"L\" (default 137)\n"
        "  --measure A,B,C,D   the four bytes answered to \"T\" (default 21,22,23,45)\n"
        "  --paced             pace both directions like a 2400-baud line (4.17 ms a byte)\n"
        "  --record FILE       append a hex dump of every upload to FILE\n"
        "  --drop-ack B        never acknowledge block B (0 to 31, 32 = final block)\n"
        "  --extra-ack B       acknowledge block B twice\n"
        "  --noise N           send N noise bytes before every reply\n"
        "  --hangup-after B    hang up once block B is in, then exit\n"
        "  --quiet             no progress lines on standard error");
}

bool ParseInt(const char *text, int low, int high, int &value)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseMeasure(const char *text, std::array<std::uint8_t, 4> &bytes)
{
    std::string rest = text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t comma = rest.find(',');
        if ((comma == std::string::npos) != (i + 1 == bytes.size()))
            return false;
        int value = 0;
        if (!ParseInt(rest.substr(0, comma).c_str(), 0, 255, value))
            return false;
        bytes[i] = static_cast<std::uint8_t>(value);
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    }
    return true;
}

std::string DefaultConfigDir()
{
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return xdg;
    const char *home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config";
}

} // namespace

int main(int argc, char **argv)
{
    CardSimOptions options;
    bool paced = false;
    bool verbose = true;
    int linkNumber = 0;
    std::string configDir = DefaultConfigDir();
    std::string recordFile;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        int number = 0;
        bool ok = true;
        if (arg == "--paced") {
            paced = true;
            continue;
        }
        if (arg == "--quiet") {
            verbose = false;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        }
        if (!value) {
            ok = false;
        } else if (arg == "--link") {
            ok = ParseInt(value, 1, 9, linkNumber);
        } else if (arg == "--config-dir") {
            configDir = value;
        } else if (arg == "--version") {
            ok = ParseInt(value, 0, 255, number);
            options.version = static_cast<std::uint8_t>(number);
        } else if (arg == "--measure") {
            ok = ParseMeasure(value, options.measurement);
        } else if (arg == "--record") {
            recordFile = value;
        } else if (arg == "--drop-ack") {
            ok = ParseInt(value, 0, CardSimCore::FinalBlock, options.dropAckAfterBlock);
        } else if (arg == "--extra-ack") {
            ok = ParseInt(value, 0, CardSimCore::FinalBlock, options.extraAckAfterBlock);
        } else if (arg == "--noise") {
            ok = ParseInt(value, 0, 64, options.noiseBytes);
        } else if (arg == "--hangup-after") {
            ok = ParseInt(value, 0, CardSimCore::FinalBlock, options.hangupAfterBlock);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "zelkora-cardsim: bad option %s %s\n", arg.c_str(),
                         value ? value : "");
            Usage();
            return 2;
        }
        ++i;
    }

    CardSimPty card(options, paced);
    card.SetVerbose(verbose);
    card.SetRecordFile(recordFile);
    std::string error;
    if (!card.Open(&error) || (linkNumber > 0 && !card.LinkAs(configDir, linkNumber, &error))) {
        std::fprintf(stderr, "zelkora-cardsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", card.DevicePath().c_str());
    std::fflush(stdout);
    if (verbose && !card.LinkPath().empty())
        std::fprintf(stderr, "zelkora-cardsim: linked as %s\n", card.LinkPath().c_str());

    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    card.Run(g_stop);
    return 0;
}

// zelkora-cardsim: a virtual relay card on a pseudo-terminal, for trying and testing the
// program without the hardware.

#include "tools/cardsim_pty.h"

#include <atomic>
#include <cerrno>
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
        "Aufruf: zelkora-cardsim [OPTIONEN]\n"
        "\n"
        "Eine virtuelle Relaiskarte an einem Pseudo-Terminal, zum Ausprobieren und Testen ohne\n"
        "die Hardware. Schreibt den Gerätepfad (etwa /dev/pts/3) als erste Zeile auf die\n"
        "Standardausgabe und antwortet, bis sie beendet wird (Strg+C).\n"
        "\n"
        "  --link N            das Gerät als com<N> (1 bis 9) im Konfigurationsordner verknüpfen\n"
        "  --config-dir ORDNER Konfigurationsordner für --link (sonst $XDG_CONFIG_HOME oder\n"
        "                      ~/.config); der Verweis ist ORDNER/zelkora/com<N>\n"
        "  --version V         Versionsbyte als Antwort auf \"L\" (sonst 137)\n"
        "  --measure A,B,C,D   die vier Bytes als Antwort auf \"T\" (sonst 21,22,23,45)\n"
        "  --paced             beide Richtungen so langsam wie eine Leitung mit 2400 Baud\n"
        "                      (4,17 ms je Byte)\n"
        "  --record DATEI      jede empfangene Übertragung als Hex-Dump an DATEI anhängen\n"
        "  --drop-ack B        Block B nie bestätigen\n"
        "  --extra-ack B       Block B zweimal bestätigen\n"
        "  --noise N           vor jeder Antwort N Bytes Leitungsrauschen senden\n"
        "  --hangup-after B    auflegen, sobald Block B angekommen ist, dann enden\n"
        "  --quiet             keine Fortschrittszeilen auf der Standardfehlerausgabe\n"
        "\n"
        "Blöcke zählen wie im Fenster und in zelkora-cli von 1 bis 32; 33 ist der Schlussblock.");
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

// A block as the window and zelkora-cli count it, 1 to 32 and 33 for the final block; the
// card's core counts from 0.
bool ParseBlock(const char *text, int &block)
{
    if (!ParseInt(text, 1, CardSimCore::FinalBlock + 1, block))
        return false;
    --block;
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
            ok = ParseBlock(value, options.dropAckAfterBlock);
        } else if (arg == "--extra-ack") {
            ok = ParseBlock(value, options.extraAckAfterBlock);
        } else if (arg == "--noise") {
            ok = ParseInt(value, 0, 64, options.noiseBytes);
        } else if (arg == "--hangup-after") {
            ok = ParseBlock(value, options.hangupAfterBlock);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "zelkora-cardsim: ungültige Option %s %s\n", arg.c_str(),
                         value ? value : "");
            Usage();
            return 2;
        }
        ++i;
    }

    // A record that cannot be written would lose every upload without a word: fail now.
    if (!recordFile.empty()) {
        FILE *record = std::fopen(recordFile.c_str(), "a");
        if (!record) {
            std::fprintf(stderr, "zelkora-cardsim: --record %s: %s\n", recordFile.c_str(),
                         errno == ENOENT ? "den Ordner gibt es nicht" : std::strerror(errno));
            return 1;
        }
        std::fclose(record);
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
        std::fprintf(stderr, "zelkora-cardsim: verknüpft als %s\n", card.LinkPath().c_str());

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

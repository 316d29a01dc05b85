// The Telnet decoder fed a stream built from the input: card data (with 255 doubled, as a
// server sends it), commands, option negotiation and subnegotiations of any content, cut into
// pieces at places the input chooses. Whatever else the stream holds, what the decoder hands
// on as data must be exactly the data bytes, undoubled (from the last purge confirmation on,
// which drops what came before), and its answers stay bounded.
//   op 0 n b...   n data bytes
//   op 1 v o      IAC v o (v mapped onto 240..254 except SB), o an option
//   op 2 n b...   IAC SB b... IAC SE, the content doubled where it holds 255
//   op 3          hand what was built so far to the decoder
#include "link/telnetcodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::size_t at = 0;
    const auto next = [&]() -> int { return at < size ? data[at++] : -1; };

    TelnetCodec codec;
    codec.Opening();
    TelnetCodec::Output out;
    std::vector<std::uint8_t> stream, expected;
    const auto feed = [&] {
        codec.Feed(stream.data(), stream.size(), out);
        stream.clear();
    };
    for (int op = next(); op >= 0; op = next()) {
        switch (op % 4) {
        case 0: {
            const int n = next();
            for (int i = 0; i < n; ++i) {
                const int b = next();
                if (b < 0)
                    break;
                expected.push_back(std::uint8_t(b));
                TelnetCodec::EncodeData(std::uint8_t(b), stream);
            }
            break;
        }
        case 1: {
            const int v = next(), o = next();
            if (v < 0 || o < 0)
                break;
            std::uint8_t verb = std::uint8_t(240 + v % 15);
            if (verb == TelnetCodec::Sb)
                verb = TelnetCodec::Dont;
            stream.push_back(TelnetCodec::Iac);
            stream.push_back(verb);
            if (verb >= TelnetCodec::Will)
                stream.push_back(std::uint8_t(o));
            break;
        }
        case 2: {
            const int n = next();
            std::vector<std::uint8_t> content;
            for (int i = 0; i < n; ++i) {
                const int b = next();
                if (b < 0)
                    break;
                content.push_back(std::uint8_t(b));
            }
            stream.push_back(TelnetCodec::Iac);
            stream.push_back(TelnetCodec::Sb);
            for (std::uint8_t b : content)
                TelnetCodec::EncodeData(b, stream);
            stream.push_back(TelnetCodec::Iac);
            stream.push_back(TelnetCodec::Se);
            // A purge confirmation that the decoder can read drops what came before it.
            if (content.size() >= 2 && content.size() <= TelnetCodec::MaxSubnegotiation &&
                content[0] == TelnetCodec::OptComPort && content[1] == 112)
                expected.clear();
            break;
        }
        case 3:
            feed();
            break;
        }
    }
    feed();
    if (out.data != expected) {
        std::fprintf(stderr, "decoded %zu data bytes, %zu expected\n", out.data.size(),
                     expected.size());
        std::abort();
    }
    // Each option is agreed or refused at most once a side, whatever the server repeats.
    if (out.reply.size() > 3 * 256 * 4) {
        std::fprintf(stderr, "%zu bytes of answers\n", out.reply.size());
        std::abort();
    }
    return 0;
}

// The number rule against a deliberately plain second implementation, on every input.
#include "config/configimage.h"
#include "config/numberrule.h"

#include <QString>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Spends the top of the byte range on characters that look like digits or blanks to a
// careless parser, so the fuzzer meets them often.
char16_t toChar(std::uint8_t b)
{
    static constexpr char16_t lookalikes[] = {
        u'\u0661',        // Arabic-Indic one
        u'\uFF11',        // fullwidth one
        u'\uFF21',        // fullwidth A
        u'\u00A0',        // no-break space
        u'\u2007',        // figure space
        char16_t(0xD800), // lone surrogate
        u'\u0130',        // dotted capital I, lower-cases to two characters
        u'\u212A',        // Kelvin sign, lower-cases to k
    };
    if (b >= 0xF8)
        return lookalikes[b - 0xF8];
    return b;
}

long long referenceParse(std::u16string_view s)
{
    const auto start = s.find_first_not_of(u' ');
    if (start == std::u16string_view::npos)
        return 0;
    s.remove_prefix(start);

    bool hex = false;
    for (std::u16string_view prefix : {u"0x", u"0X", u"$", u"x", u"X"}) {
        if (s.starts_with(prefix)) {
            hex = true;
            s.remove_prefix(prefix.size());
            break;
        }
    }
    bool negative = false;
    if (!hex && !s.empty() && (s.front() == u'-' || s.front() == u'+')) {
        negative = s.front() == u'-';
        s.remove_prefix(1);
    }

    const std::u16string_view digits = hex ? u"0123456789abcdefABCDEF" : u"0123456789";
    const auto end = s.find_first_not_of(digits);
    const bool stoppedEarly = end != std::u16string_view::npos;
    const std::u16string_view run = s.substr(0, stoppedEarly ? end : s.size());

    unsigned __int128 value = 0;
    for (char16_t c : run) {
        const auto d = digits.find(c);
        const unsigned digit = d < 16 ? unsigned(d) : unsigned(d - 6); // a-f then A-F
        value = value * (hex ? 16 : 10) + digit;
        if (value > LLONG_MAX)
            value = LLONG_MAX;
    }
    const auto magnitude = static_cast<long long>(value);
    if (stoppedEarly || run.empty())
        return magnitude;
    return negative ? -magnitude : magnitude;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        text.push_back(toChar(data[i]));
    // Raw copy: QString::fromUtf16 would eat a leading byte order mark.
    const QString qtext = QStringView(text).toString();

    const long long got = ParseNumber(qtext);
    const long long want = referenceParse(text);
    if (got != want || ParseNumber(QStringView(qtext)) != got) {
        std::fprintf(stderr, "number rule: \"%s\" gave %lld, reference %lld\n",
                     qtext.toUtf8().constData(), got, want);
        std::abort();
    }
    if (LowByte(got) != static_cast<std::uint8_t>(static_cast<unsigned long long>(got) % 256)) {
        std::fprintf(stderr, "low byte of %lld wrong\n", got);
        std::abort();
    }
    return 0;
}

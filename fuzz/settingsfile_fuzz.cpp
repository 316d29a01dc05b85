// The ini.cfg read on arbitrary contents: no crash, a port index the port list has (or -1),
// line 2 whole as the project path, and what is written back reads back the same.
#include "config/fileaccess.h"
#include "config/numberrule.h"
#include "config/settingsfile.h"
#include "fuzz/fuzzfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, std::size_t size)
{
    std::fprintf(stderr, "ini.cfg: %s (input of %zu bytes)\n", what, size);
    std::abort();
}

// Plain line splitting: CR LF, LF or a lone CR ends a line.
QByteArray line(const QByteArray &text, int wanted)
{
    qsizetype pos = 0;
    for (int n = 0;; ++n) {
        qsizetype end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        if (n == wanted)
            return text.mid(pos, end - pos);
        if (end >= text.size())
            return {};
        pos = end + (text.mid(end, 2) == "\r\n" ? 2 : 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = WriteFuzzInputFile(QStringLiteral("ini.cfg"), content);

    Settings settings;
    if (!LoadSettingsFile(path, settings).ok())
        fail("a readable file did not load", size);
    if (settings.portIndex < -1 || settings.portIndex >= Settings::PortCount)
        fail("port index outside the port list", size);
    if (settings.projectPath.contains(u'\r') || settings.projectPath.contains(u'\n'))
        fail("project path holds a line end", size);

    const long long number = ParseNumber(QString::fromLatin1(line(content, 0)));
    const int wantPort = number >= 0 && number < Settings::PortCount ? int(number) : -1;
    if (settings.portIndex != wantPort)
        fail("port index is not line 1 by the number rule", size);
    if (settings.projectPath != FileNameFromNative(line(content, 1)))
        fail("project path is not line 2", size);

    // Written back and read again: the same port, and a bare file name stays as it was.
    if (!SaveSettingsFile(path, settings.portIndex, settings.projectPath,
                          QFileInfo(path).absolutePath())
             .ok()) {
        // Only a name the system cannot take may fail.
        if (!settings.projectPath.contains(QChar(u'\0')))
            fail("write-back failed", size);
        return 0;
    }
    Settings again;
    if (!LoadSettingsFile(path, again).ok() || again.portIndex != settings.portIndex)
        fail("port index does not survive a write-back", size);
    const QString &name = settings.projectPath;
    const bool bareName = !name.contains(u'/') && name != u"." && name != u"..";
    if (bareName && again.projectPath != name)
        fail("a bare project name does not survive a write-back", size);
    return 0;
}

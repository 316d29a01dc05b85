// Which device "COM n" opens, and what the port list says about it and about a failed open,
// against made-up systems.
#include "link/linkfailure.h"
#include "link/portresolver.h"
#include "tests/support/fakeenvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <ostream>

namespace {

PortInfo OnBoard(int n)
{
    return {QStringLiteral("/dev/ttyS%1").arg(n), {}, QStringLiteral("16550A"), {}, {}};
}

PortInfo Adapter(const char *path, const char *byId, const char *serial = "")
{
    return {QString::fromLatin1(path),
            *byId ? QStringLiteral("/dev/serial/by-id/") + QString::fromLatin1(byId) : QString(),
            QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"), QString::fromLatin1(serial)};
}

struct ResolutionCase
{
    const char *name;
    std::vector<PortInfo> ports;
    std::vector<const char *> link; // com<n> → target, as pairs "n=target"
    // What COM 1 .. COM 4 open; "" for no n-th port, "link:<n>" for the user's link.
    std::vector<const char *> expected;
};

void PrintTo(const ResolutionCase &c, std::ostream *out)
{
    *out << c.name;
}

class PortResolutionTest : public ::testing::TestWithParam<ResolutionCase>
{
};

TEST_P(PortResolutionTest, EachEntryOpensItsDevice)
{
    const ResolutionCase &c = GetParam();
    FakePortEnvironment environment;
    environment.ports = c.ports;
    for (const char *link : c.link) {
        const QString pair = QString::fromLatin1(link);
        const QString n = pair.section(QLatin1Char('='), 0, 0);
        ASSERT_TRUE(QFile::link(pair.section(QLatin1Char('='), 1),
                                environment.LinkFolder() + QStringLiteral("/com") + n));
    }
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
        const int n = int(i) + 1;
        const PortResolution r = ResolvePort(QStringLiteral("Com%1").arg(n), environment);
        const QString want = QString::fromLatin1(c.expected[i]);
        if (want.isEmpty()) {
            EXPECT_EQ(r.source, PortResolution::Missing) << "COM " << n;
            EXPECT_TRUE(r.device.isEmpty()) << "COM " << n;
        } else if (want.startsWith(QLatin1String("link:"))) {
            EXPECT_EQ(r.source, PortResolution::Link) << "COM " << n;
            EXPECT_EQ(r.device, environment.LinkFolder() + QStringLiteral("/com") + want.mid(5));
        } else {
            EXPECT_EQ(r.source, PortResolution::Discovered) << "COM " << n;
            EXPECT_EQ(r.device, want) << "COM " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Systems, PortResolutionTest,
    ::testing::Values(
        ResolutionCase{"OnBoardOnly",
                       {OnBoard(10), OnBoard(1), OnBoard(0), OnBoard(2)},
                       {},
                       {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10", ""}},
        ResolutionCase{"AdaptersOnlyByStableName",
                       {Adapter("/dev/ttyUSB0", "usb-FTDI_C-if00-port0"),
                        Adapter("/dev/ttyUSB1", "usb-FTDI_B-if00-port0"),
                        Adapter("/dev/ttyACM0", "usb-Arduino_A-if00")},
                       {},
                       {"/dev/serial/by-id/usb-Arduino_A-if00",
                        "/dev/serial/by-id/usb-FTDI_B-if00-port0",
                        "/dev/serial/by-id/usb-FTDI_C-if00-port0", ""}},
        ResolutionCase{"OnBoardBeforeAdapters",
                       {Adapter("/dev/ttyUSB0", "usb-FTDI_A-if00-port0"), OnBoard(1), OnBoard(0)},
                       {},
                       {"/dev/ttyS0", "/dev/ttyS1", "/dev/serial/by-id/usb-FTDI_A-if00-port0", ""}},
        ResolutionCase{"AdaptersWithoutStableNameByPath",
                       {Adapter("/dev/ttyUSB3", ""), Adapter("/dev/ttyAMA0", ""),
                        Adapter("/dev/ttyUSB1", "usb-X-if00")},
                       {},
                       {"/dev/serial/by-id/usb-X-if00", "/dev/ttyAMA0", "/dev/ttyUSB3"}},
        ResolutionCase{"FewerPortsThanEntries", {OnBoard(0)}, {}, {"/dev/ttyS0", "", "", ""}},
        ResolutionCase{"NoPortsAtAll", {}, {}, {"", ""}},
        ResolutionCase{"LinkWinsOverDiscovery",
                       {OnBoard(0), Adapter("/dev/ttyUSB0", "usb-A")},
                       {"1=/dev/null"},
                       {"link:1", "/dev/serial/by-id/usb-A"}},
        // A dangling link still names what the user meant: "nicht gefunden", not another port.
        ResolutionCase{"DanglingLink",
                       {OnBoard(0), OnBoard(1)},
                       {"2=/nonexistent/ttyUSB9"},
                       {"/dev/ttyS0", "link:2", ""}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PortEntry, TooltipNamesTheDeviceAndTheAdapter)
{
    FakePortEnvironment environment;
    environment.ports = {
        OnBoard(0), Adapter("/dev/ttyUSB0", "usb-FTDI_FT232R_A5XK3RJT-if00-port0", "A5XK3RJT")};
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyUSB7"),
                            environment.LinkFolder() + QStringLiteral("/com4")));
    EXPECT_EQ(DescribePortEntry(1, environment), QStringLiteral("COM 1: /dev/ttyS0, 16550A"));
    EXPECT_EQ(DescribePortEntry(2, environment),
              QStringLiteral("COM 2: /dev/serial/by-id/usb-FTDI_FT232R_A5XK3RJT-if00-port0, "
                             "FT232R USB UART, FTDI, Seriennummer A5XK3RJT"));
    EXPECT_EQ(DescribePortEntry(3, environment),
              QStringLiteral("COM 3: kein Gerät (2 serielle Anschlüsse gefunden)"));
    EXPECT_EQ(DescribePortEntry(4, environment),
              environment.LinkFolder().prepend(QStringLiteral("COM 4: ")) +
                  QStringLiteral("/com4 → /nonexistent/ttyUSB7 (nicht vorhanden)"));
    environment.ports.pop_back();
    EXPECT_EQ(DescribePortEntry(2, environment),
              QStringLiteral("COM 2: kein Gerät (1 serieller Anschluss gefunden)"));
}

struct FailureCase
{
    const char *name;
    FailureKind failure;
    const char *group;
    qint64 holderPid;
    const char *holder;
    const char *text;
};

void PrintTo(const FailureCase &c, std::ostream *out)
{
    *out << c.name;
}

class FailureKindTest : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(FailureKindTest, SaysWhatIsWrongAndWhatToDo)
{
    const FailureCase &c = GetParam();
    FakePortEnvironment environment;
    const QString device = QStringLiteral("/dev/ttyUSB0");
    if (*c.group)
        environment.groups.insert(device, QString::fromLatin1(c.group));
    if (c.holderPid)
        environment.holders.insert(device, {QString::fromLatin1(c.holder), c.holderPid});
    EXPECT_EQ(DescribePortFailure(c.failure, device, environment, 0, QStringLiteral("E/A-Fehler")),
              QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailureKindTest,
    ::testing::Values(
        FailureCase{"PermissionWithGroup", FailureKind::Permission, "dialout", 0, "",
                    "keine Berechtigung: /dev/ttyUSB0 gehört der Gruppe dialout. Abhilfe: sudo "
                    "usermod -aG dialout anna, danach neu anmelden"},
        FailureCase{"PermissionOfRootOnly", FailureKind::Permission, "root", 0, "",
                    "keine Berechtigung"},
        FailureCase{"BusyWithLockFile", FailureKind::Busy, "", 4711, "minicom",
                    "belegt von minicom (PID 4711)"},
        FailureCase{"BusyWithoutLockFile", FailureKind::Busy, "", 0, "", "belegt"},
        FailureCase{"NotFound", FailureKind::NotFound, "", 0, "", "nicht gefunden"},
        FailureCase{"Gone", FailureKind::Gone, "", 0, "", "getrennt"},
        FailureCase{"NoDevice", FailureKind::NoDevice, "", 0, "",
                    "kein Gerät (0 serielle Anschlüsse gefunden)"},
        FailureCase{"Other", FailureKind::Other, "", 0, "", "E/A-Fehler"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

// "COM n" by each front's rule: the command line and the mode string strictly, the window's
// list by the character behind "COM " alone.
TEST(PortEntry, EachFrontReadsComNByItsOwnRule)
{
    struct Case
    {
        const char *text;
        int strict; // ComNumber
        int list;   // PortListNumber
    };
    const Case cases[] = {
        {"COM 3", 3, 3}, {"com3", 3, 0},   {"Com3", 3, 0}, {"COM 34", 0, 3},
        {"COM 0", 0, 0}, {"COM 10", 0, 1}, {"COM ", 0, 0}, {"COM x", 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ComNumber(QString::fromLatin1(c.text)), c.strict) << c.text;
        EXPECT_EQ(PortListNumber(QString::fromLatin1(c.text)), c.list) << c.text;
    }
}

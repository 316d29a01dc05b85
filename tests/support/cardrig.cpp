#include "tests/support/cardrig.h"

#include "link/linkengine.h"
#include "tools/cardsim_expect.h"
#include "tools/eventwait.h"

QDateTime SessionRig::FixedNow()
{
    return QDateTime(QDate(2024, 1, 7), QTime(14, 5, 9));
}

SessionRig::SessionRig(const QString &configDir, int portNumber)
    : m_configDir(configDir), m_portNumber(portNumber)
{
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = std::uint8_t(i * 151 + 7 + portNumber);
    session.setTimeSource(&SessionRig::FixedNow);
    QObject::connect(&session, &CardSession::linkReported, &session,
                     [this](bool isConnected, bool isWrongVersion) {
                         connected = isConnected;
                         wrongVersion = isWrongVersion;
                         ++reports;
                     });
    QObject::connect(&session, &CardSession::sendDisabled, &session,
                     [this] { sendEnabled = false; });
    QObject::connect(&session, &CardSession::uploadCompleted, &session, [this] { ++completions; });
    session.start();
}

SessionRig::~SessionRig() = default;

bool SessionRig::plugCard(const CardSimOptions &options, bool paced)
{
    card.reset(); // the old card takes its link with it when it goes
    card = PlugCard(options, {paced, true, m_configDir.toStdString(), m_portNumber});
    return card != nullptr;
}

bool SessionRig::choosePort()
{
    if (!session.ComboBox1Change(portText()))
        return false;
    // The first report may still speak of the cycle before the port was chosen.
    const int before = reports;
    return RunEventsUntil([&] { return reports >= before + 2; }, 4000) && connected;
}

bool SessionRig::plugCardAndChoosePort(const CardSimOptions &options, bool paced)
{
    return plugCard(options, paced) && choosePort();
}

bool SessionRig::pressSend()
{
    if (!RunEventsUntil([this] { return session.LinkStep() == LinkEngine::Idle; }, 3000))
        return false;
    session.Send();
    return session.LinkStep() == LinkEngine::UploadAsked;
}

bool SessionRig::waitForCompletions(int count, int timeoutMs)
{
    return RunEventsUntil([&] { return completions >= count; }, timeoutMs) && completions == count;
}

std::vector<std::uint8_t> SessionRig::expectedUpload() const
{
    return ExpectedUpload(image, 9, 5, 14, 1); // 14:05:09 on a Sunday
}

bool SessionRig::cardRecordedUploads(std::size_t count)
{
    const auto uploads = card->Uploads();
    if (uploads.size() != count) {
        why = std::to_string(uploads.size()) + " uploads recorded, " + std::to_string(count) +
              " expected";
        return false;
    }
    const auto expected = expectedUpload();
    const auto &got = uploads.back();
    std::size_t i = 0;
    while (i < got.size() && i < expected.size() && got[i] == expected[i])
        ++i;
    why = std::to_string(got.size()) + " bytes recorded, " + std::to_string(expected.size()) +
          " expected, first difference at " + std::to_string(i);
    return got == expected;
}

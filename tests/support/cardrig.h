#pragma once

#include "config/configimage.h"
#include "link/cardsession.h"
#include "tools/cardsim_pty.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

// A card session as the window runs it (both timers, arrivals) against the virtual card on
// a pseudo-terminal linked as COM n in the test's configuration folder. The session's clock
// reads a fixed Sunday 14:05:09, so the final block of every upload is known.
class SessionRig
{
public:
    static QDateTime FixedNow();

    explicit SessionRig(const QString &configDir, int portNumber = 1);
    ~SessionRig();

    // A new virtual card on a new pseudo-terminal, linked as this rig's port, paced like a
    // 2400-baud line: the session takes an acknowledgement faster than the wire for a
    // surplus one.
    bool plugCard(const CardSimOptions &options = {}, bool paced = true);
    // Chooses the port as the user does and waits for a once-a-second report that the
    // card answered.
    bool choosePort();
    bool plugCardAndChoosePort(const CardSimOptions &options = {}, bool paced = true);
    // "Send" as the user presses it: only an idle engine starts an upload.
    bool pressSend();
    // Waits for the given number of completed uploads.
    bool waitForCompletions(int count, int timeoutMs = 10000);

    // "D", image bytes 0 to 511, the clock bytes of FixedNow and bytes 244, 245, 246, 248, 247.
    std::vector<std::uint8_t> expectedUpload() const;
    // Whether the card recorded `count` uploads and the last one is the expected one; `why`
    // then says where it went wrong.
    bool cardRecordedUploads(std::size_t count);

    QString portText() const { return QStringLiteral("COM ") + QString::number(m_portNumber); }

    ConfigImage image;
    CardSession session{image};
    std::unique_ptr<CardSimPty> card;
    bool connected = false;
    bool wrongVersion = false;
    int reports = 0;
    bool sendEnabled = true;
    int completions = 0;
    std::string why;

private:
    QString m_configDir;
    int m_portNumber = 1;
};

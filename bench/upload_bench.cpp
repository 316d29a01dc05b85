// One full upload against the virtual card paced like a 2400-baud line, through the real
// serial layer and engine driven by a real 20 ms timer, as in the window. Prints how close
// the upload comes to the wire's limit and how long the event loop was held up.

#include "cardsim_pty.h"
#include "configimage.h"
#include "linkclock.h"
#include "linkengine.h"
#include "serialport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QCoreApplication app(argc, argv);

    CardSimPty card({}, true);
    std::string error;
    if (!card.Open(&error) || !card.LinkAs(configHome.path().toStdString(), 1, &error)) {
        std::fprintf(stderr, "upload_bench: %s\n", error.c_str());
        return 1;
    }
    card.Start();

    ConfigImage image;
    for (int i = 0; i < ConfigImage::Size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + 1);
    SerialPort port;
    LinkClock clock;
    LinkEngine engine(port, image, clock);
    if (!port.ConnectPort(QStringLiteral("COM 1"))) {
        std::fprintf(stderr, "upload_bench: %s: %s\n", qPrintable(port.LastDevice()),
                     qPrintable(port.LastFailure()));
        return 1;
    }
    clock.Timer2Timer(QDateTime::currentDateTime(), engine);
    engine.Button2Click();

    // The event loop is blocked for as long as one pass takes: measure the gaps between
    // passes with a zero-interval timer, which fires on every pass.
    QElapsedTimer sinceLastPass;
    qint64 longestBlockNs = 0;
    bool uploading = false;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, &app, [&] {
        if (uploading)
            longestBlockNs = std::max(longestBlockNs, sinceLastPass.nsecsElapsed());
        sinceLastPass.restart();
    });

    QTimer timer1;
    timer1.setInterval(20);
    QObject::connect(&timer1, &QTimer::timeout, &engine, [&] { engine.Timer1Timer(); });

    QElapsedTimer upload;
    qint64 uploadNs = 0;
    QObject::connect(&engine, &LinkEngine::uploadCompleted, &app, [&] {
        uploadNs = upload.nsecsElapsed();
        uploading = false;
        app.quit();
    });
    QTimer::singleShot(20000, &app, [&] {
        std::fprintf(stderr, "upload_bench: no completion within 20 s (step %d)\n",
                     engine.LinkStep());
        app.exit(1);
    });

    QTimer::singleShot(0, &app, [&] {
        sinceLastPass.start();
        probe.start();
        timer1.start();
        upload.start();
        uploading = true;
        engine.Button1Click();
    });
    if (app.exec() != 0)
        return 1;

    const int programBytes = 1 + 512 + 9;
    const int cardBytes = 34;
    const double wireMs = (programBytes + cardBytes) * 10.0 * 1000.0 / 2400.0;
    const double uploadMs = static_cast<double>(uploadNs) / 1e6;
    const bool received = card.Uploads().size() == 1 && card.Uploads().front().size() == 522u;
    std::printf("wire limit (%d + %d bytes at 2400 baud, 8N1): %8.1f ms\n", programBytes, cardBytes,
                wireMs);
    std::printf("measured upload time:                      %8.1f ms\n", uploadMs);
    std::printf("ratio measured / wire limit:               %8.2f\n", uploadMs / wireMs);
    std::printf("longest event-loop block during upload:    %8.1f ms\n",
                static_cast<double>(longestBlockNs) / 1e6);
    std::printf("card received the whole upload:            %8s\n", received ? "yes" : "NO");
    return received ? 0 : 1;
}

// Capture through the real widgets: what a user's edit writes into the image, and nothing more.
#include "config/pagecodec.h"
#include "tests/support/edgeimages.h"
#include "tests/support/imagebits.h"
#include "tests/support/windowfixture.h"

#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>

namespace {

std::uint8_t Pattern(int offset)
{
    return static_cast<std::uint8_t>(offset * 37 + 11);
}

} // namespace

class CaptureTest : public QObject
{
    Q_OBJECT

private slots:
    void lastPageWritesExactlyItsBytes();
    void relayLabelsBecomeTabCaptions();
    void cardNameInStatusPanel();
    void runningLightModeZeroesPowerUpByte();
    void powerUpBoxCapturedAtOnce();
    void diagnosticLabelShowsRelayOne();
    void keyboardToggleCaptured_data();
    void keyboardToggleCaptured();
    void pushButtonForcesOrOnNextCapture();
    void capturingControls_data();
    void capturingControls();
    void untouchedPagesLeaveEveryByte_data();
    void untouchedPagesLeaveEveryByte();
};

void CaptureTest::lastPageWritesExactlyItsBytes()
{
    Window w;
    w.show(7);
    for (int i = 0; i < ConfigImage::Size; ++i)
        w.image()[i] = Pattern(i);
    const ConfigImage before = w.image();

    w.paste(QStringLiteral("Edit13"), QStringLiteral("Licht"));
    w.list(QStringLiteral("ComboBox17"))->setCurrentIndex(1);
    w.click(QStringLiteral("CheckBox9")); // "IF K8", captured on release

    // Nothing but what a capture of page 8 owns: the window adds no write of its own.
    const auto owned = OwnedBits(7);
    for (int i = 0; i < ConfigImage::Size; ++i) {
        const int foreign = ~owned[i] & 0xFF;
        QVERIFY2((w.image()[i] & foreign) == (before[i] & foreign),
                 qPrintable(QStringLiteral("byte %1").arg(i)));
    }

    // And what was written is what the controls show.
    QCOMPARE(int(w.image()[14]), 0x80);
    QCOMPARE(int(w.image()[15] & 0x3F), 0x00); // "OR", nothing active
    QCOMPARE(int(w.image()[246] & 0x80), 0);
    QCOMPARE(int(w.image()[248] & 0x80), 0x80); // "key" clear: inverted bit set
    QCOMPARE(int(w.image()[244] & 0x04), 0x04); // "V 5.x  AT"
    QCOMPARE(ReadNameSlot(w.image(), 4), QStringLiteral("Licht"));
    QCOMPARE(int(w.image()[150]), w.edit(QStringLiteral("Edit2"))->text().toInt());
    QCOMPARE(int(w.image()[117]), w.picker(QStringLiteral("DateTimePicker1"))->time().hour());
}

void CaptureTest::relayLabelsBecomeTabCaptions()
{
    Window w;
    w.show(0);
    w.paste(QStringLiteral("Edit9"), QStringLiteral("Pumpe Süd"));
    w.paste(QStringLiteral("Edit12"), QString());
    w.click(QStringLiteral("Panel10"));
    auto *notebook = Control<QTabWidget>(w.form.get(), QStringLiteral("TabbedNotebook1"));
    QCOMPARE(notebook->tabText(0), QStringLiteral("Pumpe Süd"));
    QCOMPARE(notebook->tabText(3), QString());
    QCOMPARE(notebook->tabText(7), QStringLiteral("Relais 8"));
    QCOMPARE(ReadNameSlot(w.image(), 0), QStringLiteral("Pumpe Süd"));
    QCOMPARE(ReadNameSlot(w.image(), 3), QString());
}

void CaptureTest::cardNameInStatusPanel()
{
    Window w;
    w.show(0);
    w.paste(QStringLiteral("Edit17"), QStringLiteral("Garten"));
    w.click(QStringLiteral("Panel10"));
    QCOMPARE(w.panel(1)->text(), QStringLiteral(" Relaiskarte : Garten"));
    QCOMPARE(ReadNameSlot(w.image(), 8), QStringLiteral("Garten"));
    w.paste(QStringLiteral("Edit17"), QString());
    w.click(QStringLiteral("Panel4"));
    QCOMPARE(w.panel(1)->text(), QStringLiteral(" Relaiskarte : "));
    QCOMPARE(ReadNameSlot(w.image(), 8), QString());
}

void CaptureTest::runningLightModeZeroesPowerUpByte()
{
    Window w;
    w.show(0);
    w.click(QStringLiteral("CheckBox1"));
    w.click(QStringLiteral("CheckBox40"));
    QCOMPARE(int(w.image()[247]), 0x05);
    w.click(QStringLiteral("Panel5"));
    QCOMPARE(int(w.image()[247]), 0);
    w.click(QStringLiteral("Panel4"));
    QCOMPARE(int(w.image()[247]), 0x05);
}

void CaptureTest::powerUpBoxCapturedAtOnce()
{
    // A power-up box changed and then another page shown: the display of the new page must
    // not bring back the old state from the image.
    Window w;
    w.show(0);
    w.click(QStringLiteral("CheckBox45"));
    QCOMPARE(int(w.image()[247]), 0x80);
    w.choosePage(2);
    QVERIFY(w.box(QStringLiteral("CheckBox45"))->isChecked());
    QVERIFY(!w.box(QStringLiteral("CheckBox1"))->isChecked());
}

void CaptureTest::diagnosticLabelShowsRelayOne()
{
    Window w;
    w.show(0);
    w.click(QStringLiteral("CheckBox2"));
    w.click(QStringLiteral("CheckBox3"));
    w.click(QStringLiteral("RadioButton3"));
    w.choosePage(4);
    w.click(QStringLiteral("CheckBox9"));
    auto *label = Control<QLabel>(w.form.get(), QStringLiteral("Label8"));
    QCOMPARE(label->text(), QStringLiteral("3   1"));
    QVERIFY(!label->isVisible());
}

void CaptureTest::keyboardToggleCaptured_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("expected");
    QTest::newRow("IF K3") << "CheckBox4" << 2 * 2 << 0x04 << 0x04;
    QTest::newRow("Timer 2 aktiv") << "CheckBox11" << 2 * 2 + 1 << 0x04 << 0x04;
    QTest::newRow("repeat") << "CheckBox14" << 128 + 3 * 2 << 0x02 << 0x02;
    QTest::newRow("key") << "CheckBox49" << 248 << 0x04 << 0x00;
    QTest::newRow("temperature aktiv") << "CheckBox46" << 256 + 4 * 2 << 0x01 << 0x01;
    QTest::newRow("counter switch") << "CheckBox48" << 152 + 8 * 2 << 0x02 << 0x02;
    QTest::newRow("REL 3") << "CheckBox40" << 247 << 0x04 << 0x04;
}

void CaptureTest::keyboardToggleCaptured()
{
    QFETCH(QString, control);
    QFETCH(int, offset);
    QFETCH(int, mask);
    QFETCH(int, expected);
    Window w;
    w.show(2);
    w.image()[248] = 0xFF;
    QAbstractButton *box = w.button(control);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    QVERIFY(box->isChecked());
    QCOMPARE(w.image()[offset] & mask, expected);
}

void CaptureTest::pushButtonForcesOrOnNextCapture()
{
    Window w;
    SetImageBit(w.image(), 246, 1);
    w.image()[3] = 0x01; // AND
    w.show(1);
    QVERIFY(w.box(QStringLiteral("CheckBox47"))->isChecked());
    QVERIFY(w.button(QStringLiteral("RadioButton3"))->isChecked());
    w.form->inarray();
    QVERIFY(w.button(QStringLiteral("RadioButton4"))->isChecked());
    QCOMPARE(w.image()[3] & 0x01, 0x01);
    // "Taster" came with the page: the forced "OR" is the window's, and the file keeps AND.
    w.form->inarray();
    QCOMPARE(w.image()[3] & 0x01, 0x01);
    // Checked by the user, "Taster" brings its "OR" into the image at the next capture.
    w.click(QStringLiteral("CheckBox47"));
    w.click(QStringLiteral("RadioButton3"));
    w.click(QStringLiteral("CheckBox47"));
    QVERIFY(w.button(QStringLiteral("RadioButton4"))->isChecked());
    w.form->inarray();
    QCOMPARE(w.image()[3] & 0x01, 0x00);
}

void CaptureTest::capturingControls_data()
{
    // Each user change that captures at once, and a byte that shows it did.
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("expected");
    QTest::newRow("Timer 1 day") << "ComboBox2" << 7 << 16 + 14 * 3 << 62;
    QTest::newRow("Timer 2 day") << "ComboBox3" << 9 << 23 + 14 * 3 << 127;
    QTest::newRow("sensor") << "ComboBox15" << 3 << 257 + 4 * 3 << 3;
    QTest::newRow("offset 1") << "ComboBox14" << 9 << 245 << 9;
    QTest::newRow("offset 2") << "ComboBox16" << 3 << 245 << 48;
}

void CaptureTest::capturingControls()
{
    QFETCH(QString, control);
    QFETCH(int, index);
    QFETCH(int, offset);
    QFETCH(int, expected);
    Window w;
    w.show(3);
    w.image()[offset] = 0xEE;
    w.list(control)->setCurrentIndex(index);
    QCOMPARE(int(w.image()[offset]), expected);

    // The time pickers capture on their own change, too.
    w.picker(QStringLiteral("DateTimePicker6"))->setTime(QTime(23, 59, 58));
    QCOMPARE(int(w.image()[157 + 8 * 3]), 23);
    QCOMPARE(int(w.image()[158 + 8 * 3]), 59);
    QCOMPARE(int(w.image()[159 + 8 * 3]), 58);
}

// What the window cannot show stays as the file has it: every page of an image shown and
// captured without an edit leaves all 1024 bytes as they were (903 aside, which only a load
// clears), for images full of values no control can show.
void CaptureTest::untouchedPagesLeaveEveryByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    for (const auto &[name, make] : EdgeCases()) {
        ConfigImage image = StarterProject();
        make(image);
        QTest::newRow(name) << QByteArray(reinterpret_cast<const char *>(image.data()),
                                          ConfigImage::Size);
    }
    for (unsigned seed = 1; seed <= 40; ++seed) {
        const ConfigImage image = RandomImage(seed);
        QTest::newRow(qPrintable(QStringLiteral("random %1").arg(seed)))
            << QByteArray(reinterpret_cast<const char *>(image.data()), ConfigImage::Size);
    }
}

void CaptureTest::untouchedPagesLeaveEveryByte()
{
    QFETCH(QByteArray, bytes);
    Window w;
    std::copy_n(reinterpret_cast<const std::uint8_t *>(bytes.constData()), ConfigImage::Size,
                w.image().data());
    // In running-light mode the notebook is covered and keeps its page, as for the user.
    const int pages = (std::uint8_t(bytes[ImageOffset::GlobalFlags]) & 1) ? 1 : 8;
    for (int p = 0; p < pages; ++p) {
        w.show(p);
        w.form->inarray();
        for (int i = 0; i < ConfigImage::Size; ++i)
            QVERIFY2(w.image()[i] == std::uint8_t(bytes[i]),
                     qPrintable(QStringLiteral("page %1, byte %2: %3 → %4")
                                    .arg(p + 1)
                                    .arg(i)
                                    .arg(std::uint8_t(bytes[i]))
                                    .arg(w.image()[i])));
    }
}

QTEST_MAIN(CaptureTest)

#include "capture_test.moc"

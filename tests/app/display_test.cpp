// Showing a relay page through the real widgets: each encoding, its out-of-range values, the
// rules that still act while a page is shown, and the state the display leaves behind.
#include "tests/support/windowfixture.h"

#include <QLabel>
#include <QTabWidget>

namespace {

QTabWidget *Notebook(const Window &w)
{
    return Control<QTabWidget>(w.form.get(), QStringLiteral("TabbedNotebook1"));
}

void SetSlot(ConfigImage &image, int slot, const QByteArray &bytes)
{
    for (int i = 0; i < ImageOffset::NameSlotSize; ++i)
        image[ImageOffset::nameSlot(slot) + i] =
            i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0;
}

} // namespace

class DisplayTest : public QObject
{
    Q_OBJECT

private slots:
    void logicAndModesOfTheChosenPage();
    void andOrFollowsImageEvenWithPushButton_data();
    void andOrFollowsImageEvenWithPushButton();
    void modeRulesMutedDuringDisplay();
    void times_data();
    void times();
    void lists_data();
    void lists();
    void thresholdsSigned_data();
    void thresholdsSigned();
    void sensorAndUnitLabels_data();
    void sensorAndUnitLabels();
    void fieldLimitsActDuringDisplay();
    void repeatAndKeyBothSet();
    void counterSwitchDisablesFieldButKeepsNumber();
    void runningLightChannels();
    void names();
    void emptyCardName();
    void viewRestoredFromImage();
    void powerUpBoxesFromImage();
    void displayOfAValidPageWritesNothing();
    void tabChangeShowsImageNotControls();
};

void DisplayTest::logicAndModesOfTheChosenPage()
{
    Window w;
    w.image()[4] = 5;
    w.image()[5] = 3;
    w.image()[0] = 0x80;
    w.show(2);
    QVERIFY(w.box(QStringLiteral("CheckBox2"))->isChecked());
    QVERIFY(!w.box(QStringLiteral("CheckBox3"))->isChecked());
    QVERIFY(w.box(QStringLiteral("CheckBox4"))->isChecked());
    QVERIFY(w.button(QStringLiteral("RadioButton3"))->isChecked());
    QVERIFY(w.box(QStringLiteral("CheckBox10"))->isChecked());
    QVERIFY(!w.box(QStringLiteral("CheckBox11"))->isChecked());
    QVERIFY(w.form->CaptureEnabled());
    QVERIFY(!w.form->DisplayInProgress());
    w.choosePage(0);
    QVERIFY(!w.box(QStringLiteral("CheckBox2"))->isChecked());
    QVERIFY(w.box(QStringLiteral("CheckBox9"))->isChecked());
    QVERIFY(w.button(QStringLiteral("RadioButton4"))->isChecked());
    QVERIFY(!w.box(QStringLiteral("CheckBox10"))->isChecked());
}

void DisplayTest::andOrFollowsImageEvenWithPushButton_data()
{
    QTest::addColumn<int>("modeByte");
    QTest::addColumn<bool>("pushButton");
    QTest::addColumn<bool>("andShown");
    QTest::newRow("OR with Taster") << 0 << true << false;
    QTest::newRow("AND with Taster") << 1 << true << true;
    QTest::newRow("AND") << 1 << false << true;
    QTest::newRow("OR") << 0 << false << false;
}

void DisplayTest::andOrFollowsImageEvenWithPushButton()
{
    QFETCH(int, modeByte);
    QFETCH(bool, pushButton);
    QFETCH(bool, andShown);
    Window w;
    w.image()[1] = 0x01; // page 1 shows AND first, so each row changes the pair
    w.show(0);
    w.image()[7] = static_cast<std::uint8_t>(modeByte);
    AssignImageBit(w.image(), 246, 3, pushButton);
    w.choosePage(3);
    QCOMPARE(w.box(QStringLiteral("CheckBox47"))->isChecked(), pushButton);
    QCOMPARE(w.button(QStringLiteral("RadioButton3"))->isChecked(), andShown);
    QCOMPARE(w.button(QStringLiteral("RadioButton4"))->isChecked(), !andShown);
    QCOMPARE(int(w.image()[7]), modeByte);
}

void DisplayTest::modeRulesMutedDuringDisplay()
{
    Window w;
    w.image()[2] = 0x01;       // IF K1
    w.image()[3] = 0x1E;       // all four aktiv boxes
    w.image()[256 + 4] = 0x01; // temperature
    w.show(1);
    for (const char *name :
         {"CheckBox2", "CheckBox10", "CheckBox11", "CheckBox12", "CheckBox13", "CheckBox46"})
        QVERIFY2(w.box(QString::fromLatin1(name))->isChecked(), name);
    QCOMPARE(int(w.image()[3]), 0x1E);
}

// The encodings and their out-of-range values are the page codec's; here each control once,
// and what only a widget can get wrong (a picker given no time of day keeps its old one, a list
// given no entry keeps its text, a field's range rule at its edges).
void DisplayTest::times_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<QTime>("shown");
    QTest::newRow("7:5:0") << 7 << 5 << 0 << QTime(7, 5, 0);
    QTest::newRow("hour 24") << 24 << 0 << 0 << QTime(0, 0, 0);
}

void DisplayTest::times()
{
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(QTime, shown);
    Window w;
    const int p = 5;
    // The same three bytes in every time field of the page, each picker its own record.
    const auto fill = [&](int h, int m, int s) {
        for (int at :
             {17 + 14 * p, 20 + 14 * p, 24 + 14 * p, 27 + 14 * p, 154 + 8 * p, 157 + 8 * p}) {
            w.image()[at] = static_cast<std::uint8_t>(h);
            w.image()[at + 1] = static_cast<std::uint8_t>(m);
            w.image()[at + 2] = static_cast<std::uint8_t>(s);
        }
    };
    // Another time shown first, so each picker has to change.
    fill(1, 2, 3);
    w.show(p);
    fill(hour, minute, second);
    w.image()[129 + 3 * p] = 9; // a step after the pickers, to see the display ran on
    w.form->outarray();
    for (int i = 1; i <= 6; ++i)
        QCOMPARE(w.picker(QStringLiteral("DateTimePicker%1").arg(i))->time(), shown);
    QCOMPARE(w.edit(QStringLiteral("Edit2"))->text(), QStringLiteral("9"));
    QVERIFY(w.form->CaptureEnabled());
    QVERIFY(!w.form->DisplayInProgress());
    // Showing a time writes nothing back: the bytes stay as loaded until the user edits.
    QCOMPARE(int(w.image()[17 + 14 * p]), hour);
}

void DisplayTest::lists_data()
{
    // other: a byte that selects another entry first, so the display must change the list.
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("other");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("index");
    const int p = 3;
    QTest::newRow("day 1 Mo-Fr") << 920 + 2 * p << 0 << 7 << "ComboBox2" << 7;
    QTest::newRow("day 2 255") << 921 + 2 * p << 2 << 255 << "ComboBox3" << -1;
    QTest::newRow("day 2 Mo-So") << 921 + 2 * p << 0 << 9 << "ComboBox3" << 9;
    QTest::newRow("program 4") << 222 << 1 << 4 << "ComboBox4" << 2;
    QTest::newRow("program 8") << 222 << 1 << 8 << "ComboBox4" << 3;
    QTest::newRow("tempo 2") << 224 << 5 << 2 << "ComboBox8" << 0;
    QTest::newRow("tempo 11") << 229 << 2 << 11 << "ComboBox10" << 9;
    QTest::newRow("tempo 0") << 234 << 2 << 0 << "ComboBox13" << -1;
    QTest::newRow("range 1 - 8") << 909 << 0 << 5 << "ComboBox5" << 5;
    QTest::newRow("range 6") << 907 << 0 << 6 << "ComboBox7" << -1;
    QTest::newRow("direction < - >") << 904 << 0 << 2 << "ComboBox12" << 2;
    QTest::newRow("direction 3") << 906 << 0 << 3 << "ComboBox9" << -1;
    QTest::newRow("offset 0x93 low") << 245 << 0x00 << 0x93 << "ComboBox14" << 3;
    QTest::newRow("offset 0x93 high") << 245 << 0x00 << 0x93 << "ComboBox16" << 9;
    QTest::newRow("minutes") << 244 << 0x00 << 0x02 << "ComboBox18" << 1;
    QTest::newRow("firmware AT") << 244 << 0x00 << 0x04 << "ComboBox17" << 1;
}

void DisplayTest::lists()
{
    QFETCH(int, offset);
    QFETCH(int, other);
    QFETCH(int, value);
    QFETCH(QString, list);
    QFETCH(int, index);
    Window w;
    w.image()[offset] = static_cast<std::uint8_t>(other);
    w.show(3);
    QVERIFY(w.list(list)->currentIndex() != index);
    w.image()[offset] = static_cast<std::uint8_t>(value);
    const ConfigImage before = w.image();
    w.form->outarray();
    QCOMPARE(w.list(list)->currentIndex(), index);
    if (index < 0)
        QCOMPARE(w.list(list)->currentText(), QString());
    // Lists shown from the image capture nothing.
    QVERIFY(w.image() == before);
}

void DisplayTest::thresholdsSigned_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("128") << 128 << "128";
    QTest::newRow("129") << 129 << "-127";
    QTest::newRow("251") << 251 << "-5";
}

void DisplayTest::thresholdsSigned()
{
    QFETCH(int, value);
    QFETCH(QString, shown);
    Window w;
    w.image()[258 + 4 * 6] = static_cast<std::uint8_t>(value);
    w.image()[259 + 4 * 6] = static_cast<std::uint8_t>(value);
    w.show(6);
    QCOMPARE(w.edit(QStringLiteral("Edit7"))->text(), shown);
    QCOMPARE(w.edit(QStringLiteral("Edit8"))->text(), shown);
    // The fields' rules write the value back: it reads back unchanged.
    QCOMPARE(int(w.image()[258 + 4 * 6]), value);
    QCOMPARE(int(w.image()[259 + 4 * 6]), value);
}

void DisplayTest::sensorAndUnitLabels_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("unit");
    QTest::newRow("Sensor 1") << 0 << 0 << QStringLiteral("°C");
    QTest::newRow("Sensor 3 T") << 2 << 2 << QStringLiteral("°C");
    QTest::newRow("Sensor 3 LF") << 3 << 3 << QStringLiteral("%rLF");
    QTest::newRow("4") << 4 << -1 << QStringLiteral("°C");
}

void DisplayTest::sensorAndUnitLabels()
{
    QFETCH(int, value);
    QFETCH(int, index);
    QFETCH(QString, unit);
    Window w;
    w.image()[257] = 3; // page 1 leaves "%rLF" behind, which the display must replace
    w.show(0);
    w.image()[257 + 4 * 2] = static_cast<std::uint8_t>(value);
    w.choosePage(2);
    QCOMPARE(w.list(QStringLiteral("ComboBox15"))->currentIndex(), index);
    QCOMPARE(Control<QLabel>(w.form.get(), QStringLiteral("Label34"))->text(), unit);
    QCOMPARE(Control<QLabel>(w.form.get(), QStringLiteral("Label35"))->text(), unit);
}

void DisplayTest::fieldLimitsActDuringDisplay()
{
    Window w;
    const int p = 4;
    w.image()[129 + 3 * p] = 0;
    w.image()[130 + 3 * p] = 255;
    w.image()[153 + 8 * p] = 200;
    w.image()[227] = 255;
    w.show(p);
    QCOMPARE(w.edit(QStringLiteral("Edit2"))->text(), QStringLiteral("1"));
    QCOMPARE(w.edit(QStringLiteral("Edit3"))->text(), QStringLiteral("255"));
    QCOMPARE(w.edit(QStringLiteral("Edit1"))->text(), QStringLiteral("60"));
    QCOMPARE(w.edit(QStringLiteral("Edit4"))->text(), QStringLiteral("255"));
    // The fields show their nearest; the bytes stay until the user changes the field.
    QCOMPARE(int(w.image()[129 + 3 * p]), 0);
    QCOMPARE(int(w.image()[130 + 3 * p]), 255);
    QCOMPARE(int(w.image()[153 + 8 * p]), 200);
    w.form->inarray();
    QCOMPARE(int(w.image()[153 + 8 * p]), 200);
    QCOMPARE(int(w.image()[129 + 3 * p]), 0);
    w.type(QStringLiteral("Edit2"), QStringLiteral("45"));
    QCOMPARE(int(w.image()[129 + 3 * p]), 45);
    // A counter of 0 shows as 1 the same way.
    w.image()[153 + 8 * p] = 0;
    w.form->outarray();
    QCOMPARE(w.edit(QStringLiteral("Edit1"))->text(), QStringLiteral("1"));
    QCOMPARE(int(w.image()[153 + 8 * p]), 0);
}

void DisplayTest::repeatAndKeyBothSet()
{
    Window w;
    w.image()[128 + 3 * 2] = 0x06;
    w.show(2);
    QVERIFY(!w.box(QStringLiteral("CheckBox14"))->isChecked());
    QVERIFY(w.box(QStringLiteral("CheckBox49"))->isChecked());
    QCOMPARE(int(w.image()[128 + 3 * 2]), 0x06);
    // A capture keeps what no changed control stands for: both bits stay until the user
    // changes "repeat" or "key".
    w.click(QStringLiteral("RadioButton3"));
    QCOMPARE(int(w.image()[128 + 3 * 2]), 0x06);
    w.click(QStringLiteral("CheckBox49")); // "key" off: its bit goes, "repeat" is untouched
    QCOMPARE(int(w.image()[128 + 3 * 2]), 0x02);
}

void DisplayTest::counterSwitchDisablesFieldButKeepsNumber()
{
    Window w;
    w.image()[152 + 8 * 1] = 0x02;
    w.image()[153 + 8 * 1] = 17;
    w.image()[153 + 8 * 2] = 42;
    w.show(1);
    QVERIFY(w.box(QStringLiteral("CheckBox48"))->isChecked());
    QVERIFY(w.edit(QStringLiteral("Edit1"))->isEnabled());
    QCOMPARE(w.edit(QStringLiteral("Edit1"))->text(), QStringLiteral("17"));
    w.choosePage(2);
    QVERIFY(!w.box(QStringLiteral("CheckBox48"))->isChecked());
    QVERIFY(!w.edit(QStringLiteral("Edit1"))->isEnabled());
    QCOMPARE(w.edit(QStringLiteral("Edit1"))->text(), QStringLiteral("42"));
}

void DisplayTest::runningLightChannels()
{
    Window w;
    w.image()[223] = 0x82; // "L 2" and "L 8"; bit 0 is not read
    w.image()[228] = 0xFF;
    w.image()[233] = 0x00;
    w.image()[232] = 7;
    w.show(0);
    QCOMPARE(w.box(QStringLiteral("CheckBox16"))->isChecked(), true);
    QCOMPARE(w.box(QStringLiteral("CheckBox17"))->isChecked(), false);
    QCOMPARE(w.box(QStringLiteral("CheckBox22"))->isChecked(), true);
    for (int i = 24; i <= 30; ++i)
        QVERIFY(w.box(QStringLiteral("CheckBox%1").arg(i))->isChecked());
    for (int i = 32; i <= 38; ++i)
        QVERIFY(!w.box(QStringLiteral("CheckBox%1").arg(i))->isChecked());
    for (int i : {15, 23, 31})
        QVERIFY(w.box(QStringLiteral("CheckBox%1").arg(i))->isChecked());
    QCOMPARE(w.edit(QStringLiteral("Edit5"))->text(), QStringLiteral("7"));
}

void DisplayTest::names()
{
    Window w;
    SetSlot(w.image(), 0, "ABCDEFGHIJKLMNOP"); // 16 characters, no zero byte
    SetSlot(w.image(), 1, "Licht");
    SetSlot(w.image(), 2, "Pumpe\xe4\x80");        // Windows-1252 "ä" and "€"
    w.image()[ImageOffset::nameSlot(3) + 1] = 'X'; // first byte 0: empty, the rest ignored
    w.show(0);
    auto *notebook = Notebook(w);
    QCOMPARE(w.edit(QStringLiteral("Edit9"))->text(), QStringLiteral("ABCDEFGHIJKLMNOP"));
    QCOMPARE(notebook->tabText(0), QStringLiteral("ABCDEFGHIJKLMNOP"));
    QCOMPARE(w.edit(QStringLiteral("Edit10"))->text(), QStringLiteral("Licht"));
    QCOMPARE(notebook->tabText(1), QStringLiteral("Licht"));
    QCOMPARE(notebook->tabText(2), QStringLiteral("Pumpeä€"));
    QCOMPARE(w.edit(QStringLiteral("Edit12"))->text(), QStringLiteral("Relais 4"));
    QCOMPARE(notebook->tabText(3), QStringLiteral("Relais 4"));

    // An empty slot keeps what the field shows, also a text the user typed before.
    w.paste(QStringLiteral("Edit10"), QStringLiteral("Neu"));
    SetSlot(w.image(), 1, "");
    w.form->outarray();
    QCOMPARE(w.edit(QStringLiteral("Edit10"))->text(), QStringLiteral("Neu"));
    QCOMPARE(notebook->tabText(1), QStringLiteral("Licht"));
}

void DisplayTest::emptyCardName()
{
    Window w;
    SetSlot(w.image(), 8, "Keller");
    w.show(0);
    QCOMPARE(w.edit(QStringLiteral("Edit17"))->text(), QStringLiteral("Keller"));
    QCOMPARE(w.panel(1)->text(), QStringLiteral(" Relaiskarte : Keller"));
    SetSlot(w.image(), 8, "");
    w.form->outarray();
    QCOMPARE(w.edit(QStringLiteral("Edit17"))->text(), QStringLiteral("Relaiskarte"));
    QCOMPARE(w.panel(1)->text(), QStringLiteral(" Relaiskarte : Relaiskarte"));
}

void DisplayTest::viewRestoredFromImage()
{
    Window w;
    w.show(0);
    w.click(QStringLiteral("Panel10"));
    QVERIFY(w.widget(QStringLiteral("Panel9"))->isVisible());
    w.image()[244] = 0x01;
    w.form->outarray();
    QVERIFY(!w.widget(QStringLiteral("Panel9"))->isVisible());
    QVERIFY(w.widget(QStringLiteral("Panel3"))->isVisible());
    QVERIFY(w.button(QStringLiteral("Panel5"))->isChecked());
    QVERIFY(!w.button(QStringLiteral("Panel10"))->isChecked());

    auto *label9 = Control<QLabel>(w.form.get(), QStringLiteral("Label9"));
    w.image()[244] = 0x02;
    w.form->outarray();
    QVERIFY(!w.widget(QStringLiteral("Panel3"))->isVisible());
    QVERIFY(w.button(QStringLiteral("Panel4"))->isChecked());
    QCOMPARE(label9->text(), QStringLiteral("Min"));
    QCOMPARE(int(w.image()[244]), 0x02);
    w.image()[244] = 0x00;
    w.form->outarray();
    QCOMPARE(label9->text(), QStringLiteral("Sek"));
}

void DisplayTest::powerUpBoxesFromImage()
{
    Window w;
    w.image()[247] = 0xA1;
    w.show(0);
    const QStringList names{"CheckBox1",  "CheckBox39", "CheckBox40", "CheckBox41",
                            "CheckBox42", "CheckBox43", "CheckBox44", "CheckBox45"};
    for (int k = 0; k < 8; ++k)
        QCOMPARE(w.box(names[k])->isChecked(), bool(0xA1 & (1 << k)));
    // The next capture keeps the loaded power-up states.
    w.click(QStringLiteral("CheckBox2"));
    QCOMPARE(int(w.image()[247]), 0xA1);
}

void DisplayTest::displayOfAValidPageWritesNothing()
{
    Window w;
    for (int i = 0; i < ConfigImage::Size; ++i)
        w.image()[i] = static_cast<std::uint8_t>(i * 13 + 5);
    // Make the bytes the field rules write valid for page 6, so nothing needs correcting.
    w.image()[129 + 18] = 10;
    w.image()[130 + 18] = 20;
    w.image()[153 + 48] = 30;
    const ConfigImage before = w.image();
    w.show(6);
    QVERIFY(w.image() == before);
}

void DisplayTest::tabChangeShowsImageNotControls()
{
    Window w;
    w.show(0);
    w.click(QStringLiteral("CheckBox5"));
    w.paste(QStringLiteral("Edit4"), QStringLiteral("99")); // no capture of its own
    w.choosePage(1);
    // The uncaptured running-light field shows the image again.
    QVERIFY(!w.box(QStringLiteral("CheckBox5"))->isChecked());
    QCOMPARE(w.edit(QStringLiteral("Edit4"))->text(), QStringLiteral("0"));
    w.choosePage(0);
    QVERIFY(w.box(QStringLiteral("CheckBox5"))->isChecked());
    QCOMPARE(w.edit(QStringLiteral("Edit4"))->text(), QStringLiteral("0"));
}

QTEST_MAIN(DisplayTest)
#include "display_test.moc"

// The editor rules through the real widgets: mode exclusions with their nested runs, the
// number limits, the views and the counter switch.
#include "tests/support/windowfixture.h"

#include <QLabel>
#include <QTabBar>
#include <QTabWidget>

namespace {

const QStringList ModeBoxNames{"CheckBox10", "CheckBox11", "CheckBox12", "CheckBox13",
                               "CheckBox46"};

QStringList Checked(const Window &w, const QStringList &names)
{
    QStringList checked;
    for (const QString &name : names) {
        if (w.box(name)->isChecked())
            checked << name;
    }
    return checked;
}

QStringList InputNames()
{
    QStringList names;
    for (int i = 2; i <= 9; ++i)
        names << QStringLiteral("CheckBox%1").arg(i);
    return names;
}

} // namespace

class RulesTest : public QObject
{
    Q_OBJECT

private slots:
    void modeExclusion_data();
    void modeExclusion();
    void uncheckingPushButtonClearsInputsAndTimer();
    void pushButtonSelectsOr();
    void uncheckingSecTimerEndsModesShownTogether();
    void repeatAndKeyExcludeEachOther();
    void rulesMutedBeforeFirstDisplay();
    void numberLimits_data();
    void numberLimits();
    void typedNumbersAreLimitedKeyByKey();
    void limitsWriteTheCurrentPage();
    void views();
    void counterSwitchEnablesField();
};

void RulesTest::modeExclusion_data()
{
    // setup: boxes checked (through the user's clicks) before the box under test is clicked.
    // first, second: boxes checked after the first and after a second click of that box.
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");

    for (const char *box : {"CheckBox10", "CheckBox11", "CheckBox12", "CheckBox13"}) {
        const QString name = QString::fromLatin1(box);
        QTest::addRow("IF K1 then %s", box)
            << QStringList{"CheckBox2"} << name << QStringList{} << QStringList{name};
        QTest::addRow("Taster and IF K1 then %s", box)
            << QStringList{"CheckBox47", "CheckBox2"} << name
            << QStringList{"CheckBox47", "CheckBox2", name}
            << QStringList{"CheckBox47", "CheckBox2"};
    }
    QTest::newRow("IF K5 then temperature")
        << QStringList{"CheckBox6"} << "CheckBox46" << QStringList{} << QStringList{"CheckBox46"};
    QTest::newRow("Taster and IF K5 then temperature")
        << QStringList{"CheckBox47", "CheckBox6"} << "CheckBox46" << QStringList{}
        << QStringList{"CheckBox46"};
    for (const char *box : {"CheckBox10", "CheckBox11", "CheckBox12", "CheckBox46"}) {
        const QString name = QString::fromLatin1(box);
        QTest::addRow("Sec. Timer then %s", box)
            << QStringList{"CheckBox13"} << name << QStringList{} << QStringList{name};
    }
    QTest::newRow("Timer 1 and Timer 2 together")
        << QStringList{"CheckBox10"} << "CheckBox11" << QStringList{"CheckBox10", "CheckBox11"}
        << QStringList{"CheckBox10"};
    QTest::newRow("Random ends both timers")
        << QStringList{"CheckBox10", "CheckBox11"} << "CheckBox12" << QStringList{"CheckBox12"}
        << QStringList{};
    QTest::newRow("input ends temperature")
        << QStringList{"CheckBox46"} << "CheckBox9" << QStringList{"CheckBox9"} << QStringList{};
    QTest::newRow("Taster keeps inputs for Sec. Timer")
        << QStringList{"CheckBox47", "CheckBox4"} << "CheckBox13"
        << QStringList{"CheckBox47", "CheckBox4", "CheckBox13"}
        << QStringList{"CheckBox47", "CheckBox4"};
}

void RulesTest::modeExclusion()
{
    QFETCH(QStringList, setup);
    QFETCH(QString, clicked);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    Window w;
    w.show(5);
    for (const QString &name : setup)
        w.click(name);
    const QStringList all = InputNames() + ModeBoxNames + QStringList{"CheckBox47"};
    QCOMPARE(Checked(w, all).size(), setup.size());

    w.click(clicked);
    QStringList expected = first;
    expected.sort();
    QStringList actual = Checked(w, all);
    actual.sort();
    QCOMPARE(actual, expected);
    // The capture on release wrote what the page now shows.
    QCOMPARE(w.image()[11] & 0x02, w.box(QStringLiteral("CheckBox10"))->isChecked() ? 0x02 : 0);
    QCOMPARE(w.image()[11] & 0x10, w.box(QStringLiteral("CheckBox13"))->isChecked() ? 0x10 : 0);
    QCOMPARE(w.image()[10] & 0x01, w.box(QStringLiteral("CheckBox2"))->isChecked() ? 0x01 : 0);
    QCOMPARE(w.image()[276] & 0x01, w.box(QStringLiteral("CheckBox46"))->isChecked() ? 0x01 : 0);

    w.click(clicked);
    expected = second;
    expected.sort();
    actual = Checked(w, all);
    actual.sort();
    QCOMPARE(actual, expected);
}

void RulesTest::uncheckingPushButtonClearsInputsAndTimer()
{
    Window w;
    w.show(0);
    w.click(QStringLiteral("CheckBox47"));
    w.click(QStringLiteral("CheckBox3"));
    w.click(QStringLiteral("CheckBox10"));
    QCOMPARE(Checked(w, InputNames() + ModeBoxNames), (QStringList{"CheckBox3", "CheckBox10"}));
    w.click(QStringLiteral("CheckBox47"));
    QCOMPARE(Checked(w, InputNames() + ModeBoxNames + QStringList{"CheckBox47"}), QStringList{});
    QCOMPARE(int(w.image()[0]), 0);
    QCOMPARE(w.image()[1] & 0x02, 0);
    QCOMPARE(w.image()[246] & 0x01, 0);
}

void RulesTest::pushButtonSelectsOr()
{
    Window w;
    w.image()[1] = 0x01; // AND
    w.show(0);
    QVERIFY(w.button(QStringLiteral("RadioButton3"))->isChecked());
    w.click(QStringLiteral("CheckBox47"));
    QVERIFY(w.button(QStringLiteral("RadioButton4"))->isChecked());
    QVERIFY(!w.button(QStringLiteral("RadioButton3"))->isChecked());
    // The "Taster" rule captures after selecting OR, so the image agrees at once.
    QCOMPARE(w.image()[1] & 0x01, 0);
    QCOMPARE(w.image()[246] & 0x01, 0x01);
}

void RulesTest::uncheckingSecTimerEndsModesShownTogether()
{
    // A loaded project may hold modes the editor never combines; the display shows them as
    // they are, and the next user change sorts them out.
    Window w;
    w.image()[1] = 0x12; // Timer 1 and Sec. Timer
    w.show(0);
    QCOMPARE(Checked(w, ModeBoxNames), (QStringList{"CheckBox10", "CheckBox13"}));
    w.click(QStringLiteral("CheckBox13"));
    QCOMPARE(Checked(w, ModeBoxNames), QStringList{});
    QCOMPARE(int(w.image()[1] & 0x1E), 0);
}

void RulesTest::repeatAndKeyExcludeEachOther()
{
    Window w;
    w.show(0);
    w.click(QStringLiteral("CheckBox14"));
    w.click(QStringLiteral("CheckBox49"));
    QVERIFY(!w.box(QStringLiteral("CheckBox14"))->isChecked());
    QVERIFY(w.box(QStringLiteral("CheckBox49"))->isChecked());
    QCOMPARE(w.image()[128] & 0x06, 0x04);
    w.click(QStringLiteral("CheckBox14"));
    QVERIFY(w.box(QStringLiteral("CheckBox14"))->isChecked());
    QVERIFY(!w.box(QStringLiteral("CheckBox49"))->isChecked());
    QCOMPARE(w.image()[128] & 0x06, 0x02);
    w.click(QStringLiteral("CheckBox14"));
    QCOMPARE(Checked(w, {"CheckBox14", "CheckBox49"}), QStringList{});
}

void RulesTest::rulesMutedBeforeFirstDisplay()
{
    // A start that showed no page yet: edits are captured, but modes are not yet kept apart.
    Window w;
    w.click(QStringLiteral("CheckBox2"));
    w.click(QStringLiteral("CheckBox10"));
    QCOMPARE(Checked(w, InputNames() + ModeBoxNames), (QStringList{"CheckBox2", "CheckBox10"}));
    QCOMPARE(int(w.image()[0]), 0x01);
    QCOMPARE(w.image()[1] & 0x02, 0x02);
    w.show(0);
    w.click(QStringLiteral("CheckBox12"));
    QCOMPARE(Checked(w, InputNames() + ModeBoxNames), QStringList{});
}

void RulesTest::numberLimits_data()
{
    // offset -1: the field stores nothing by itself.
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("stored");
    const int p = 4;
    QTest::newRow("An bei 300") << "Edit2"
                                << "300"
                                << "255" << 129 + 3 * p << 255;
    QTest::newRow("An bei 0") << "Edit2"
                              << "0"
                              << "1" << 129 + 3 * p << 1;
    // Cleared, the field reads as 0 on the way to the next number.
    QTest::newRow("An bei empty") << "Edit2"
                                  << ""
                                  << "" << 129 + 3 * p << 0;
    // A paste the number rule cannot read whole is refused: field and byte stay.
    QTest::newRow("An bei letters") << "Edit2"
                                    << "abc"
                                    << "1" << 129 + 3 * p << 0xAA;
    QTest::newRow("An bei hex") << "Edit2"
                                << "$ff"
                                << "$ff" << 129 + 3 * p << 255;
    QTest::newRow("Aus bei 256") << "Edit3"
                                 << "256"
                                 << "255" << 130 + 3 * p << 255;
    QTest::newRow("Aus bei -4") << "Edit3"
                                << "-4"
                                << "1" << 130 + 3 * p << 1;
    QTest::newRow("Aus bei 17") << "Edit3"
                                << "17"
                                << "17" << 130 + 3 * p << 17;
    QTest::newRow("counter 75") << "Edit1"
                                << "75"
                                << "60" << 153 + 8 * p << 60;
    QTest::newRow("counter 0") << "Edit1"
                               << "0"
                               << "1" << 153 + 8 * p << 1;
    QTest::newRow("counter -5") << "Edit1"
                                << "-5"
                                << "1" << 153 + 8 * p << 1;
    QTest::newRow("counter -300") << "Edit1"
                                  << "-300"
                                  << "1" << 153 + 8 * p << 1;
    QTest::newRow("counter 60") << "Edit1"
                                << "60"
                                << "60" << 153 + 8 * p << 60;
    QTest::newRow("counter huge") << "Edit1"
                                  << "99999999999999999999999"
                                  << "60" << 153 + 8 * p << 60;
    QTest::newRow("Anzug 300") << "Edit7"
                               << "300"
                               << "128" << 258 + 4 * p << 128;
    QTest::newRow("Anzug 128") << "Edit7"
                               << "128"
                               << "128" << 258 + 4 * p << 128;
    QTest::newRow("Anzug -5") << "Edit7"
                              << "-5"
                              << "-5" << 258 + 4 * p << 251;
    QTest::newRow("Anzug -128") << "Edit7"
                                << "-128"
                                << "-127" << 258 + 4 * p << 129;
    QTest::newRow("Anzug 12a") << "Edit7"
                               << "12a"
                               << "0" << 258 + 4 * p << 0xAA;
    QTest::newRow("Anzug -12a") << "Edit7"
                                << "-12a"
                                << "0" << 258 + 4 * p << 0xAA;
    QTest::newRow("Anzug abc") << "Edit7"
                               << "abc"
                               << "0" << 258 + 4 * p << 0xAA;
    QTest::newRow("Anzug empty") << "Edit7"
                                 << ""
                                 << "" << 258 + 4 * p << 0;
    QTest::newRow("Abfall -200") << "Edit8"
                                 << "-200"
                                 << "-127" << 259 + 4 * p << 129;
    QTest::newRow("Abfall 129") << "Edit8"
                                << "129"
                                << "128" << 259 + 4 * p << 128;
    QTest::newRow("Ri wechsel 300") << "Edit4"
                                    << "300"
                                    << "255" << -1 << 0;
    QTest::newRow("Ri wechsel -3") << "Edit5"
                                   << "-3"
                                   << "0" << -1 << 0;
    QTest::newRow("Ri wechsel 255") << "Edit6"
                                    << "255"
                                    << "255" << -1 << 0;
}

void RulesTest::numberLimits()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(int, offset);
    QFETCH(int, stored);
    Window w;
    w.show(4);
    if (offset >= 0)
        w.image()[offset] = 0xAA;
    const ConfigImage before = w.image();
    w.paste(field, text);
    QCOMPARE(w.edit(field)->text(), shown);
    if (offset >= 0) {
        QCOMPARE(int(w.image()[offset]), stored);
    } else {
        QVERIFY(w.image() == before);
    }
}

void RulesTest::typedNumbersAreLimitedKeyByKey()
{
    Window w;
    w.show(0);
    w.type(QStringLiteral("Edit2"), QStringLiteral("300"));
    QCOMPARE(w.edit(QStringLiteral("Edit2"))->text(), QStringLiteral("255"));
    QCOMPARE(int(w.image()[129]), 255);
    w.type(QStringLiteral("Edit2"), QString());
    QCOMPARE(w.edit(QStringLiteral("Edit2"))->text(), QString());
    QCOMPARE(int(w.image()[129]), 0);
    w.type(QStringLiteral("Edit2"), QStringLiteral("0"));
    QCOMPARE(w.edit(QStringLiteral("Edit2"))->text(), QStringLiteral("1"));
    QCOMPARE(int(w.image()[129]), 1);
    w.type(QStringLiteral("Edit8"), QStringLiteral("-5"));
    QCOMPARE(w.edit(QStringLiteral("Edit8"))->text(), QStringLiteral("-5"));
    QCOMPARE(int(w.image()[259]), 251);
}

void RulesTest::limitsWriteTheCurrentPage()
{
    Window w;
    w.show(6);
    w.paste(QStringLiteral("Edit3"), QStringLiteral("44"));
    QCOMPARE(int(w.image()[130 + 3 * 6]), 44);
    QCOMPARE(int(w.image()[130]), 0);
}

void RulesTest::views()
{
    Window w;
    w.show(0);
    QWidget *running = w.widget(QStringLiteral("Panel3"));
    QWidget *config = w.widget(QStringLiteral("Panel9"));
    auto bevels = [&w] {
        return QList<bool>{w.button(QStringLiteral("Panel4"))->isChecked(),
                           w.button(QStringLiteral("Panel5"))->isChecked(),
                           w.button(QStringLiteral("Panel10"))->isChecked()};
    };
    auto *label9 = Control<QLabel>(w.form.get(), QStringLiteral("Label9"));
    // The covered tabs do not change the page from the keyboard either.
    QTabBar *tabs = Control<QTabWidget>(w.form.get(), QStringLiteral("TabbedNotebook1"))->tabBar();
    auto pageAfterRightKey = [&w, tabs] {
        QTest::keyClick(tabs, Qt::Key_Right);
        return w.form->currentPage();
    };

    w.click(QStringLiteral("Panel5"));
    QCOMPARE(bevels(), (QList<bool>{false, true, false}));
    QVERIFY(running->isVisible());
    QVERIFY(!config->isVisible());
    QCOMPARE(running->pos(), QPoint(8, 96));
    QCOMPARE(w.image()[244] & 0x01, 0x01);
    QCOMPARE(pageAfterRightKey(), 0);

    w.click(QStringLiteral("Panel10"));
    QCOMPARE(bevels(), (QList<bool>{false, false, true}));
    QVERIFY(!running->isVisible());
    QVERIFY(config->isVisible());
    QCOMPARE(w.image()[244] & 0x01, 0x01); // "config." keeps the running-light bit
    QCOMPARE(pageAfterRightKey(), 0);
    w.list(QStringLiteral("ComboBox18"))->setCurrentIndex(1); // "Minuten", no capture of its own
    QCOMPARE(w.image()[244] & 0x02, 0x00);

    w.click(QStringLiteral("Panel4"));
    QCOMPARE(bevels(), (QList<bool>{true, false, false}));
    QVERIFY(!running->isVisible());
    QVERIFY(!config->isVisible());
    QCOMPARE(w.image()[244] & 0x03, 0x02);
    QCOMPARE(label9->text(), QStringLiteral("Min"));
    QCOMPARE(pageAfterRightKey(), 1);

    w.click(QStringLiteral("Panel10"));
    QCOMPARE(w.image()[244] & 0x01, 0x00);
    w.list(QStringLiteral("ComboBox18"))->setCurrentIndex(0);
    w.click(QStringLiteral("Panel4"));
    QCOMPARE(label9->text(), QStringLiteral("Sek"));
    // Clicking the lowered button keeps it lowered.
    w.click(QStringLiteral("Panel4"));
    QCOMPARE(bevels(), (QList<bool>{true, false, false}));
}

void RulesTest::counterSwitchEnablesField()
{
    Window w;
    w.show(2);
    QLineEdit *counter = w.edit(QStringLiteral("Edit1"));
    QVERIFY(!counter->isEnabled());
    w.click(QStringLiteral("CheckBox48"));
    QVERIFY(counter->isEnabled());
    QCOMPARE(w.image()[152 + 8 * 2] & 0x02, 0x02);
    w.click(QStringLiteral("CheckBox48"));
    QVERIFY(!counter->isEnabled());
    QCOMPARE(w.image()[152 + 8 * 2] & 0x02, 0x00);
}

QTEST_MAIN(RulesTest)
#include "rules_test.moc"

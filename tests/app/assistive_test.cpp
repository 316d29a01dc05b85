// The window driven as assistive technology and the keyboard drive it, and the texts it keeps:
// every change a person makes is captured as a click is, the views switch however they are
// activated, the covered notebook keeps its page, number fields store what they show, and
// name slots come back byte for byte.
#include "app/filecommands.h"
#include "config/numberrule.h"
#include "config/pagecodec.h"
#include "tests/support/windowfixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QDesktopServices>
#include <QFileDialog>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>

namespace {

QAccessibleActionInterface *Actions(QObject *control)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
    return accessible ? accessible->actionInterface() : nullptr;
}

// What a screen reader does: the control's accessible action by its name.
bool DoAction(QObject *control, const QString &action)
{
    QAccessibleActionInterface *actions = Actions(control);
    if (!actions || !actions->actionNames().contains(action))
        return false;
    actions->doAction(action);
    return true;
}

class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> requests;

public slots:
    void open(const QUrl &url) { requests.append(url); }
};

} // namespace

class AssistiveTest : public QObject
{
    Q_OBJECT

private slots:
    void toggledBoxesAreCapturedAndSurviveAPageChange_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("IF K2") << QStringLiteral("CheckBox3");
        QTest::newRow("Taster") << QStringLiteral("CheckBox47");
        QTest::newRow("Timer 1 aktiv") << QStringLiteral("CheckBox10");
        QTest::newRow("Zufall aktiv") << QStringLiteral("CheckBox12");
        QTest::newRow("Zähler") << QStringLiteral("CheckBox48");
        QTest::newRow("Temperatur aktiv") << QStringLiteral("CheckBox46");
        QTest::newRow("UND") << QStringLiteral("RadioButton3");
        QTest::newRow("power-up relay 8") << QStringLiteral("CheckBox45");
    }
    void toggledBoxesAreCapturedAndSurviveAPageChange()
    {
        QFETCH(QString, box);
        Window w; // an all-zero project
        w.show(0);
        QAbstractButton *button = w.button(box);
        QVERIFY(!button->isChecked());
        const ConfigImage before = w.image();
        QVERIFY(DoAction(button, QAccessibleActionInterface::toggleAction()));
        QVERIFY(button->isChecked());
        QVERIFY2(w.image() != before, "the toggle was not captured");
        w.choosePage(1);
        w.choosePage(0);
        QVERIFY(button->isChecked());
    }

    void viewButtonsSwitchViewsByTheirActions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("Press") << QAccessibleActionInterface::pressAction();
        QTest::newRow("Toggle") << QAccessibleActionInterface::toggleAction();
    }
    void viewButtonsSwitchViewsByTheirActions()
    {
        QFETCH(QString, action);
        Window w;
        w.show(0);
        QWidget *runningLight = w.widget(QStringLiteral("Panel3"));
        QWidget *configuration = w.widget(QStringLiteral("Panel9"));

        QVERIFY(DoAction(w.button(QStringLiteral("Panel5")), action));
        QVERIFY(runningLight->isVisible());
        QVERIFY(TestImageBit(w.image(), ImageOffset::GlobalFlags, 0));
        QVERIFY(w.button(QStringLiteral("Panel5"))->isChecked());

        QVERIFY(DoAction(w.button(QStringLiteral("Panel10")), action));
        QVERIFY(configuration->isVisible());
        QVERIFY(!runningLight->isVisible());

        QVERIFY(DoAction(w.button(QStringLiteral("Panel4")), action));
        QVERIFY(!configuration->isVisible());
        QVERIFY(w.button(QStringLiteral("Panel4"))->isChecked());
        QVERIFY(!TestImageBit(w.image(), ImageOffset::GlobalFlags, 0));
        // The view button on show, activated again, keeps its view.
        QVERIFY(DoAction(w.button(QStringLiteral("Panel4")), action));
        QVERIFY(w.button(QStringLiteral("Panel4"))->isChecked());
        QVERIFY(!runningLight->isVisible());
    }

    void coveredNotebookKeepsItsPageForEveryInput()
    {
        Window w;
        w.show(0);
        auto *notebook = Control<QTabWidget>(w.form.get(), QStringLiteral("TabbedNotebook1"));
        w.click(QStringLiteral("Panel10"));
        // An edit of the configuration view that only the next capture takes in.
        w.paste(QStringLiteral("Edit9"), QStringLiteral("Pumpe"));

        QAccessibleInterface *tabs = QAccessible::queryAccessibleInterface(notebook->tabBar());
        QVERIFY(tabs && tabs->childCount() >= 8);
        QAccessibleInterface *third = tabs->child(2);
        QVERIFY(third && third->actionInterface());
        third->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(notebook->currentIndex(), 0);
        notebook->tabBar()->setCurrentIndex(3); // what any other path ends in
        QCOMPARE(notebook->currentIndex(), 0);
        QCOMPARE(w.edit(QStringLiteral("Edit9"))->text(), QStringLiteral("Pumpe"));

        w.click(QStringLiteral("Panel4"));
        QCOMPARE(ReadNameSlot(w.image(), 0), QStringLiteral("Pumpe"));
        w.choosePage(2); // uncovered, the tabs work again
        QCOMPARE(notebook->currentIndex(), 2);
    }

    // Typed key by key, the field refuses the keystroke that would end its number early; a
    // paste of such a text is refused whole.
    // A text set past the validator (an accessibility "set text") is cut as typing would cut
    // it: what the field shows is what it stores.
    void textSetFromOutsideStoresWhatItShows()
    {
        Window w;
        w.show(0);
        const int pullIn = ImageOffset::temperature(0) + 2;
        for (const auto &[text, shown] :
             {std::pair{"-5 ", "-5"}, {"-5a", "-5"}, {"12 x", "12"}, {"$1F", "$1F"}}) {
            w.edit(QStringLiteral("Edit7"))->setText(QString::fromLatin1(text));
            QCOMPARE(w.edit(QStringLiteral("Edit7"))->text(), QString::fromLatin1(shown));
            QCOMPARE(std::int8_t(w.image()[pullIn]),
                     std::int8_t(ParseNumber(QString::fromLatin1(shown))));
        }
    }

    void numberFieldsStoreWhatTheyShow_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("offset"); // on relay page 1; -1 for the running-light fields
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("stored");
        const int temperature = ImageOffset::temperature(0);
        const int seconds = ImageOffset::secTimer(0);
        QTest::newRow("Anzug, trailing blank") << "Edit7" << temperature + 2 << "-5 "
                                               << "-5" << 0xFB;
        QTest::newRow("Anzug, trailing letter") << "Edit7" << temperature + 2 << "-5a"
                                                << "-5" << 0xFB;
        QTest::newRow("Abfall, blank inside") << "Edit8" << temperature + 3 << "1 2"
                                              << "12" << 12;
        QTest::newRow("Abfall, hex") << "Edit8" << temperature + 3 << "$1F"
                                     << "$1F" << 31;
        QTest::newRow("Anzug, sign alone") << "Edit7" << temperature + 2 << "-"
                                           << "-" << 0;
        QTest::newRow("An bei, 0x on the way") << "Edit2" << seconds + 1 << "0x"
                                               << "1" << 1;
        QTest::newRow("Abfall, 0x10") << "Edit8" << temperature + 3 << "0x10"
                                      << "0x10" << 16;
        QTest::newRow("An bei, $10") << "Edit2" << seconds + 1 << "$10"
                                     << "$10" << 16;
        QTest::newRow("An bei, cleared") << "Edit2" << seconds + 1 << ""
                                         << "" << 0;
        QTest::newRow("Aus bei, dot") << "Edit3" << seconds + 2 << "12.5"
                                      << "125" << 125;
        QTest::newRow("Zähler, letter") << "Edit1" << ImageOffset::random(0) + 1 << "4x"
                                        << "4" << 4;
        QTest::newRow("Ri wechsel, blank") << "Edit4" << -1 << "7 "
                                           << "7" << -1;
    }
    void numberFieldsStoreWhatTheyShow()
    {
        QFETCH(QString, field);
        QFETCH(int, offset);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, stored);
        Window w;
        w.show(0);
        if (offset < 0)
            w.click(QStringLiteral("Panel5"));
        if (field == QLatin1String("Edit1"))
            w.click(QStringLiteral("CheckBox48")); // the counter field is enabled by its box
        w.type(field, typed);
        QCOMPARE(w.edit(field)->text(), shown);
        if (offset >= 0)
            QCOMPARE(int(w.image()[offset]), stored);

        // A paste that the rule would cut short changes nothing.
        const QString before = w.edit(field)->text();
        w.edit(field)->selectAll();
        w.edit(field)->insert(QStringLiteral("-9 "));
        QCOMPARE(w.edit(field)->text(), before);
        if (offset >= 0)
            QCOMPARE(int(w.image()[offset]), stored);
    }

    // Bytes 1 to 255 in the nine name slots, shown and captured again through the fields.
    void everyNameByteSurvivesTheFields()
    {
        for (int first : {1, 145}) {
            Window w;
            for (int slot = 0; slot < 9; ++slot)
                for (int i = 0; i < ImageOffset::NameSlotSize; ++i)
                    w.image()[ImageOffset::nameSlot(slot) + i] =
                        std::uint8_t(std::min(255, first + slot * 16 + i));
            const ConfigImage before = w.image();
            w.show(0);
            w.click(QStringLiteral("Panel10")); // a capture
            w.click(QStringLiteral("Panel4"));
            for (int offset = ImageOffset::nameSlot(0); offset < ImageOffset::nameSlot(9); ++offset)
                QVERIFY2(w.image()[offset] == before[offset],
                         qPrintable(QStringLiteral("byte %1 was %2, now %3")
                                        .arg(offset)
                                        .arg(before[offset])
                                        .arg(w.image()[offset])));
        }
    }

    void shortcutsClickTheirButtons()
    {
        Window w;
        w.show(0);
        w.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        int dialogs = 0;
        w.files().setDialogRunner([&dialogs](QFileDialog &) {
            ++dialogs;
            return false; // cancelled
        });
        UrlRecorder viewer;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "open");
        const struct
        {
            const char *button;
            QKeyCombination key;
        } rows[] = {{"BitBtn1", Qt::Key_F1},
                    {"Button4", Qt::CTRL | Qt::Key_O},
                    {"Button5", Qt::CTRL | Qt::Key_S}};
        for (const auto &row : rows) {
            QSignalSpy clicked(w.button(QString::fromLatin1(row.button)),
                               &QAbstractButton::clicked);
            QTest::keyClick(w.form.get(), row.key.key(), row.key.keyboardModifiers());
            QVERIFY2(clicked.count() == 1, row.button);
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(dialogs, 2);
        QCOMPARE(viewer.requests.size(), 1);
    }
};

QTEST_MAIN(AssistiveTest)
#include "assistive_test.moc"

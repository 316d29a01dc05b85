// The window as it opens: captions, fixed size, views, timers, accessible names, help, dialog.
#include "app/helpdocument.h"
#include "app/unit2.h"
#include "tests/support/windowfixture.h"
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <QAccessible>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

class HelpViewer : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> requests;
public slots:
    void open(const QUrl &url) { requests.append(url); }
};

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void frame();
    void notebookAndViews();
    void timersRun();
    void initialControls_data();
    void initialControls();
    void portChoice();
    void statusPanels();
    void accessibleNames_data();
    void accessibleNames();
    void helpOpensDocumentInWorkingFolder();
    void captionsShowWhole();
    void transferDialogOkResetsProgress();
};

void WindowTest::frame()
{
    Window w;
    QCOMPARE(w.form->windowTitle(), QStringLiteral("Zelkora V5.41.1"));
    QCOMPARE(w.form->size(), QSize(681, 437));
    QCOMPARE(w.form->minimumSize(), QSize(681, 437));
    QCOMPARE(w.form->maximumSize(), QSize(681, 437));
    QVERIFY(!(w.form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.form->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(w.form->CaptureEnabled());
    QVERIFY(w.form->DisplayInProgress());
}

void WindowTest::notebookAndViews()
{
    Window w;
    auto *notebook = Control<QTabWidget>(w.form.get(), QStringLiteral("TabbedNotebook1"));
    QCOMPARE(notebook->count(), 8);
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(notebook->tabText(i), QStringLiteral("Relais %1").arg(i + 1));
        QCOMPARE(notebook->widget(i)->children().size(), 0);
    }
    QCOMPARE(notebook->currentIndex(), 0);
    QVERIFY(!w.widget(QStringLiteral("Panel3"))->isVisible());
    QVERIFY(!w.widget(QStringLiteral("Panel9"))->isVisible());
    for (const char *name : {"Label3", "Label8"})
        QVERIFY(!w.widget(QString::fromLatin1(name))->isVisible());
    // The timer view belongs to the window, not to a page, and lies over the page area.
    for (const char *name : {"GroupBox1", "GroupBox2", "GroupBox3", "GroupBox4", "GroupBox5",
                             "GroupBox10", "GroupBox9"}) {
        QWidget *group = w.widget(QString::fromLatin1(name));
        QVERIFY2(group->isVisible(), name);
        QCOMPARE(group->parentWidget(), notebook->parentWidget());
        QVERIFY2(notebook->geometry().contains(group->geometry()), name);
    }
    QVERIFY(w.button(QStringLiteral("Panel4"))->isChecked());
    QVERIFY(!w.button(QStringLiteral("Panel5"))->isChecked());
    QVERIFY(!w.button(QStringLiteral("Panel10"))->isChecked());
    QCOMPARE(Control<QLabel>(w.form.get(), QStringLiteral("Label9"))->text(),
             QStringLiteral("min"));
}

void WindowTest::timersRun()
{
    Window w;
    QCOMPARE(w.form->Timer1, Control<QTimer>(w.form.get(), QStringLiteral("Timer1")));
    QCOMPARE(w.form->Timer2, Control<QTimer>(w.form.get(), QStringLiteral("Timer2")));
    QVERIFY(w.form->Timer1->isActive());
    QVERIFY(w.form->Timer2->isActive());
    QVERIFY(!w.form->Timer1->isSingleShot());
    QSignalSpy ticks(w.form->Timer1, &QTimer::timeout);
    QVERIFY(ticks.wait(500));
}

void WindowTest::initialControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    QTest::newRow("day list 1") << "ComboBox2"
                                << "So" << 0;
    QTest::newRow("day list 2") << "ComboBox3"
                                << "So" << 0;
    QTest::newRow("sensor") << "ComboBox15"
                            << "Sensor 3 T" << 2;
    QTest::newRow("program") << "ComboBox4"
                             << "Prog 1" << 0;
    QTest::newRow("tempo 1") << "ComboBox8"
                             << "4" << 3;
    QTest::newRow("range 2") << "ComboBox7"
                             << "1 - 3" << 0;
    QTest::newRow("direction 3") << "ComboBox12"
                                 << "< - >" << 2;
    QTest::newRow("offset 2") << "ComboBox16"
                              << "0" << 0;
    QTest::newRow("firmware") << "ComboBox17"
                              << "V 5.x  T" << 0;
    QTest::newRow("counter unit") << "ComboBox18"
                                  << "Sekunden" << 0;
}

void WindowTest::initialControls()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, index);
    Window w;
    QComboBox *list = w.list(name);
    QCOMPARE(list->currentText(), text);
    QCOMPARE(list->currentIndex(), index);

    // The fields and pickers the whole table shares, checked once per row is cheap enough.
    const QList<std::pair<const char *, const char *>> texts{
        {"Edit1", "10"}, {"Edit2", "6"},  {"Edit3", "33"},        {"Edit4", "5"},
        {"Edit7", "20"}, {"Edit8", "22"}, {"Edit16", "Relais 8"}, {"Edit17", "Relaiskarte"}};
    for (const auto &[field, value] : texts)
        QCOMPARE(w.edit(QString::fromLatin1(field))->text(), QString::fromUtf8(value));
    for (int i = 9; i <= 17; ++i)
        QCOMPARE(w.edit(QStringLiteral("Edit%1").arg(i))->maxLength(), 16);
    QCOMPARE(w.picker(QStringLiteral("DateTimePicker1"))->time(), QTime(19, 49, 28));
    QCOMPARE(w.picker(QStringLiteral("DateTimePicker4"))->time(), QTime(19, 56, 49));
    QCOMPARE(w.picker(QStringLiteral("DateTimePicker5"))->time(), QTime(19, 56, 0));
    QCOMPARE(w.picker(QStringLiteral("DateTimePicker6"))->displayFormat(),
             QStringLiteral("HH:mm:ss"));
    QVERIFY(w.button(QStringLiteral("RadioButton3"))->isChecked());
    QVERIFY(w.box(QStringLiteral("CheckBox31"))->isChecked());
    QVERIFY(!w.box(QStringLiteral("CheckBox31"))->isEnabled());
    QCOMPARE(w.button(QStringLiteral("BitBtn1"))->text(), QStringLiteral("&Hilfe"));
    QCOMPARE(w.button(QStringLiteral("Button1"))->text(), QStringLiteral("Send"));
    QCOMPARE(Control<QProgressBar>(w.form.get(), QStringLiteral("ProgressBar1"))->value(), 0);
}

void WindowTest::portChoice()
{
    Window w;
    QComboBox *port = w.list(QStringLiteral("ComboBox1"));
    QVERIFY(port->isEditable());
    const int ports = port->count();
    QCOMPARE(port->itemText(0), QStringLiteral("COM 1"));
    QCOMPARE(port->itemText(8), QStringLiteral("COM 9"));
    QCOMPARE(port->currentIndex(), -1);
    QCOMPARE(port->currentText(), QStringLiteral("COM 1"));

    // Typed text is a port choice, never a new entry: Return leaves the nine ports as they are.
    QLineEdit *typed = port->lineEdit();
    typed->setFocus();
    typed->selectAll();
    QTest::keyClicks(typed, QStringLiteral("USB0"));
    QTest::keyClick(typed, Qt::Key_Return);
    QCOMPARE(port->count(), ports);
    QCOMPARE(port->findText(QStringLiteral("USB0")), -1);
    QCOMPARE(port->currentText(), QStringLiteral("USB0"));
}

void WindowTest::statusPanels()
{
    Window w;
    auto *bar = Control<QStatusBar>(w.form.get(), QStringLiteral("StatusBar1"));
    QCOMPARE(w.panel(0)->parentWidget(), bar);
    QCOMPARE(w.panel(0)->text(), QStringLiteral("Datei"));
    QCOMPARE(w.panel(1)->text(), QStringLiteral("Relaiskarte"));
}

void WindowTest::accessibleNames_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    const QList<std::pair<const char *, const char *>> rows{
        {"Edit1", "Zähler"},
        {"CheckBox48", "Zähler"},
        {"Edit2", "An bei"},
        {"Edit3", "Aus bei"},
        {"Edit7", "Anzug <"},
        {"Edit8", "Abfall >"},
        {"DateTimePicker1", "An"},
        {"DateTimePicker4", "Aus"},
        {"DateTimePicker5", "Start"},
        {"DateTimePicker6", "Stop"},
        {"ComboBox4", "Auswahl"},
        {"ComboBox10", "Tempo"},
        {"ComboBox11", "Kanäle"},
        {"ComboBox6", "Richtung"},
        {"Edit5", "Ri wechsel nach"},
        {"ComboBox14", "Offset Temp-Sensor 1"},
        {"ComboBox16", "Offset Temp-Sensor 2"},
        {"ComboBox17", "Firmware PIC"},
        {"ComboBox18", "Zähler für Radom"},
        {"Edit9", "Relais 1"},
        {"Edit16", "Relais 8"},
        {"Edit17", "Name Relaiskarte"},
        {"ComboBox2", "Timer 1"},
        {"ComboBox15", "Temperatur Sensor"},
        {"CheckBox47", "Taster"},
        {"CheckBox10", "aktiv"},
        {"Panel5", "Lauflicht"},
    };
    for (const auto &[control, name] : rows)
        QTest::newRow(control) << QString::fromLatin1(control) << QString::fromUtf8(name);
}

void WindowTest::accessibleNames()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    Window w;
    QWidget *widget = w.widget(control);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible);
    if (!qobject_cast<QComboBox *>(widget)) {
        QCOMPARE(accessible->text(QAccessible::Name), name);
        return;
    }
    // A list's accessible name is its current entry on Linux; screen readers find the list
    // by the label that names it instead.
    QCOMPARE(widget->accessibleName(), name);
    QStringList labels;
    for (const auto &[label, relation] : accessible->relations(QAccessible::Label))
        labels << label->text(QAccessible::Name).trimmed(); // group titles keep their blanks
    QVERIFY2(labels.contains(name), qPrintable(labels.join(u'|')));
}

void WindowTest::helpOpensDocumentInWorkingFolder()
{
    Window w;
    HelpViewer viewer;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "open");
    w.click(QStringLiteral("BitBtn1"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    // No zelkora.chm in the working folder: the program's own help document.
    QCOMPARE(viewer.requests.size(), 1);
    QCOMPARE(viewer.requests.first(), HelpDocumentUrl());
    QVERIFY(viewer.requests.first().toLocalFile().endsWith(QStringLiteral("/help/index.html")));
}

void WindowTest::transferDialogOkResetsProgress()
{
    Window w;
    TForm2 *dialog = &w.dialog();
    QVERIFY(dialog);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Datenübertragung"));
    QCOMPARE(Control<QLabel>(dialog, QStringLiteral("Label1"))->text(),
             QStringLiteral("Übrtragung erfolgreich"));
    auto *progress = Control<QProgressBar>(w.form.get(), QStringLiteral("ProgressBar1"));
    progress->setValue(progress->maximum());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QTest::mouseClick(Control<QAbstractButton>(dialog, QStringLiteral("Button1")), Qt::LeftButton);
    QCOMPARE(progress->value(), 0);
    QVERIFY(!dialog->isVisible());
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"

namespace {

// The width a control needs for its text, as the style lays it out, beside the width it has.
struct Fit
{
    int need = 0;
    int have = 0;
};

Fit TextFit(QWidget *control, const QString &text)
{
    const QFontMetrics metrics(control->font());
    QStyle *style = control->style();
    QString shown = text;
    shown.remove(QLatin1Char('&'));
    const int advance = metrics.horizontalAdvance(shown);
    if (auto *label = qobject_cast<QLabel *>(control))
        return {advance, label->contentsRect().width()};
    if (auto *push = qobject_cast<QPushButton *>(control)) {
        const int icon = push->icon().isNull() ? 0 : push->iconSize().width() + 4;
        return {advance + icon + 2 * style->pixelMetric(QStyle::PM_ButtonMargin) +
                    2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth),
                push->width()};
    }
    if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        // Check boxes and radio buttons: indicator, spacing and text, as the style sizes them.
        return {button->sizeHint().width(), button->width()};
    }
    if (auto *box = qobject_cast<QGroupBox *>(control))
        return {advance, box->contentsRect().width()};
    if (auto *list = qobject_cast<QComboBox *>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = list->isEditable();
        const QRect field =
            style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
        // An editable list shows its text in a line edit with a margin of its own.
        return {advance + (list->isEditable() ? 4 : 0), field.width()};
    }
    return {advance, control->width()};
}

} // namespace

// Every caption, list entry and status text shows whole in the fixed window, with the fonts
// this system has; run again at twice the scale.
void WindowTest::captionsShowWhole()
{
    Window w;
    // The texts the program itself puts into labels, each at its longest.
    const struct
    {
        const char *label;
        const char *text;
    } statusTexts[] = {
        {"Label1", "ni. verbunden"},
        {"Label1", "verbunden"},
        {"Label39", "Rel Karte falsche Version"},
        {"Label44", "-127 °C"},
        {"Label46", "-127 °C"},
        {"Label48", "-127 °C"},
        {"Label50", "255 % rel. LF"},
        {"Label2", "23:59:59  Mi"},
        {"Label9", "Min"},
        {"Label34", "%rLF"},
        {"Label35", "%rLF"},
    };
    QStringList clipped;
    const auto check = [&clipped](QWidget *control, const QString &text) {
        if (text.isEmpty())
            return;
        const Fit fit = TextFit(control, text);
        if (fit.need > fit.have)
            clipped << QStringLiteral("%1 \"%2\": %3 of %4 px")
                           .arg(control->objectName(), text)
                           .arg(fit.need)
                           .arg(fit.have);
    };
    for (const auto &row : statusTexts)
        check(w.widget(QString::fromLatin1(row.label)), QString::fromUtf8(row.text));
    for (QWidget *control : w.form->findChildren<QWidget *>()) {
        if (auto *label = qobject_cast<QLabel *>(control))
            check(label, label->text());
        else if (auto *button = qobject_cast<QAbstractButton *>(control))
            check(button, button->text());
        else if (auto *box = qobject_cast<QGroupBox *>(control))
            check(box, box->title());
        else if (auto *list = qobject_cast<QComboBox *>(control))
            for (int i = 0; i < list->count(); ++i)
                check(list, list->itemText(i));
    }
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
}

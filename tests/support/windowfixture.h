#pragma once

#include "app/filecommands.h"
#include "app/unit1.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QQueue>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include <memory>

class CardLink;
class TForm2;

// Finds a control of the window by its designer name; a missing one ends the test run loudly,
// since every test after it would only report null pointers.
template <typename T> T *Control(QObject *root, const QString &name)
{
    T *control = root->findChild<T *>(name);
    if (!control)
        qFatal("no control %s", qPrintable(name));
    return control;
}

// One error box as it would have been shown.
struct BoxRecord
{
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool overWindow = false;
};

// One run of a file dialog as the user met it.
struct DialogRecord
{
    QString name;      // OpenDialog1 or SaveDialog1
    QString directory; // folder it opened in
    QString offered;   // file name it offered
};

// The real window shown offscreen, as a user meets it, in a working folder of the test's own.
// The file commands' error boxes and dialogs are recorded instead of waiting for a user; each
// dialog takes the next of `answers` (a name relative to the dialog's folder or an absolute
// path; an empty one cancels).
class Window
{
public:
    enum Start
    {
        Now,   // created and shown at once, without the start-up rule
        Later, // only the working folder: lay out its files, then start()
    };

    explicit Window(Start when = Now);
    ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    // The window alone, with the boxes and dialogs recorded; start() does this when needed.
    void create();
    // A window as the program entry makes it: created, start-up run, then shown.
    void start(bool runFormCreate = true);
    // Closes as the user does; true when the window went.
    bool close();
    // Drops the window without its close rule and starts a new one in the same folder, as
    // the next run of the program does.
    void restart();

    template <typename T> T *control(const QString &name) const
    {
        return Control<T>(form.get(), name);
    }
    QCheckBox *box(const QString &name) const { return control<QCheckBox>(name); }
    QAbstractButton *button(const QString &name) const { return control<QAbstractButton>(name); }
    QLineEdit *edit(const QString &name) const { return control<QLineEdit>(name); }
    QComboBox *list(const QString &name) const { return control<QComboBox>(name); }
    QTimeEdit *picker(const QString &name) const { return control<QTimeEdit>(name); }
    QWidget *widget(const QString &name) const { return control<QWidget>(name); }
    // The status bar's panel: 0 names the project file, 1 the card.
    QLabel *panel(int index) const;
    QString statusText() const;

    // The parts the window is made of, found as its children.
    CardLink &link() const;
    FileCommands &files() const;
    TForm2 &dialog() const;
    ConfigImage &image() const { return form->configImage(); }
    QByteArray imageBytes() const;

    // A mouse click in the middle of the control, pressed and released over it.
    void click(const QString &name) const;
    // Selects the relay page as the user does, by its tab.
    void choosePage(int p) const;
    // Shows page p from the image as it stands, which also brings the mode rules to life.
    void show(int p) const;
    // Replaces the field's whole text as a paste does: a text the field's validator refuses
    // changes nothing.
    void paste(const QString &name, const QString &text) const;
    // Types text key by key over the field's whole content.
    void type(const QString &name, const QString &text) const;

    // Files of the working folder.
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray read(const QString &name) const;
    void write(const QString &name, const QByteArray &bytes) const;
    QStringList boxTexts() const;

    std::unique_ptr<TForm1> form;
    QList<BoxRecord> boxes;
    QList<DialogRecord> dialogs;
    QQueue<QString> answers;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

QByteArray ImageBytes(const ConfigImage &image);
// A project as the window writes it: the starter project with relay 1 labelled `label` and
// byte 903 set, which a load must clear.
QByteArray ProjectBytes(const QString &label);
// ini.cfg as the window writes it.
QByteArray SettingsBytes(int port, const QString &project);
// The error box for every failure: error icon, OK alone, the program's name, over the window.
bool IsErrorBox(const BoxRecord &box);

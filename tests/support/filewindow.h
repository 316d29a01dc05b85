#pragma once

#include "app/filecommands.h"
#include "tests/support/windowfixture.h"

#include <QByteArray>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QQueue>
#include <QTemporaryDir>

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

// The real window in a working folder of the test's own. Error boxes and file dialogs are
// recorded instead of waiting for a user; each dialog takes the next of `answers` (a name
// relative to the dialog's folder or an absolute path; an empty one cancels).
class FileWindow
{
public:
    FileWindow() : m_previous(QDir::currentPath())
    {
        if (!m_dir.isValid() || !QDir::setCurrent(m_dir.path()))
            qFatal("no working folder");
    }
    ~FileWindow()
    {
        form.reset();
        QDir::setCurrent(m_previous);
    }
    FileWindow(const FileWindow &) = delete;
    FileWindow &operator=(const FileWindow &) = delete;

    // The window alone, with the box and dialogs recorded; start() does this when needed.
    void create();
    // A window as the program entry makes it: created, start-up run, then shown.
    void start(bool runFormCreate = true);
    // Closes as the user does; true when the window went.
    bool close();
    // Drops the window without its close rule and starts a new one in the same folder, as
    // the next run of the program does.
    void restart();

    FileCommands &files() const { return *form->fileCommands(); }
    QString statusText() const { return form->statusPanel(0)->text(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray read(const QString &name) const;
    void write(const QString &name, const QByteArray &bytes) const;
    QByteArray imageBytes() const;
    QStringList boxTexts() const;

    template <typename T> T *control(const char *name) const
    {
        return Control<T>(form.get(), QString::fromLatin1(name));
    }
    // A mouse click in the middle of a button or box.
    void click(const char *name) const;
    // Types over the whole text of an edit field, key by key.
    void type(const char *name, const QString &text) const;

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

#pragma once

#include "config/fileaccess.h"
#include "config/fileerror.h"

#include <QObject>
#include <QString>

#include <functional>

class ConfigImage;
class QComboBox;
class QFileDialog;
class QLabel;
class QMessageBox;
class QPushButton;
class QWidget;

// The widgets the file commands drive.
struct FileControls
{
    QWidget *dialogParent = nullptr; // owns the file dialogs and the error box
    QPushButton *load = nullptr;     // Button4
    QPushButton *save = nullptr;     // Button5
    QComboBox *portList = nullptr;   // ComboBox1: its entry is kept in ini.cfg
    QLabel *projectPanel = nullptr;  // status panel 0
};

// The project and settings files as the window uses them: "Load" and "Save" with their file
// dialogs, ini.cfg in the working folder, ProjectPath, status panel 0 and the error box.
// Each routine that can fail shows the box itself and returns false, so its caller only has
// to stop.
class FileCommands : public QObject
{
    Q_OBJECT

public:
    // Runs the error box; the default is a modal exec(). Tests record the box instead.
    using BoxRunner = std::function<void(QMessageBox &box)>;
    // Runs a file dialog; true when the user chose a file. Tests choose one themselves.
    using DialogRunner = std::function<bool(QFileDialog &dialog)>;

    static constexpr const char *SettingsFileName = "ini.cfg";

    // capture copies the page on show into the image (inarray), display fills the controls
    // from it (outarray).
    FileCommands(const FileControls &controls, ConfigImage &image, std::function<void()> capture,
                 std::function<void()> display, QObject *parent = nullptr);
    ~FileCommands() override;

    const QString &ProjectPath() const { return m_projectPath; }
    QFileDialog *OpenDialog1();
    QFileDialog *SaveDialog1();

    void setBoxRunner(BoxRunner runner) { m_boxRunner = std::move(runner); }
    void setDialogRunner(DialogRunner runner) { m_dialogRunner = std::move(runner); }
    // Writes the bytes of every save; tests hand in one that fails as a full disk does.
    void setWriter(FileWriter writer) { m_writer = std::move(writer); }

    // Both dialogs start in the current working folder until the user has chosen a file.
    void startInWorkingDirectory();

    // ini.cfg that is not the user's to act on (another user's in a shared folder, a link):
    // neither read nor written; the window starts with no project.
    void refuseSettingsFile() { m_settingsRefused = true; }

    // ini.cfg: selects the port entry without opening the port, sets ProjectPath.
    bool LoadSettingsFile();
    bool SaveSettingsFile();
    // The project at ProjectPath into or out of the image; status panel 0 names it.
    bool LoadProjectFile();
    bool SaveProjectFile();

    // The close rule's saves. Without a project file, or where ProjectPath names a file that
    // is no project (not 1024 bytes: a close never shortens or replaces such a file) or one
    // the user made read-only, the save dialog asks for one first; false (window stays open) when
    // the user cancels it or the project cannot be saved. Once the project is safe, a failure to
    // write ini.cfg alone is said on standard error and the window may go.
    bool saveOnClose();
    // The same without any dialog or box, for an end that cannot wait for the user (a signal
    // to end, the desktop session ending): what cannot be saved is said on standard error.
    bool saveWithoutAsking();
    // Whether a close must ask for a file name before it may write the project.
    bool needsFileName() const;

    void Button4Click();
    void Button5Click();

private:
    struct DialogSlot
    {
        QFileDialog *dialog = nullptr;
        QString lastChosen;
    };

    QFileDialog *dialog(DialogSlot &slot, const char *name, bool saving);
    // Runs the dialog, offering the file last chosen in it; empty when cancelled.
    QString choose(DialogSlot &slot, bool saving);
    // Shows the error box for a failed status; true when the status is fine.
    bool report(const FileStatus &status);
    // A name chosen in a dialog that ini.cfg can hold; the error box otherwise.
    bool acceptable(const QString &path);
    // ini.cfg after the project is safe: a failure is said on standard error.
    void saveSettingsOrSay();
    void showProjectName();

    FileControls m_controls;
    ConfigImage &m_image;
    std::function<void()> m_capture;
    std::function<void()> m_display;
    QString m_projectPath;
    QString m_startDirectory;
    DialogSlot m_open;
    DialogSlot m_save;
    BoxRunner m_boxRunner;
    DialogRunner m_dialogRunner;
    FileWriter m_writer;
    bool m_settingsRefused = false;
};

#include "app/filecommands.h"

#include "config/configimage.h"
#include "config/projectfile.h"
#include "config/settingsfile.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>

#include <cstdio>

namespace {
// The error box is captioned with the program's name, not the versioned window caption.
constexpr QStringView ApplicationTitle = u"Zelkora";
} // namespace

FileCommands::FileCommands(const FileControls &controls, ConfigImage &image,
                           std::function<void()> capture, std::function<void()> display,
                           QObject *parent)
    : QObject(parent), m_controls(controls), m_image(image), m_capture(std::move(capture)),
      m_display(std::move(display)), m_startDirectory(QDir::currentPath())
{
    connect(m_controls.load, &QPushButton::clicked, this, &FileCommands::Button4Click);
    connect(m_controls.save, &QPushButton::clicked, this, &FileCommands::Button5Click);
}

FileCommands::~FileCommands() = default;

QFileDialog *FileCommands::OpenDialog1()
{
    return dialog(m_open, "OpenDialog1", false);
}

QFileDialog *FileCommands::SaveDialog1()
{
    return dialog(m_save, "SaveDialog1", true);
}

QFileDialog *FileCommands::dialog(DialogSlot &slot, const char *name, bool saving)
{
    if (slot.dialog)
        return slot.dialog;
    auto *d = new QFileDialog(m_controls.dialogParent);
    d->setObjectName(QLatin1String(name));
    d->setWindowTitle(saving ? QStringLiteral("Speichern unter") : QStringLiteral("Öffnen"));
    d->setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A name that does not exist yet is accepted in both: the load then reports it.
    d->setFileMode(QFileDialog::AnyFile);
    d->setOption(QFileDialog::DontConfirmOverwrite);
    d->setNameFilter(QStringLiteral("rel (*.rel)"));
    d->setDefaultSuffix(QStringLiteral("rel"));
    d->setDirectory(m_startDirectory);
    slot.dialog = d;
    return d;
}

void FileCommands::startInWorkingDirectory()
{
    m_startDirectory = QDir::currentPath();
    for (DialogSlot *slot : {&m_open, &m_save}) {
        if (slot->dialog && slot->lastChosen.isEmpty())
            slot->dialog->setDirectory(m_startDirectory);
    }
}

QString FileCommands::choose(DialogSlot &slot, bool saving)
{
    QFileDialog *d = saving ? SaveDialog1() : OpenDialog1();
    if (!slot.lastChosen.isEmpty())
        d->selectFile(slot.lastChosen);
    const bool chosen = m_dialogRunner ? m_dialogRunner(*d) : d->exec() == QDialog::Accepted;
    const QStringList files = d->selectedFiles();
    if (!chosen || files.isEmpty() || files.first().isEmpty())
        return {};
    slot.lastChosen = files.first();
    return slot.lastChosen;
}

bool FileCommands::report(const FileStatus &status)
{
    if (status.ok())
        return true;
    QMessageBox box(QMessageBox::Critical, ApplicationTitle.toString(),
                    FileErrorMessage(status) + u'.', QMessageBox::Ok, m_controls.dialogParent);
    if (m_boxRunner)
        m_boxRunner(box);
    else
        box.exec();
    return false;
}

void FileCommands::showProjectName()
{
    m_controls.projectPanel->setText(ProjectStatusText(m_projectPath));
}

bool FileCommands::LoadSettingsFile()
{
    if (m_settingsRefused)
        return false; // said at the start
    Settings settings;
    if (!report(::LoadSettingsFile(QLatin1String(SettingsFileName), settings)))
        return false;
    m_projectPath = settings.projectPath;
    // Only the choice comes back here; start-up opens the port once the project is in.
    QComboBox *ports = m_controls.portList;
    const QSignalBlocker block(ports);
    ports->setCurrentIndex(settings.portIndex);
    return true;
}

bool FileCommands::SaveSettingsFile()
{
    const QComboBox *ports = m_controls.portList;
    // A port typed into the list is open without its entry being selected: keep that one.
    const int typed = ports->findText(ports->currentText());
    const int port = typed >= 0 ? typed : ports->currentIndex();
    return report(::SaveSettingsFile(QLatin1String(SettingsFileName), port, m_projectPath,
                                     QDir::currentPath(), m_writer));
}

bool FileCommands::LoadProjectFile()
{
    if (!report(::LoadProjectFile(m_projectPath, m_image)))
        return false;
    showProjectName();
    return true;
}

bool FileCommands::SaveProjectFile()
{
    if (!report(::SaveProjectFile(m_projectPath, m_image, m_writer)))
        return false;
    showProjectName();
    return true;
}

bool FileCommands::needsFileName() const
{
    if (m_projectPath.isEmpty())
        return true;
    // A file that is there but holds no project (a text file, a 5 MB file whose head was
    // read) is never cut to 1024 bytes by a close.
    const QFileInfo file(m_projectPath);
    return file.exists() && file.isFile() &&
           (file.size() != ConfigImage::Size || !ModeAllowsWriting(m_projectPath));
}

bool FileCommands::saveOnClose()
{
    if (needsFileName()) {
        const QString chosen = choose(m_save, true);
        if (chosen.isEmpty() || !acceptable(chosen))
            return false;
        m_projectPath = chosen;
    }
    if (!SaveProjectFile())
        return false;
    saveSettingsOrSay();
    return true;
}

bool FileCommands::saveWithoutAsking()
{
    if (needsFileName()) {
        std::fprintf(
            stderr, "zelkora: %s\n",
            qPrintable(
                m_projectPath.isEmpty()
                    ? QStringLiteral("kein Projekt gespeichert: keine Projektdatei")
                : !ModeAllowsWriting(m_projectPath)
                    ? QStringLiteral("%1: schreibgeschützt, nicht überschrieben").arg(m_projectPath)
                    : QStringLiteral("%1: keine Projektdatei, nicht überschrieben")
                          .arg(m_projectPath)));
        return false;
    }
    if (const FileStatus status = ::SaveProjectFile(m_projectPath, m_image, m_writer);
        !status.ok()) {
        std::fprintf(stderr, "zelkora: %s: %s\n", qPrintable(m_projectPath),
                     qPrintable(FileErrorMessage(status)));
        return false;
    }
    saveSettingsOrSay();
    return true;
}

void FileCommands::saveSettingsOrSay()
{
    if (m_settingsRefused) {
        std::fprintf(stderr, "zelkora: %s nicht geschrieben: gehört nicht diesem Benutzer\n",
                     SettingsFileName);
        return;
    }
    const QComboBox *ports = m_controls.portList;
    const int typed = ports->findText(ports->currentText());
    const int port = typed >= 0 ? typed : ports->currentIndex();
    if (const FileStatus status = ::SaveSettingsFile(QLatin1String(SettingsFileName), port,
                                                     m_projectPath, QDir::currentPath(), m_writer);
        !status.ok())
        std::fprintf(stderr, "zelkora: %s: %s\n", SettingsFileName,
                     qPrintable(FileErrorMessage(status)));
}

bool FileCommands::acceptable(const QString &path)
{
    if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
        return report({FileError::NameWithLineBreak});
    return true;
}

void FileCommands::Button4Click()
{
    const QString chosen = choose(m_open, false);
    if (chosen.isEmpty() || !acceptable(chosen))
        return;
    // A load that fails keeps the project it had: the next close must not write over a file
    // that was never loaded.
    const QString previous = m_projectPath;
    m_projectPath = chosen;
    // The page on show is not captured first: loading replaces the whole image anyway.
    if (LoadProjectFile())
        m_display();
    else
        m_projectPath = previous;
}

void FileCommands::Button5Click()
{
    const QString chosen = choose(m_save, true);
    if (chosen.isEmpty() || !acceptable(chosen))
        return;
    m_projectPath = chosen;
    m_capture();
    SaveProjectFile();
}

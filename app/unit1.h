#pragma once

#include "config/configimage.h"
#include "config/pagecodec.h"

#include <QMainWindow>

#include <array>
#include <memory>
#include <optional>

class CardLink;
class FileCommands;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;
class ModeRules;
class TForm2;
struct EditorState;
struct NumberRange;

namespace Ui {
class TForm1;
}

// The main window. One set of editor controls serves all eight relays: the notebook's current
// page says whose bytes they show (outarray) and edit (inarray and the editor rules).
class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    Ui::TForm1 &controls() { return *m_ui; }
    ::ConfigImage &configImage() { return m_configImage; }
    const ::ConfigImage &configImage() const { return m_configImage; }
    bool CaptureEnabled() const { return m_captureEnabled; }
    bool DisplayInProgress() const { return m_displayInProgress; }
    // Relay index 0 to 7 of the notebook page on show.
    int currentPage() const;

    // The transfer dialog lives as long as the window; it is created after the window, hidden.
    void createTransferDialog();

    // Copies the page on show and the global controls into the image.
    void inarray();
    // Fills the controls from the image for the page on show.
    void outarray();
    // flag 1: keep the inputs while "Taster" is checked.
    void checkboxweg(int flag);

    void Panel4Click();
    void Panel5Click();
    void Panel10Click();

    // Start-up, once, before the window is shown: settings, project, page 1, port. A file
    // failure is reported and start-up goes on with what it has.
    void FormCreate();
    // Before FormCreate: the working folder's ini.cfg is not this user's to act on, so start-up
    // reads no project and the close writes no ini.cfg there.
    void refuseSettingsFile();
    // Captures the page and writes the project and ini.cfg; false keeps the window open.
    bool FormClose();
    // The close's capture and saves for an end that cannot wait for the user (a signal to
    // end, the desktop session asking to commit): no dialog, no box; what cannot be saved is
    // said on standard error. True when the project was saved.
    bool saveForEnd();

    QTimer *Timer1 = nullptr; // protocol engine tick
    QTimer *Timer2 = nullptr; // clock and link status

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct ProgramControls
    {
        std::array<QCheckBox *, 7> channels{}; // "L 2" .. "L 8"
        QComboBox *tempo = nullptr;
        QComboBox *range = nullptr;
        QComboBox *direction = nullptr;
        QLineEdit *seconds = nullptr;
    };

    void collectControls();
    void connectHandlers();
    EditorState editorState() const;
    void showView(int view);
    // Applies the field's range to its text (the field's rule runs again, nested, when the
    // text changes) and gives the number the field then shows.
    void storeNumberField(QLineEdit *field, const NumberRange &range, int offset);
    long long limitNumberField(QLineEdit *field, const NumberRange &range);

    void CheckBox2Click();
    void CheckBox2MouseUp();
    void CheckBox47Click();
    void CheckBox10Click(bool checked);
    void CheckBox11Click(bool checked);
    void CheckBox12Click(bool checked);
    void CheckBox13Click(bool checked);
    void CheckBox46Click(bool checked);
    void CheckBox14Click(bool checked);
    void CheckBox49Click(bool checked);
    void CheckBox48MouseUp();
    void CheckBox1Click();
    void ComboBox2Change();
    void ComboBox14Change();
    void ComboBox15Change();
    void ComboBox16Change();
    void Edit1Change();
    void Edit2Change();
    void Edit3Change();
    void Edit4Change();
    void Edit5Change();
    void Edit6Change();
    void Edit7Change();
    void Edit8Change();
    void TabbedNotebook1Click();
    void BitBtn1Click();

    std::unique_ptr<Ui::TForm1> m_ui;
    std::unique_ptr<ModeRules> m_rules;
    TForm2 *m_transferDialog = nullptr;
    // The card's line (port, protocol engine, clock) wired to the timers, buttons and labels.
    CardLink *m_cardLink = nullptr;
    // "Load", "Save", ini.cfg, ProjectPath and the error box.
    FileCommands *m_files = nullptr;
    ::ConfigImage m_configImage;
    // The controls and the image as the last display or capture of a page left them: a
    // capture of that page writes only what changed since (everything before the first
    // display, when every control is the layout's, and on a page not shown since).
    struct Shown
    {
        int page = -1;
        EditorState state;
        ::ConfigImage image;
    };
    std::optional<Shown> m_shown;
    // Both true at start: captures work at once, the mode rules wait for the first display.
    bool m_captureEnabled = true;
    bool m_displayInProgress = true;
    // The relay page the controls stand for; the notebook returns to it while covered.
    int m_shownPage = 0;
    int m_view = 0; // the timer view, the running-light view or the configuration view

    std::array<QCheckBox *, 8> m_inputs{};
    std::array<QCheckBox *, 8> m_powerUp{};
    std::array<ProgramControls, 3> m_programs{};
    std::array<QLineEdit *, 8> m_relayLabels{};
    std::array<QLabel *, 2> m_statusPanels{};
};

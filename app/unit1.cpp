#include "app/unit1.h"

#include "app/buttonaccess.h"
#include "app/cardlink.h"
#include "app/editorrules.h"
#include "app/filecommands.h"
#include "app/helpdocument.h"
#include "app/unit2.h"
#include "config/numberrule.h"
#include "config/pagecodec.h"
#include "link/cardsession.h"
#include "ui_unit1.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QValidator>

namespace {

enum View
{
    TimerView,
    RunningLightView,
    ConfigurationView
};

TimeOfDay TimeOf(const QTimeEdit *picker)
{
    const QTime t = picker->time();
    return {t.hour(), t.minute(), t.second()};
}

// Lists and pickers set from the image run no handler: only the user's choice captures.
void ShowTime(QTimeEdit *picker, const TimeOfDay &time)
{
    const QSignalBlocker block(picker);
    picker->setTime(QTime(time.hour, time.minute, time.second));
}

void SelectEntry(QComboBox *list, int index)
{
    const QSignalBlocker block(list);
    list->setCurrentIndex(index);
}

// The layout's positions were made for "MS Sans Serif" at 11 pixels. Elsewhere the narrow
// face of DejaVu Sans takes its place: the plain face is wider and cut captions such as
// "ni. verbunden" short in the window's fixed size.
QFont WindowFont()
{
#ifdef Q_OS_WIN
    QFont font(QStringLiteral("MS Sans Serif"));
#else
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStretch(QFont::Condensed);
#endif
    font.setPixelSize(11);
    return font;
}

} // namespace

TForm1::TForm1(QWidget *parent) : QMainWindow(parent), m_ui(std::make_unique<Ui::TForm1>())
{
    InstallClickingButtonAccessibility();
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setFixedSize(681, 437);
    if (const QScreen *desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());

    // The port names only fit the narrow list a pixel smaller than the window's type.
    QFont portFont = m_ui->ComboBox1->font();
    portFont.setPixelSize(10);
    m_ui->ComboBox1->setFont(portFont);
    // The version warning has the panel's width left of its place: 9 pixels keep it whole.
    QFont warningFont = m_ui->Label39->font();
    warningFont.setPixelSize(9);
    m_ui->Label39->setFont(warningFont);
    // The port list starts with its first port's text but no entry chosen: choosing one, by
    // the settings file or by the user, is what opens a port.
    m_ui->ComboBox1->setEditText(QStringLiteral("COM 1"));
    m_ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
    m_ui->StatusBar1->setSizeGripEnabled(false);
    m_ui->StatusBar1->setFixedHeight(18);
    const std::array<QString, 2> panelTexts{QStringLiteral("Datei"), QStringLiteral("Relaiskarte")};
    for (int i = 0; i < 2; ++i) {
        m_statusPanels[i] = new QLabel(panelTexts[i], m_ui->StatusBar1);
        m_statusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    }
    m_statusPanels[0]->setFixedWidth(200);
    m_ui->StatusBar1->addWidget(m_statusPanels[0]);
    m_ui->StatusBar1->addWidget(m_statusPanels[1], 1);

    collectControls();
    m_rules = std::make_unique<ModeRules>(
        ModeBoxes{m_inputs, m_ui->CheckBox47, m_ui->CheckBox10, m_ui->CheckBox11, m_ui->CheckBox12,
                  m_ui->CheckBox13, m_ui->CheckBox46, m_ui->CheckBox14, m_ui->CheckBox49,
                  m_ui->RadioButton4},
        m_displayInProgress, [this] { inarray(); });
    connectHandlers();
    Ui::TForm1 &ui = *m_ui;
    m_cardLink = new CardLink(
        CardLinkControls{ui.ComboBox1,
                         ui.Button1,
                         ui.Button2,
                         ui.Button3,
                         ui.ProgressBar1,
                         ui.Label1,
                         ui.Label2,
                         ui.Label39,
                         {ui.Label44, ui.Label46, ui.Label48},
                         ui.Label50},
        m_configImage, [this] { inarray(); },
        [this] {
            // Shown without a nested event loop of its own inside the step, so both timers go
            // on ticking while it is open; it still blocks the window until "Ok".
            if (m_transferDialog)
                m_transferDialog->open();
        },
        this);
    m_files = new FileCommands(
        FileControls{this, ui.Button4, ui.Button5, ui.ComboBox1, m_statusPanels[0]}, m_configImage,
        [this] { inarray(); }, [this] { outarray(); }, this);
    m_cardLink->setProjectSource([this] { return m_files->ProjectPath(); });

    // The card session owns the two timers; the window starts them.
    Timer1 = m_cardLink->session().Timer1();
    Timer2 = m_cardLink->session().Timer2();
    m_cardLink->session().start();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate()
{
    m_files->startInWorkingDirectory();
    m_cardLink->session().Reset(); // idle before the first tick
    // No project named (no ini.cfg, or an empty line 2) is nothing to report a second time.
    const bool loaded = m_files->LoadSettingsFile() && !m_files->ProjectPath().isEmpty() &&
                        m_files->LoadProjectFile();
    // Without a project the controls keep their initial state, but the rules must not stay
    // muted until the user happens to change the page.
    if (loaded)
        outarray();
    else
        m_displayInProgress = false;
    m_cardLink->ConnectPort();
}

void TForm1::refuseSettingsFile()
{
    m_files->refuseSettingsFile();
}

bool TForm1::FormClose()
{
    inarray();
    return m_files->saveOnClose();
}

bool TForm1::saveForEnd()
{
    inarray();
    return m_files->saveWithoutAsking();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

void TForm1::collectControls()
{
    Ui::TForm1 &ui = *m_ui;
    m_inputs = {ui.CheckBox2, ui.CheckBox3, ui.CheckBox4, ui.CheckBox5,
                ui.CheckBox6, ui.CheckBox7, ui.CheckBox8, ui.CheckBox9};
    m_powerUp = {ui.CheckBox1,  ui.CheckBox39, ui.CheckBox40, ui.CheckBox41,
                 ui.CheckBox42, ui.CheckBox43, ui.CheckBox44, ui.CheckBox45};
    m_programs[0] = {{ui.CheckBox16, ui.CheckBox17, ui.CheckBox18, ui.CheckBox19, ui.CheckBox20,
                      ui.CheckBox21, ui.CheckBox22},
                     ui.ComboBox8,
                     ui.ComboBox5,
                     ui.ComboBox6,
                     ui.Edit4};
    m_programs[1] = {{ui.CheckBox24, ui.CheckBox25, ui.CheckBox26, ui.CheckBox27, ui.CheckBox28,
                      ui.CheckBox29, ui.CheckBox30},
                     ui.ComboBox10,
                     ui.ComboBox7,
                     ui.ComboBox9,
                     ui.Edit5};
    m_programs[2] = {{ui.CheckBox32, ui.CheckBox33, ui.CheckBox34, ui.CheckBox35, ui.CheckBox36,
                      ui.CheckBox37, ui.CheckBox38},
                     ui.ComboBox13,
                     ui.ComboBox11,
                     ui.ComboBox12,
                     ui.Edit6};
    m_relayLabels = {ui.Edit9,  ui.Edit10, ui.Edit11, ui.Edit12,
                     ui.Edit13, ui.Edit14, ui.Edit15, ui.Edit16};
}

void TForm1::connectHandlers()
{
    Ui::TForm1 &ui = *m_ui;
    // A click rule runs on every change of the box, also one made by another rule or by the
    // display; the capture follows the user's own click, by mouse or keyboard.
    for (QCheckBox *input : m_inputs)
        connect(input, &QCheckBox::toggled, this, &TForm1::CheckBox2Click);
    connect(ui.CheckBox47, &QCheckBox::toggled, this, &TForm1::CheckBox47Click);
    connect(ui.CheckBox10, &QCheckBox::toggled, this, &TForm1::CheckBox10Click);
    connect(ui.CheckBox11, &QCheckBox::toggled, this, &TForm1::CheckBox11Click);
    connect(ui.CheckBox12, &QCheckBox::toggled, this, &TForm1::CheckBox12Click);
    connect(ui.CheckBox13, &QCheckBox::toggled, this, &TForm1::CheckBox13Click);
    connect(ui.CheckBox46, &QCheckBox::toggled, this, &TForm1::CheckBox46Click);
    connect(ui.CheckBox14, &QCheckBox::toggled, this, &TForm1::CheckBox14Click);
    connect(ui.CheckBox49, &QCheckBox::toggled, this, &TForm1::CheckBox49Click);

    std::vector<QAbstractButton *> capturing(m_inputs.begin(), m_inputs.end());
    capturing.insert(capturing.end(),
                     {ui.RadioButton3, ui.RadioButton4, ui.CheckBox47, ui.CheckBox10, ui.CheckBox11,
                      ui.CheckBox12, ui.CheckBox13, ui.CheckBox14, ui.CheckBox49, ui.CheckBox46});
    for (QAbstractButton *button : capturing)
        connect(button, &QAbstractButton::clicked, this, &TForm1::CheckBox2MouseUp);
    connect(ui.CheckBox48, &QCheckBox::clicked, this, &TForm1::CheckBox48MouseUp);
    for (QCheckBox *box : m_powerUp)
        connect(box, &QCheckBox::toggled, this, &TForm1::CheckBox1Click);

    for (QComboBox *list : {ui.ComboBox2, ui.ComboBox3})
        connect(list, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox2Change);
    for (QTimeEdit *picker : {ui.DateTimePicker1, ui.DateTimePicker2, ui.DateTimePicker3,
                              ui.DateTimePicker4, ui.DateTimePicker5, ui.DateTimePicker6})
        connect(picker, &QTimeEdit::timeChanged, this, &TForm1::ComboBox2Change);
    connect(ui.ComboBox14, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox14Change);
    connect(ui.ComboBox15, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox15Change);
    connect(ui.ComboBox16, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox16Change);

    // A number field keeps only texts that store the number they show.
    for (QLineEdit *field :
         {ui.Edit1, ui.Edit2, ui.Edit3, ui.Edit4, ui.Edit5, ui.Edit6, ui.Edit7, ui.Edit8})
        field->setValidator(new NumberRuleValidator(field));
    connect(ui.Edit1, &QLineEdit::textChanged, this, &TForm1::Edit1Change);
    connect(ui.Edit2, &QLineEdit::textChanged, this, &TForm1::Edit2Change);
    connect(ui.Edit3, &QLineEdit::textChanged, this, &TForm1::Edit3Change);
    connect(ui.Edit4, &QLineEdit::textChanged, this, &TForm1::Edit4Change);
    connect(ui.Edit5, &QLineEdit::textChanged, this, &TForm1::Edit5Change);
    connect(ui.Edit6, &QLineEdit::textChanged, this, &TForm1::Edit6Change);
    connect(ui.Edit7, &QLineEdit::textChanged, this, &TForm1::Edit7Change);
    connect(ui.Edit8, &QLineEdit::textChanged, this, &TForm1::Edit8Change);

    connect(ui.Panel4, &QPushButton::clicked, this, &TForm1::Panel4Click);
    connect(ui.Panel5, &QPushButton::clicked, this, &TForm1::Panel5Click);
    connect(ui.Panel10, &QPushButton::clicked, this, &TForm1::Panel10Click);
    connect(ui.TabbedNotebook1, &QTabWidget::currentChanged, this, &TForm1::TabbedNotebook1Click);
    connect(ui.BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);

    // The keys people expect of such a window; each acts exactly as a click on its button.
    const std::array<std::pair<QKeySequence, QAbstractButton *>, 3> keys{{
        {QKeySequence(Qt::Key_F1), ui.BitBtn1},
        {QKeySequence(Qt::CTRL | Qt::Key_O), ui.Button4},
        {QKeySequence(Qt::CTRL | Qt::Key_S), ui.Button5},
    }};
    for (const auto &[sequence, button] : keys) {
        auto *shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, button, [button] {
            if (button->isEnabled())
                button->click();
        });
    }
}

int TForm1::currentPage() const
{
    return m_ui->TabbedNotebook1->currentIndex();
}

void TForm1::createTransferDialog()
{
    if (!m_transferDialog)
        m_transferDialog = new TForm2(m_ui->ProgressBar1, this);
}

EditorState TForm1::editorState() const
{
    const Ui::TForm1 &ui = *m_ui;
    EditorState s;
    for (std::size_t k = 0; k < m_inputs.size(); ++k)
        s.inputs[k] = m_inputs[k]->isChecked();
    s.andSelected = ui.RadioButton3->isChecked();
    s.timer1Active = ui.CheckBox10->isChecked();
    s.timer2Active = ui.CheckBox11->isChecked();
    s.randomActive = ui.CheckBox12->isChecked();
    s.secTimerActive = ui.CheckBox13->isChecked();
    s.counterInUse = ui.CheckBox48->isChecked();
    s.repeat = ui.CheckBox14->isChecked();
    s.key = ui.CheckBox49->isChecked();
    s.tempActive = ui.CheckBox46->isChecked();
    s.pushButton = ui.CheckBox47->isChecked();
    s.day1Index = ui.ComboBox2->currentIndex();
    s.day2Index = ui.ComboBox3->currentIndex();
    s.timer1On = TimeOf(ui.DateTimePicker1);
    s.timer1Off = TimeOf(ui.DateTimePicker2);
    s.timer2On = TimeOf(ui.DateTimePicker3);
    s.timer2Off = TimeOf(ui.DateTimePicker4);
    s.randomStart = TimeOf(ui.DateTimePicker5);
    s.randomStop = TimeOf(ui.DateTimePicker6);
    s.counterText = ui.Edit1->text();
    s.onSecondsText = ui.Edit2->text();
    s.offSecondsText = ui.Edit3->text();
    s.sensorIndex = ui.ComboBox15->currentIndex();
    s.pullInText = ui.Edit7->text();
    s.dropOutText = ui.Edit8->text();

    s.programIndex = ui.ComboBox4->currentIndex();
    for (std::size_t n = 0; n < m_programs.size(); ++n) {
        const ProgramControls &controls = m_programs[n];
        RunningLightProgramState &program = s.programs[n];
        for (std::size_t c = 0; c < controls.channels.size(); ++c)
            program.channels[c] = controls.channels[c]->isChecked();
        program.tempoIndex = controls.tempo->currentIndex();
        program.rangeIndex = controls.range->currentIndex();
        program.directionIndex = controls.direction->currentIndex();
        program.secondsText = controls.seconds->text();
    }
    for (std::size_t k = 0; k < m_powerUp.size(); ++k)
        s.powerUp[k] = m_powerUp[k]->isChecked();
    s.counterUnitIndex = ui.ComboBox18->currentIndex();
    s.firmwareIndex = ui.ComboBox17->currentIndex();
    s.offset1Index = ui.ComboBox14->currentIndex();
    s.offset2Index = ui.ComboBox16->currentIndex();
    for (std::size_t i = 0; i < m_relayLabels.size(); ++i)
        s.relayLabels[i] = m_relayLabels[i]->text();
    s.cardName = ui.Edit17->text();
    return s;
}

void TForm1::inarray()
{
    if (!m_captureEnabled)
        return;
    Ui::TForm1 &ui = *m_ui;
    const int p = currentPage();
    const EditorState now = editorState();
    const CaptureTexts texts =
        m_shown && m_shown->page == p
            ? CaptureChanges(m_configImage, p, m_shown->state, m_shown->image, now)
            : CapturePage(m_configImage, p, now);
    // "Taster" forces "OR" below. Where "Taster" came with the page (not the user's change),
    // that is the window's doing, not the user's: the image keeps its AND/OR bit.
    const bool tasterShown =
        m_shown && m_shown->page == p && m_shown->state.pushButton && now.pushButton;
    m_shown = Shown{p, now, m_configImage};
    if (tasterShown)
        m_shown->state.andSelected = false;
    ui.Label8->setText(texts.diagnosticLabel);
    ui.Label34->setText(texts.unitLabel);
    ui.Label35->setText(texts.unitLabel);
    for (int i = 0; i < ui.TabbedNotebook1->count(); ++i)
        ui.TabbedNotebook1->setTabText(i, texts.tabCaptions.at(static_cast<std::size_t>(i)));
    m_statusPanels[1]->setText(texts.cardStatusText);
    // The AND/OR bit was written above; the image follows the forced OR at the next capture.
    if (ui.CheckBox47->isChecked())
        ui.RadioButton4->setChecked(true);
}

void TForm1::outarray()
{
    Ui::TForm1 &ui = *m_ui;
    m_captureEnabled = false;
    m_displayInProgress = true;
    const int p = currentPage();
    const PageDisplay d = DisplayPage(m_configImage, p);

    ui.CheckBox47->setChecked(d.pushButton);
    for (std::size_t k = 0; k < m_inputs.size(); ++k)
        m_inputs[k]->setChecked(d.inputs[k]);
    ui.RadioButton3->setChecked(d.andSelected);
    ui.RadioButton4->setChecked(!d.andSelected);
    ui.CheckBox10->setChecked(d.timer1Active);
    ui.CheckBox11->setChecked(d.timer2Active);
    ui.CheckBox12->setChecked(d.randomActive);
    ui.CheckBox13->setChecked(d.secTimerActive);
    ui.CheckBox48->setChecked(d.counterInUse);
    ui.Edit1->setEnabled(ui.CheckBox48->isChecked());
    SelectEntry(ui.ComboBox2, d.day1Index);
    ShowTime(ui.DateTimePicker1, d.timer1On);
    ShowTime(ui.DateTimePicker2, d.timer1Off);
    SelectEntry(ui.ComboBox3, d.day2Index);
    ShowTime(ui.DateTimePicker3, d.timer2On);
    ShowTime(ui.DateTimePicker4, d.timer2Off);
    // "repeat" first: an image with both bits ends with "key" alone, as the card reads it.
    ui.CheckBox14->setChecked(d.repeat);
    ui.CheckBox49->setChecked(d.key);
    ui.Edit2->setText(d.onSecondsText);
    ui.Edit3->setText(d.offSecondsText);
    ui.Edit1->setText(d.counterText);
    ShowTime(ui.DateTimePicker5, d.randomStart);
    ShowTime(ui.DateTimePicker6, d.randomStop);
    SelectEntry(ui.ComboBox4, d.programIndex);
    for (std::size_t n = 0; n < m_programs.size(); ++n) {
        const ProgramControls &controls = m_programs[n];
        const RunningLightProgramDisplay &program = d.programs[n];
        for (std::size_t c = 0; c < controls.channels.size(); ++c)
            controls.channels[c]->setChecked(program.channels[c]);
        SelectEntry(controls.tempo, program.tempoIndex);
        SelectEntry(controls.range, program.rangeIndex);
        SelectEntry(controls.direction, program.directionIndex);
        controls.seconds->setText(program.secondsText);
    }
    ui.CheckBox46->setChecked(d.tempActive);
    ui.Label34->setText(QStringLiteral("°C"));
    ui.Label35->setText(QStringLiteral("°C"));
    SelectEntry(ui.ComboBox15, d.sensorIndex);
    if (ui.ComboBox15->currentIndex() == 3) {
        ui.Label34->setText(QStringLiteral("%rLF"));
        ui.Label35->setText(QStringLiteral("%rLF"));
    }
    ui.Edit7->setText(d.pullInText);
    ui.Edit8->setText(d.dropOutText);
    if (d.runningLightView)
        Panel5Click();
    else
        Panel4Click();
    SelectEntry(ui.ComboBox18, d.counterUnitIndex);
    SelectEntry(ui.ComboBox17, d.firmwareIndex);
    SelectEntry(ui.ComboBox14, d.offset1Index);
    SelectEntry(ui.ComboBox16, d.offset2Index);
    for (std::size_t i = 0; i < m_relayLabels.size(); ++i) {
        if (d.relayLabels[i].isEmpty())
            continue;
        m_relayLabels[i]->setText(d.relayLabels[i]);
        ui.TabbedNotebook1->setTabText(static_cast<int>(i), d.relayLabels[i]);
    }
    ui.Edit17->setText(d.cardName);
    m_statusPanels[1]->setText(QStringLiteral(" Relaiskarte : ") + d.cardName);
    // Shown from the image so that a loaded project keeps its power-up states; each box
    // captures its own change, so the next display cannot undo an edit.
    for (std::size_t k = 0; k < m_powerUp.size(); ++k)
        m_powerUp[k]->setChecked(d.powerUp[k]);

    m_shown = Shown{p, editorState(), m_configImage};
    m_captureEnabled = true;
    m_displayInProgress = false;
}

void TForm1::checkboxweg(int flag)
{
    m_rules->checkboxweg(flag == 1);
}

void TForm1::CheckBox2Click()
{
    m_rules->inputChanged();
}

void TForm1::CheckBox2MouseUp()
{
    inarray();
}

void TForm1::CheckBox47Click()
{
    m_rules->pushButtonChanged();
}

void TForm1::CheckBox10Click(bool checked)
{
    m_rules->timerChanged(checked);
}

void TForm1::CheckBox11Click(bool checked)
{
    m_rules->timerChanged(checked);
}

void TForm1::CheckBox12Click(bool checked)
{
    m_rules->randomChanged(checked);
}

void TForm1::CheckBox13Click(bool checked)
{
    m_rules->secTimerChanged(checked);
}

void TForm1::CheckBox46Click(bool checked)
{
    m_rules->temperatureChanged(checked);
}

void TForm1::CheckBox14Click(bool checked)
{
    m_rules->repeatChanged(checked);
}

void TForm1::CheckBox49Click(bool checked)
{
    m_rules->keyChanged(checked);
}

void TForm1::CheckBox48MouseUp()
{
    inarray();
    m_ui->Edit1->setEnabled(m_ui->CheckBox48->isChecked());
}

void TForm1::CheckBox1Click()
{
    inarray();
}

void TForm1::ComboBox2Change()
{
    inarray();
}

void TForm1::ComboBox14Change()
{
    inarray();
}

void TForm1::ComboBox15Change()
{
    inarray();
}

void TForm1::ComboBox16Change()
{
    inarray();
}

void TForm1::storeNumberField(QLineEdit *field, const NumberRange &range, int offset)
{
    // A display shows a stored value the field cannot hold as the field's nearest; it is
    // stored only when the user changes the field, so a project opened and closed untouched
    // keeps its bytes.
    const long long value = limitNumberField(field, range);
    if (!m_displayInProgress)
        m_configImage[offset] = LowByte(value);
}

long long TForm1::limitNumberField(QLineEdit *field, const NumberRange &range)
{
    // A text set from outside (an accessibility "set text", a test robot) skips the
    // validator: it is cut to what typing would have let stand, so the field never shows a
    // number other than the one it stores ("-5 " would read as +5 by the number rule).
    QString text = field->text();
    if (const QValidator *validator = field->validator()) {
        int position = 0;
        while (!text.isEmpty() && validator->validate(text, position) == QValidator::Invalid) {
            text.chop(1);
            position = 0;
        }
    }
    const QString limited = LimitNumberText(text, range);
    if (limited != field->text())
        field->setText(limited);
    return ParseNumber(limited);
}

void TForm1::Edit1Change()
{
    storeNumberField(m_ui->Edit1, RandomCounterRange, ImageOffset::randomCounter(currentPage()));
}

void TForm1::Edit2Change()
{
    storeNumberField(m_ui->Edit2, SecondsRange, ImageOffset::secOnAt(currentPage()));
}

void TForm1::Edit3Change()
{
    storeNumberField(m_ui->Edit3, SecondsRange, ImageOffset::secOffAt(currentPage()));
}

void TForm1::Edit4Change()
{
    limitNumberField(m_ui->Edit4, DirectionChangeRange);
}

void TForm1::Edit5Change()
{
    limitNumberField(m_ui->Edit5, DirectionChangeRange);
}

void TForm1::Edit6Change()
{
    limitNumberField(m_ui->Edit6, DirectionChangeRange);
}

void TForm1::Edit7Change()
{
    storeNumberField(m_ui->Edit7, ThresholdRange, ImageOffset::tempPullIn(currentPage()));
}

void TForm1::Edit8Change()
{
    storeNumberField(m_ui->Edit8, ThresholdRange, ImageOffset::tempDropOut(currentPage()));
}

void TForm1::showView(int view)
{
    Ui::TForm1 &ui = *m_ui;
    m_view = view;
    ui.Panel4->setChecked(view == TimerView);
    ui.Panel5->setChecked(view == RunningLightView);
    ui.Panel10->setChecked(view == ConfigurationView);
    // The two panels lie exactly over the notebook, tabs included, so no other relay page
    // can be chosen while one of them is up; the covered tabs would still take the keyboard.
    ui.Panel3->move(8, 96);
    ui.Panel9->move(8, 96);
    ui.Panel3->setVisible(view == RunningLightView);
    ui.Panel9->setVisible(view == ConfigurationView);
    ui.TabbedNotebook1->setEnabled(view == TimerView);
}

void TForm1::Panel4Click()
{
    showView(TimerView);
    ClearImageBit(m_configImage, ImageOffset::GlobalFlags, 0);
    inarray();
    m_ui->Label9->setText(TestImageBit(m_configImage, ImageOffset::GlobalFlags, 1)
                              ? QStringLiteral("Min")
                              : QStringLiteral("Sek"));
}

void TForm1::Panel5Click()
{
    showView(RunningLightView);
    SetImageBit(m_configImage, ImageOffset::GlobalFlags, 0);
    inarray();
}

void TForm1::Panel10Click()
{
    showView(ConfigurationView);
    inarray();
}

void TForm1::TabbedNotebook1Click()
{
    // While the running-light or configuration view covers the notebook no page may change,
    // whatever asked for it (a tab's accessible "Press" does not ask whether the notebook is
    // enabled): the page on show has edits that are not captured yet.
    QTabWidget *notebook = m_ui->TabbedNotebook1;
    if (m_view != TimerView) {
        const QSignalBlocker block(notebook);
        notebook->setCurrentIndex(m_shownPage);
        return;
    }
    m_shownPage = notebook->currentIndex();
    outarray();
}

void TForm1::BitBtn1Click()
{
    // Without a document or a viewer nothing happens, as the program never said anything here.
    if (const QUrl help = HelpDocumentUrl(); help.isValid())
        QDesktopServices::openUrl(help);
}

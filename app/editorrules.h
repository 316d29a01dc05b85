#pragma once

#include <QString>
#include <QValidator>

#include <array>
#include <functional>

class QCheckBox;
class QRadioButton;

// Range a number field keeps its text in. The card takes each of these numbers as one byte;
// a value outside the range would be stored as something other than what the field shows.
struct NumberRange
{
    long long lowest = 0;
    long long highest = 0;
};

inline constexpr NumberRange RandomCounterRange{1, 60};    // Edit1
inline constexpr NumberRange SecondsRange{1, 255};         // Edit2, Edit3
inline constexpr NumberRange DirectionChangeRange{0, 255}; // Edit4 to Edit6
inline constexpr NumberRange ThresholdRange{-127, 128}; // Edit7, Edit8: what reads back unchanged

// The text a number field has to show: its own text while the number it reads as lies within
// the range, otherwise the nearest bound. Text without a leading number reads as 0; a text
// still on its way to a number ("", "-", "$", "0x") is kept as it is.
QString LimitNumberText(const QString &text, NumberRange range);

// Lets a number field hold only what the number rule reads completely, and what a person
// types on the way to it (an empty field, "-", "$", "0x"): never a text such as "-5 " that
// shows one number and stores another.
class NumberRuleValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

// The check boxes and radio button that make up the switching modes of one relay page.
struct ModeBoxes
{
    std::array<QCheckBox *, 8> inputs{}; // "IF K1" .. "IF K8"
    QCheckBox *pushButton = nullptr;     // "Taster"
    QCheckBox *timer1 = nullptr;
    QCheckBox *timer2 = nullptr;
    QCheckBox *random = nullptr;
    QCheckBox *secTimer = nullptr;
    QCheckBox *temperature = nullptr;
    QCheckBox *repeat = nullptr;
    QCheckBox *key = nullptr;
    QRadioButton *orButton = nullptr;
};

// Keeps the modes of a relay consistent while the user edits. Every uncheck below runs the
// unchecked box's own rule at once, nested, so the rules settle each other. The rules marked
// "muted" do nothing while a page is being shown, so the image decides what the page holds.
class ModeRules
{
public:
    ModeRules(const ModeBoxes &boxes, const bool &muted, std::function<void()> capture);

    void inputChanged();                   // muted
    void pushButtonChanged();              // never muted; ends with a capture
    void timerChanged(bool checked);       // Timer 1 or Timer 2, muted
    void randomChanged(bool checked);      // muted
    void secTimerChanged(bool checked);    // muted
    void temperatureChanged(bool checked); // muted
    void repeatChanged(bool checked);
    void keyChanged(bool checked);
    // Clears the inputs and then "Taster", unless keepWhenPushButton and "Taster" is checked.
    void checkboxweg(bool keepWhenPushButton);

private:
    bool anyTimerModeActive() const;

    ModeBoxes m_boxes;
    const bool &m_muted;
    std::function<void()> m_capture;
};

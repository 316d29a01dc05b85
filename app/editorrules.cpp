#include "app/editorrules.h"

#include "config/numberrule.h"

#include <QCheckBox>
#include <QRadioButton>

#include <initializer_list>
#include <utility>

QString LimitNumberText(const QString &text, NumberRange range)
{
    // Left alone on the way to a number, or a person could never clear a field or start a
    // hexadecimal number in it; it reads as 0 meanwhile, as the rule says.
    if (ClassifyNumberText(text) == NumberText::Unfinished)
        return text;
    const long long n = ParseNumber(text);
    if (n > range.highest)
        return QString::number(range.highest);
    if (n < range.lowest)
        return QString::number(range.lowest);
    return text;
}

QValidator::State NumberRuleValidator::validate(QString &input, int &) const
{
    switch (ClassifyNumberText(input)) {
    case NumberText::Complete:
        return Acceptable;
    case NumberText::Unfinished:
        return Intermediate;
    case NumberText::Invalid:
        break;
    }
    return Invalid;
}

namespace {

void Uncheck(std::initializer_list<QCheckBox *> boxes)
{
    for (QCheckBox *box : boxes)
        box->setChecked(false);
}

} // namespace

ModeRules::ModeRules(const ModeBoxes &boxes, const bool &muted, std::function<void()> capture)
    : m_boxes(boxes), m_muted(muted), m_capture(std::move(capture))
{
}

bool ModeRules::anyTimerModeActive() const
{
    return m_boxes.timer1->isChecked() || m_boxes.timer2->isChecked() ||
           m_boxes.random->isChecked() || m_boxes.secTimer->isChecked();
}

void ModeRules::inputChanged()
{
    if (m_muted)
        return;
    // In push-button mode the inputs only say which keys the relay listens to, so the
    // timed modes may stay; the temperature mode never combines with the inputs.
    if (!m_boxes.pushButton->isChecked())
        Uncheck({m_boxes.timer1, m_boxes.timer2, m_boxes.random, m_boxes.secTimer});
    Uncheck({m_boxes.temperature});
}

void ModeRules::pushButtonChanged()
{
    // The card evaluates push-button inputs only in the OR link.
    if (m_boxes.pushButton->isChecked())
        m_boxes.orButton->setChecked(true);
    else if (anyTimerModeActive())
        checkboxweg(false);
    m_capture();
}

void ModeRules::timerChanged(bool checked)
{
    if (m_muted || !checked)
        return;
    checkboxweg(true);
    Uncheck({m_boxes.random, m_boxes.secTimer, m_boxes.temperature});
}

void ModeRules::randomChanged(bool checked)
{
    if (m_muted || !checked)
        return;
    checkboxweg(true);
    Uncheck({m_boxes.timer1, m_boxes.timer2, m_boxes.secTimer, m_boxes.temperature});
}

void ModeRules::secTimerChanged(bool checked)
{
    if (m_muted)
        return;
    if (checked)
        checkboxweg(true);
    Uncheck({m_boxes.timer1, m_boxes.timer2, m_boxes.random, m_boxes.temperature});
}

void ModeRules::temperatureChanged(bool checked)
{
    if (m_muted || !checked)
        return;
    checkboxweg(false);
    Uncheck({m_boxes.timer1, m_boxes.timer2, m_boxes.random, m_boxes.secTimer});
}

void ModeRules::repeatChanged(bool checked)
{
    if (checked)
        Uncheck({m_boxes.key});
}

void ModeRules::keyChanged(bool checked)
{
    if (checked)
        Uncheck({m_boxes.repeat});
}

void ModeRules::checkboxweg(bool keepWhenPushButton)
{
    if (m_muted)
        return;
    if (keepWhenPushButton && m_boxes.pushButton->isChecked())
        return;
    for (QCheckBox *input : m_boxes.inputs)
        input->setChecked(false);
    m_boxes.pushButton->setChecked(false);
}

#include "app/buttonaccess.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

namespace {

class ClickingButton : public QAccessibleWidget
{
public:
    ClickingButton(QAbstractButton *button, QAccessible::Role role)
        : QAccessibleWidget(button, role)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        const QAbstractButton *b = button();
        if (b->isCheckable()) {
            s.checkable = true;
            s.checked = b->isChecked();
        }
        s.pressed = b->isDown();
        return s;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        // A name given to the control, else its caption as a person reads it, without the
        // mnemonic's ampersand (the widget's default would name the group box around it).
        QString text = button()->accessibleName();
        if (text.isEmpty()) {
            text = button()->text();
            text.replace(QLatin1String("&&"), QLatin1String("\x01"));
            text.remove(QLatin1Char('&'));
            text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
        }
        return text;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (button()->isEnabled()) {
            // A checkable push button is a button to press that stays down, so both words
            // fit it; a box or a radio button is toggled.
            if (role() == QAccessible::Button)
                names << pressAction();
            if (button()->isCheckable())
                names << toggleAction();
        }
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &name) override
    {
        if (name == pressAction() || name == toggleAction()) {
            if (button()->isEnabled())
                button()->click(); // state change, then clicked: exactly as a mouse click
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    QAbstractButton *button() const { return static_cast<QAbstractButton *>(widget()); }
};

QAccessibleInterface *Factory(const QString &className, QObject *object)
{
    // Asked once per class up the object's hierarchy: answer for its own class only.
    if (!object || !object->isWidgetType() ||
        className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    if (auto *box = qobject_cast<QCheckBox *>(object))
        return new ClickingButton(box, QAccessible::CheckBox);
    if (auto *radio = qobject_cast<QRadioButton *>(object))
        return new ClickingButton(radio, QAccessible::RadioButton);
    if (auto *push = qobject_cast<QPushButton *>(object); push && push->isCheckable())
        return new ClickingButton(push, QAccessible::Button);
    return nullptr;
}

} // namespace

void InstallClickingButtonAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    Q_UNUSED(installed);
}

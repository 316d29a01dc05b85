#pragma once

#include "app/unit1.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimeEdit>

#include <memory>

// Finds a control of the window by its designer name; a missing one ends the test run loudly,
// since every test after it would only report null pointers.
template <typename T> T *Control(QObject *root, const QString &name)
{
    T *control = root->findChild<T *>(name);
    if (!control)
        qFatal("no control %s", qPrintable(name));
    return control;
}

// The window shown offscreen, as a user meets it.
class Window
{
public:
    Window()
    {
        form = std::make_unique<TForm1>();
        form->createTransferDialog();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qFatal("window not exposed");
    }

    QCheckBox *box(const QString &name) const { return Control<QCheckBox>(form.get(), name); }
    QAbstractButton *button(const QString &name) const
    {
        return Control<QAbstractButton>(form.get(), name);
    }
    QLineEdit *edit(const QString &name) const { return Control<QLineEdit>(form.get(), name); }
    QComboBox *list(const QString &name) const { return Control<QComboBox>(form.get(), name); }
    QTimeEdit *picker(const QString &name) const { return Control<QTimeEdit>(form.get(), name); }
    QWidget *widget(const QString &name) const { return Control<QWidget>(form.get(), name); }

    ConfigImage &image() const { return form->configImage(); }

    // A mouse click in the middle of the control, pressed and released over it.
    void click(const QString &name) const
    {
        QAbstractButton *b = button(name);
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, b->rect().center());
    }
    // Selects the relay page as the user does, by its tab.
    void choosePage(int p) const;
    // Shows page p from the image as it stands, which also brings the mode rules to life.
    void show(int p) const;
    // Replaces the field's whole text as a paste does: a text the field's validator refuses
    // changes nothing.
    void paste(const QString &name, const QString &text) const
    {
        QLineEdit *field = edit(name);
        field->selectAll();
        field->insert(text);
    }
    // Types text key by key over the field's whole content.
    void type(const QString &name, const QString &text) const
    {
        QLineEdit *field = edit(name);
        field->setFocus();
        field->selectAll();
        if (text.isEmpty())
            QTest::keyClick(field, Qt::Key_Backspace);
        else
            QTest::keyClicks(field, text);
    }

    std::unique_ptr<TForm1> form;
};

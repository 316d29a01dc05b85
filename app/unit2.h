#pragma once

#include <QDialog>

#include <memory>

class QProgressBar;

namespace Ui {
class TForm2;
}

// "Datenübertragung": tells the user that an upload reached the card.
class TForm2 : public QDialog
{
    Q_OBJECT

public:
    // progressBar: the main window's upload progress, reset when the dialog is dismissed.
    explicit TForm2(QProgressBar *progressBar, QWidget *parent = nullptr);
    ~TForm2() override;

    void reject() override;

private:
    void Button1Click();

    std::unique_ptr<Ui::TForm2> m_ui;
    QProgressBar *m_progressBar = nullptr;
};

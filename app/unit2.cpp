#include "app/unit2.h"

#include "ui_unit2.h"

#include <QProgressBar>

TForm2::TForm2(QProgressBar *progressBar, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TForm2>()), m_progressBar(progressBar)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(286, 127);
    connect(m_ui->Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
}

TForm2::~TForm2() = default;

// Escape dismisses the dialog like "Ok", so the progress bar never stays at its end.
void TForm2::reject()
{
    m_progressBar->setValue(0);
    QDialog::reject();
}

void TForm2::Button1Click()
{
    m_progressBar->setValue(0);
    accept();
}

#include "tests/support/filewindow.h"

#include "app/starterproject.h"

#include <QFile>

QByteArray ImageBytes(const ConfigImage &image)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()), ConfigImage::Size);
}

QByteArray ProjectBytes(const QString &label)
{
    ConfigImage image = StarterImage();
    const QByteArray name = label.toLatin1().leftJustified(ImageOffset::NameSlotSize, '\0');
    std::copy_n(name.constData(), ImageOffset::NameSlotSize,
                image.data() + ImageOffset::nameSlot(0));
    image[ImageOffset::Reserved903] = 0x5A;
    return ImageBytes(image);
}

QByteArray SettingsBytes(int port, const QString &project)
{
    return QByteArray::number(port) + "\r\n" + QFile::encodeName(project) + "\r\nLeer\r\n";
}

bool IsErrorBox(const BoxRecord &box)
{
    return box.caption == QStringLiteral("Zelkora") && box.icon == QMessageBox::Critical &&
           box.buttons == QMessageBox::Ok && box.overWindow && box.text.endsWith(u'.');
}

void FileWindow::restart()
{
    form.reset();
    boxes.clear();
    dialogs.clear();
    start();
}

void FileWindow::create()
{
    form = std::make_unique<TForm1>();
    files().setBoxRunner([this](QMessageBox &box) {
        boxes.append({box.windowTitle(), box.text(), box.icon(), box.standardButtons(),
                      box.parentWidget() == form.get()});
    });
    files().setDialogRunner([this](QFileDialog &dialog) {
        const QStringList offered = dialog.selectedFiles();
        dialogs.append({dialog.objectName(), dialog.directory().absolutePath(),
                        offered.isEmpty() ? QString() : offered.first()});
        const QString answer = answers.isEmpty() ? QString() : answers.dequeue();
        if (answer.isEmpty())
            return false;
        dialog.setResult(QDialog::Rejected); // a folder chosen only opens it, as for a user
        dialog.selectFile(answer);
        // Reached through QDialog, where it is public; QFileDialog's own checks still run.
        static_cast<QDialog &>(dialog).accept();
        return dialog.result() == QDialog::Accepted;
    });
}

void FileWindow::start(bool runFormCreate)
{
    if (!form)
        create();
    if (runFormCreate)
        form->FormCreate();
    form->createTransferDialog();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qFatal("window not exposed");
}

bool FileWindow::close()
{
    return form->close();
}

QByteArray FileWindow::read(const QString &name) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void FileWindow::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(name));
}

QByteArray FileWindow::imageBytes() const
{
    return ImageBytes(form->configImage());
}

QStringList FileWindow::boxTexts() const
{
    QStringList texts;
    for (const BoxRecord &box : boxes)
        texts.append(box.text);
    return texts;
}

void FileWindow::click(const char *name) const
{
    auto *button = control<QAbstractButton>(name);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
}

void FileWindow::type(const char *name, const QString &text) const
{
    auto *field = control<QLineEdit>(name);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
}

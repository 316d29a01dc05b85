#include "tests/support/windowfixture.h"

#include "app/cardlink.h"
#include "app/filecommands.h"
#include "app/starterproject.h"
#include "app/unit2.h"

#include <QFile>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>

namespace {

template <typename T> T &Part(const TForm1 &form)
{
    T *part = form.findChild<T *>();
    if (!part)
        qFatal("window without its %s", T::staticMetaObject.className());
    return *part;
}

} // namespace

Window::Window(Start when) : m_previous(QDir::currentPath())
{
    if (!m_dir.isValid() || !QDir::setCurrent(m_dir.path()))
        qFatal("no working folder");
    if (when == Now)
        start(false);
}

Window::~Window()
{
    form.reset();
    QDir::setCurrent(m_previous);
}

void Window::create()
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

void Window::start(bool runFormCreate)
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

bool Window::close()
{
    return form->close();
}

void Window::restart()
{
    form.reset();
    boxes.clear();
    dialogs.clear();
    start();
}

QLabel *Window::panel(int index) const
{
    return control<QLabel>(QStringLiteral("StatusPanel%1").arg(index));
}

QString Window::statusText() const
{
    return panel(0)->text();
}

CardLink &Window::link() const
{
    return Part<CardLink>(*form);
}

FileCommands &Window::files() const
{
    return Part<FileCommands>(*form);
}

TForm2 &Window::dialog() const
{
    return Part<TForm2>(*form);
}

QByteArray Window::imageBytes() const
{
    return ImageBytes(form->configImage());
}

void Window::click(const QString &name) const
{
    QAbstractButton *b = button(name);
    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, b->rect().center());
}

void Window::choosePage(int p) const
{
    auto *notebook = control<QTabWidget>(QStringLiteral("TabbedNotebook1"));
    QTabBar *tabs = notebook->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(p).center());
    if (notebook->currentIndex() != p)
        qFatal("tab %d not chosen", p);
}

void Window::show(int p) const
{
    auto *notebook = control<QTabWidget>(QStringLiteral("TabbedNotebook1"));
    if (notebook->currentIndex() == p)
        form->outarray();
    else
        choosePage(p);
}

void Window::paste(const QString &name, const QString &text) const
{
    QLineEdit *field = edit(name);
    field->selectAll();
    field->insert(text);
}

void Window::type(const QString &name, const QString &text) const
{
    QLineEdit *field = edit(name);
    field->setFocus();
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, text);
}

QByteArray Window::read(const QString &name) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void Window::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(name));
}

QStringList Window::boxTexts() const
{
    QStringList texts;
    for (const BoxRecord &box : boxes)
        texts.append(box.text);
    return texts;
}

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

#include "tests/support/windowfixture.h"

#include <QTabBar>
#include <QTabWidget>

void Window::choosePage(int p) const
{
    auto *notebook = Control<QTabWidget>(form.get(), QStringLiteral("TabbedNotebook1"));
    QTabBar *tabs = notebook->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(p).center());
    if (notebook->currentIndex() != p)
        qFatal("tab %d not chosen", p);
}

void Window::show(int p) const
{
    auto *notebook = Control<QTabWidget>(form.get(), QStringLiteral("TabbedNotebook1"));
    if (notebook->currentIndex() == p)
        form->outarray();
    else
        choosePage(p);
}

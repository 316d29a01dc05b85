#include "app/starterproject.h"

#include "app/unit1.h"
#include "config/projectfile.h"
#include "ui_unit1.h"

#include <QSignalBlocker>

ConfigImage StarterImage()
{
    TForm1 window;
    QTabWidget *notebook = window.controls().TabbedNotebook1;
    for (int p = 0; p < notebook->count(); ++p) {
        // A page change would show the page from the still empty image over the initial
        // controls; the starter wants those controls themselves on every page.
        {
            const QSignalBlocker block(notebook);
            notebook->setCurrentIndex(p);
        }
        window.inarray();
    }
    return window.configImage();
}

bool WriteStarterProject(const QString &path)
{
    return SaveProjectFile(path, StarterImage()).ok();
}

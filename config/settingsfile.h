#pragma once

#include "config/fileaccess.h"
#include "config/fileerror.h"

#include <QString>

// ini.cfg: three lines, each ended by CR LF when written: the port list index ("COM 1" = 0 to
// "COM 9" = 8, -1 for none), the project file, and "Leer".

struct Settings
{
    static constexpr int PortCount = 9;
    int portIndex = 0;   // entry of the port list to select; -1 = none
    QString projectPath; // empty when the file names none
};

// Reads the first two lines; the third is ignored. CR LF, LF and a lone CR each end a line
// (a file saved with old Mac line ends still reads right); missing lines read as empty. Line 1
// goes through the number rule: empty gives 0, a number outside 0 to 8 gives -1. Line 2 is
// taken whole as the project path. Only the first 8 MiB are looked at. On failure `settings`
// is left as it was.
FileStatus LoadSettingsFile(const QString &path, Settings &settings);

// Line 2 is the bare file name when the project lies in workingDir, else its full path, so a
// project kept in another folder is found again at the next start.
FileStatus SaveSettingsFile(const QString &path, int portIndex, const QString &projectPath,
                            const QString &workingDir, const FileWriter &writer = {});

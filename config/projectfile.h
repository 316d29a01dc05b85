#pragma once

#include "config/fileaccess.h"
#include "config/fileerror.h"

#include <QString>

class ConfigImage;

// The project file (.rel) is the image, 1024 bytes, unchanged.

// Opens the file for reading and writing (so a read-only file is refused with
// "Dateizugriff verweigert"), reads its first 1024 bytes and clears byte 903. All or nothing:
// a file shorter than 1024 bytes fails with ReadPastEnd and the image keeps every byte it had.
// Longer files load their first 1024 bytes.
FileStatus LoadProjectFile(const QString &path, ConfigImage &image);

// Writes the 1024 bytes in place of the old file, which stays as it was when the save fails.
FileStatus SaveProjectFile(const QString &path, const ConfigImage &image,
                           const FileWriter &writer = {});

// The file name without its folder.
QString FileNamePart(const QString &path);
// Status bar panel 0 after a load or save: " Datei : " and the file name.
QString ProjectStatusText(const QString &path);

#pragma once

#include "config/configimage.h"

#include <QString>
#include <QStringList>

#include <vector>

// A project as a person reads it: every field under its relay (or the running lights, or the
// card), with the window's words and units. The same entries serve the listing and the
// differences, so both always name a field the same way.
struct ProjectEntry
{
    QString key;          // stable across files: "relais3.timer1.an"
    QString section;      // "Relais 3 (Heizung)", "Lauflicht", "Karte", "Abweichungen", "Rohdaten"
    QString group;        // "Timer 1"; empty where the field stands alone
    QString field;        // "An"
    QString value;        // "06:30:00"
    QString unit;         // "Sekunden", "°C": follows another field (counter unit, sensor)
    bool marked = false;  // the window cannot show this value as it stands
    bool derived = false; // a deviation entry: a byte that normally follows other fields
    bool deviating = false;
    QString label() const; // "Relais 3 (Heizung), Timer 1, An"
};

// Every field of the image, in the order of the listing. Deviation entries (a derived byte or
// free bits as the file holds them) are included for every place, with `deviating` telling
// whether the file holds something other than the fields imply.
std::vector<ProjectEntry> ProjectEntries(const ConfigImage &image);

// The listing: relay by relay under its label (the section's heading), then the running lights and
// the card; then what deviates and the bytes that no field covers, where they are not zero. Values
// the window cannot show are marked "(!)", with a note at the end.
QString ShowProject(const ConfigImage &image);

// A name as it may stand in a line of text or a picture: a control character (which a name
// slot may hold) written visibly as \x01; the file keeps it byte for byte.
QString VisibleText(const QString &text);

// One line per difference, "Relais 3 (Heizung), Timer 1, An: 06:30:00 → 07:00:00", in the
// order of the listing; bytes that no field covers as "Byte 300: 00 → 12". Empty when equal.
QStringList DiffProjects(const ConfigImage &a, const ConfigImage &b);

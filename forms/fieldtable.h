#pragma once

#include "forms/projectmodel.h"

#include <QString>
#include <QStringList>

#include <vector>

// Every field of a project once: its key (the JSON member and the listing's key), its label in
// the window's words, its kind and its choices. The JSON writer and reader and the listing all
// walk this table, so a field is named the same everywhere and a new one is added in one place.

// Whose field it is: a relay (index 0..7), the running lights' choice, a running-light program
// (index 0..2) or the card.
enum class FieldScope
{
    Relay,
    LightShow,
    Program,
    Card
};

enum class FieldKind
{
    Flag,          // true or false
    Words,         // a bool shown as one of two of the window's words ("OR", "AND")
    Choice,        // a list index: the window's entry, or the byte where it names none
    Number,        // a byte as a number
    Threshold,     // a signed byte as the window reads it (SignedThreshold)
    Time,          // "hh:mm:ss"
    Set,           // bits named "K1".."K8" or "L 2".."L 8"
    Name,          // the text of a name slot
    Tempo,         // the running-light tempo: list entry "1".."10" is the byte 2..11
    ProgramChoice, // byte 222, one-hot: an entry of the program list, else the byte
};

// Where a field's value lives in the model: one of these is set, by the field's kind.
struct FieldSlot
{
    bool *flag = nullptr;         // Flag, Words
    std::uint8_t *byte = nullptr; // Choice, Number, Threshold, Set, Tempo, ProgramChoice
    TimeBytes *time = nullptr;    // Time
    QString *text = nullptr;      // Name
};

struct Field
{
    FieldScope scope;
    const char *group; // key of its group in the record ("timer1"); "" where it stands alone
    const char *key;   // "an"
    const char *label; // "An"
    FieldKind kind;
    FieldSlot (*slot)(ProjectModel &model, int index);
    const QStringList &(*choices)() = nullptr; // Choice, Words
    // Number: what a file may hold, and what the window shows (the listing marks the rest).
    int low = 0, high = 255;
    int shownLow = 0, shownHigh = 255;
    const char *format = "%1"; // Number in the listing: "%1 sec."
    // Flag in the listing; Set and Name where empty.
    const char *yes = "ja", *no = "nein", *empty = "keine";
    // Set: the names "K1".."K8" are prefix + number, bit (number - 1); `fixed` always on.
    const char *prefix = "", *fixed = nullptr;
    int firstNumber = 1, count = 8;
    // The listing's unit where another field decides it ("Minuten", "°C").
    QString (*unit)(const ProjectModel &model, int index) = nullptr;
    // Marked in the listing because of another field: a pair the window never shows.
    bool (*clash)(const ProjectModel &model, int index) = nullptr;
    // The card's fields are listed in the window's order, not the file's.
    int listingRank = 0;
};

// A group of fields in a record ("timer1", "Timer 1"): an object in JSON, a line in the listing.
struct FieldGroup
{
    const char *key;
    const char *label;
};

// The names of a scope: the JSON member holding it, the key and label of its part of the
// listing ("relais%1", "Relais %1": %1 the number counted from 1), and the member that numbers
// a record in JSON ("nummer").
struct ScopeNames
{
    const char *jsonKey;
    const char *listKey;
    const char *label;
    const char *numberKey;
};

const std::vector<Field> &ProjectFields();
std::vector<const Field *> FieldsOf(FieldScope scope);
const FieldGroup &GroupOf(const Field &field); // {"", ""} for a field alone
const ScopeNames &NamesOf(FieldScope scope);

// The value of a field in a model that is only read.
FieldSlot ReadSlot(const Field &field, const ProjectModel &model, int index);

// The lists of the window, by their entries.
namespace ProjectLists {
const QStringList &Days();         // "So" .. "Sa", "Mo-Fr", "Sa-So", "Mo-So"
const QStringList &Sensors();      // "Sensor 1", "Sensor 2", "Sensor 3 T", "Sensor 3 LF"
const QStringList &Programs();     // "Prog 1", "Prog 2", "Prog 3", "schaltbar"
const QStringList &Ranges();       // "1 - 3" .. "1 - 8"
const QStringList &Directions();   // "links", "rechts", "< - >"
const QStringList &Firmware();     // "V 5.x  T", "V 5.x  AT"
const QStringList &CounterUnits(); // "Sekunden", "Minuten"
const QStringList &Views();        // "Timer", "Lauflicht"
const QStringList &Links();        // "OR", "AND"
} // namespace ProjectLists

// The names of a Set field's bits that are on, in order: "K1", "K3" or "L 2".
QStringList SetNames(const Field &field, std::uint8_t bits);

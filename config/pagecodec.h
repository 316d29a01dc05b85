#pragma once

#include "config/configimage.h"

#include <QString>

#include <array>
#include <cstdint>

// Plain data between the editor controls and the image. The window (app/) copies its
// widgets into EditorState and hands it to CapturePage, and applies a PageDisplay produced
// by DisplayPage to its widgets in the order of the display steps.

struct TimeOfDay
{
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const TimeOfDay &) const = default;
};

struct RunningLightProgramState
{
    std::array<bool, 7> channels{}; // "L 2" .. "L 8"; "L 1" is always on
    int tempoIndex = 3;             // list index, -1 = no entry selected
    int rangeIndex = 0;
    int directionIndex = 2;
    QString secondsText = QStringLiteral("5"); // "Ri wechsel nach"
};

// Everything the capture reads from the controls. List indices are -1 when the list has no
// entry selected; numeric fields are kept as their text, the number rule is applied here.
struct EditorState
{
    // relay page controls
    std::array<bool, 8> inputs{};                  // CheckBox2..CheckBox9 ("IF K1".."IF K8")
    bool andSelected = true;                       // RadioButton3 ("AND")
    bool timer1Active = false;                     // CheckBox10
    bool timer2Active = false;                     // CheckBox11
    bool randomActive = false;                     // CheckBox12
    bool secTimerActive = false;                   // CheckBox13
    bool counterInUse = false;                     // CheckBox48
    bool repeat = false;                           // CheckBox14
    bool key = false;                              // CheckBox49
    bool tempActive = false;                       // CheckBox46
    bool pushButton = false;                       // CheckBox47 ("Taster")
    int day1Index = 0;                             // ComboBox2
    int day2Index = 0;                             // ComboBox3
    TimeOfDay timer1On{19, 49, 28};                // DateTimePicker1
    TimeOfDay timer1Off{19, 56, 49};               // DateTimePicker2
    TimeOfDay timer2On{19, 49, 28};                // DateTimePicker3
    TimeOfDay timer2Off{19, 56, 49};               // DateTimePicker4
    TimeOfDay randomStart{19, 56, 0};              // DateTimePicker5
    TimeOfDay randomStop{19, 56, 49};              // DateTimePicker6
    QString counterText = QStringLiteral("10");    // Edit1
    QString onSecondsText = QStringLiteral("6");   // Edit2
    QString offSecondsText = QStringLiteral("33"); // Edit3
    int sensorIndex = 2;                           // ComboBox15
    QString pullInText = QStringLiteral("20");     // Edit7 ("Anzug <")
    QString dropOutText = QStringLiteral("22");    // Edit8 ("Abfall >")

    // global controls
    int programIndex = 0; // ComboBox4
    std::array<RunningLightProgramState, 3> programs{};
    std::array<bool, 8> powerUp{};        // CheckBox1, CheckBox39..CheckBox45
    int counterUnitIndex = 0;             // ComboBox18
    int firmwareIndex = 0;                // ComboBox17
    int offset1Index = 0;                 // ComboBox14
    int offset2Index = 0;                 // ComboBox16
    std::array<QString, 8> relayLabels{}; // Edit9..Edit16
    QString cardName;                     // Edit17
};

// Texts of the window that follow from a capture.
struct CaptureTexts
{
    QString diagnosticLabel; // Label8: byte 0, three blanks, byte 1
    QString unitLabel;       // Label34 and Label35: "°C" or "%rLF"
    std::array<QString, 8> tabCaptions;
    QString cardStatusText; // status panel 1: " Relaiskarte : " + name
};

// The capture: writes every byte and bit the capture owns for relay page p (0 to 7) and the
// global bytes, in the order of the capture steps. Bytes it does not own keep their values:
// 216-221, 238-243, 249-255, 288-511, 656-903, 910-919, 936-1023, bits 6-7 of the mode bytes,
// bits 3-7 of 128+3p, bits 2-7 of 152+8p, bits 1-7 of 256+4p, bits 0 and 3-7 of 244, and every
// per-relay byte of the other pages. Left to the window: the CaptureEnabled guard and the
// forced "OR" after "Taster" (the image follows that at the next capture).
CaptureTexts CapturePage(ConfigImage &image, int p, const EditorState &state);

// The capture of what changed since the controls showed the image as `shownImage` and stood
// at `shown` (the last display or capture of this page). A control the user changed writes
// its bytes as CapturePage does, whole where the byte is its alone and bit by bit where it
// shares the byte; so does one whose bytes changed in the image since (an editor rule wrote
// them). Every other byte keeps its value: one that no control can show (a time of 25:61, a
// day choice of 12, an offset of 10), the bytes derived from it and the bits no control owns
// stay as they were until the user changes that control.
CaptureTexts CaptureChanges(ConfigImage &image, int p, const EditorState &shown,
                            const ConfigImage &shownImage, const EditorState &now);

// Time of day as the pickers hand it to the capture, read back through its hh:mm:ss text.
// Values that are no time of day give 00:00:00.
TimeOfDay SplitTime(const TimeOfDay &time);

struct RunningLightProgramDisplay
{
    std::array<bool, 7> channels{};
    int tempoIndex = -1;
    int rangeIndex = -1;
    int directionIndex = -1;
    QString secondsText;
    bool operator==(const RunningLightProgramDisplay &) const = default;
};

// Control values of one display, one field per display step; list indices are -1 where the
// byte names no entry of the list.
struct PageDisplay
{
    bool pushButton = false;      // step 3
    std::array<bool, 8> inputs{}; // step 4
    bool andSelected = false;     // step 5
    bool timer1Active = false, timer2Active = false, randomActive = false,
         secTimerActive = false;           // step 6
    bool counterInUse = false;             // step 7
    int day1Index = -1;                    // step 8
    TimeOfDay timer1On, timer1Off;         // steps 9, 10
    int day2Index = -1;                    // step 11
    TimeOfDay timer2On, timer2Off;         // steps 12, 13
    bool repeat = false, key = false;      // step 14: never both ("key" is shown last and wins)
    QString onSecondsText, offSecondsText; // step 15
    QString counterText;                   // step 16
    TimeOfDay randomStart, randomStop;     // step 17
    int programIndex = -1;                 // step 18
    std::array<RunningLightProgramDisplay, 3> programs; // steps 19 to 21
    bool tempActive = false;                            // step 22
    int sensorIndex = -1;                               // step 24
    QString pullInText, dropOutText;                    // step 25
    bool runningLightView = false;                      // step 26
    int counterUnitIndex = 0;                           // step 27
    int firmwareIndex = 0;                              // step 28
    int offset1Index = -1, offset2Index = -1;           // step 29
    std::array<QString, 8> relayLabels;                 // step 30: empty = keep what is shown
    QString cardName;                                   // step 31: never empty ("Relaiskarte")
    std::array<bool, 8> powerUp{};                      // byte 247, shown by every display
    bool operator==(const PageDisplay &) const = default;
};

// The display of relay page p. Number texts are the unsigned byte, uncorrected: the window's
// field rules bring them into range. Never read: the day bytes 16+14p and 23+14p (the lists
// come from 920+2p and 921+2p), the one-hot bytes 225, 226, 230, 231, 235, 236 (the lists come
// from 904 to 909), bit 0 of 128+3p and of 152+8p (the mode byte has them), bit 5 of the mode
// byte and byte 248 ("key" comes from bit 2 of 128+3p), bit 0 of 223, 228, 233 ("L 1" is fixed),
// and every byte the capture does not own.
PageDisplay DisplayPage(const ConfigImage &image, int p);

// Time of day from three image bytes; bytes that form no time of day give 00:00:00.
TimeOfDay JoinTime(std::uint8_t hour, std::uint8_t minute, std::uint8_t second);
bool IsTimeOfDay(std::uint8_t hour, std::uint8_t minute, std::uint8_t second);

// Name slots hold Windows-1252 text, at most 16 characters, zero-filled; characters it cannot
// represent are stored as '?'. Reading stops at the first zero byte; an undefined byte reads
// as U+FFFD.
void WriteNameSlot(ConfigImage &image, int slot, const QString &text);
QString ReadNameSlot(const ConfigImage &image, int slot);

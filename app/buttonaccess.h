#pragma once

// Makes assistive technology act on the window's buttons as a person's click does. Qt's own
// accessible check box, radio button and checkable push button offer only "Toggle", which
// flips the state without a click: the capture after the click and the view switches, which
// follow the click, would never run, and edits made with a screen reader would be lost at
// the next page change. Installed once, before the first button is asked for its interface.
void InstallClickingButtonAccessibility();

// The error results of the user-interface services, apart so that the layout reader returns
// them without the services it serves.
#pragma once

// Error results of the services (negative).
constexpr int UIE_BAD_HANDLE = -1;
constexpr int UIE_BAD_CONTROL = -2;
constexpr int UIE_FILE = -3;      // layout file missing or malformed
constexpr int UIE_RESOURCE = -4;  // no panel / menu bar of that number in the file
constexpr int UIE_CALLBACK = -5;  // a callback name of the layout is not bound
constexpr int UIE_TYPE = -6;      // value of the wrong kind for the control
constexpr int UIE_ATTRIBUTE = -7; // attribute not known
constexpr int UIE_INDEX = -8;     // list index or value out of range
constexpr int UIE_DIMMED = -9;    // operator action on a dimmed control

// The virtual-key code of a key press, as the window's key handler reads it. Letter keys give
// their upper-case letter (0x41..0x5A) whatever the keyboard layout, so that P and R also work
// while a Cyrillic or Greek layout is active.
#pragma once

#include <cstdint>
#include <functional>

class QKeyEvent;

// What the platform tells about a key beyond Qt's key code.
struct KeyboardSource {
    // The native virtual key of a key event is the virtual-key code itself (Windows).
    bool nativeVirtualKeys = false;
    // The upper-case letter that the key with this native scan code carries in the first Latin
    // group of the keyboard layout, or 0. Empty where the platform has no keyboard map to ask.
    std::function<char(uint32_t nativeScanCode)> latinLetterOnKey;
};

// The running platform's source: native virtual keys on Windows, the keyboard map on X11.
KeyboardSource PlatformKeyboard();

// Modifiers are not looked at: Shift+P, Ctrl+P and Alt+P are all P.
int VirtualKeyOf(const QKeyEvent& event, const KeyboardSource& source);

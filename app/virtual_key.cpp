#include "app/virtual_key.h"

#include <QGuiApplication>
#include <QKeyEvent>

#ifdef TARV_X11_KEYBOARD
#include "platform/x11_keyboard.h"
#endif

namespace {
// A character key of a script other than Latin (Cyrillic, Greek, ...). Qt names the keys of a
// Latin layout by their Latin-1 code, and keys without a character from 0x01000000 on.
bool IsKeyOfAnotherScript(int key)
{
    return key > 0xFF && key < Qt::Key_Escape;
}
}  // namespace

KeyboardSource PlatformKeyboard()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == "windows") return {.nativeVirtualKeys = true, .latinLetterOnKey = {}};
#ifdef TARV_X11_KEYBOARD
    if (platform == "xcb") return {.nativeVirtualKeys = false, .latinLetterOnKey = &platform::LatinLetterOnX11Key};
#endif
    return {};
}

int VirtualKeyOf(const QKeyEvent& event, const KeyboardSource& source)
{
    // Synthesized events carry no native key; Qt's own code stands in for it.
    if (source.nativeVirtualKeys && event.nativeVirtualKey() != 0) return static_cast<int>(event.nativeVirtualKey());
    // Qt's codes for Latin letters are their upper-case character codes, like the virtual keys.
    const int key = event.key();
    if (IsKeyOfAnotherScript(key) && source.latinLetterOnKey) {
        if (const char letter = source.latinLetterOnKey(event.nativeScanCode())) return letter;
    }
    return key;
}

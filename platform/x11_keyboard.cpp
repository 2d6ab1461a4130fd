#include "platform/x11_keyboard.h"

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <QGuiApplication>
#include <memory>

namespace platform {
namespace {
// Keysyms 0x20..0xFF are the Latin-1 characters themselves.
constexpr xkb_keysym_t kLastLatin1Keysym = 0xFF;
// The map comes from the server ready made: no layout files to look for.
constexpr auto kNoLayoutFiles =
    static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES);

char UpperCaseLetter(xkb_keysym_t keysym)
{
    if (keysym >= XKB_KEY_a && keysym <= XKB_KEY_z) return static_cast<char>('A' + (keysym - XKB_KEY_a));
    if (keysym >= XKB_KEY_A && keysym <= XKB_KEY_Z) return static_cast<char>(keysym);
    return 0;
}

bool SetUpKeyboardExtension(xcb_connection_t* connection)
{
    // Qt has done this on its connection already; the library asks every client to say so itself.
    return xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                       XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr) == 1;
}
}  // namespace

char LatinLetterOnKey(xkb_keymap* keymap, uint32_t keycode)
{
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, keycode);
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        const xkb_keysym_t* keysyms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, 0, &keysyms) != 1) continue;
        if (keysyms[0] <= kLastLatin1Keysym) return UpperCaseLetter(keysyms[0]);
    }
    return 0;
}

char LatinLetterOnX11Key(uint32_t keycode)
{
    const auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) return 0;
    static const bool extensionReady = SetUpKeyboardExtension(connection);
    const int32_t device = extensionReady ? xkb_x11_get_core_keyboard_device_id(connection) : -1;
    if (device < 0) return 0;

    const std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(xkb_context_new(kNoLayoutFiles),
                                                                             &xkb_context_unref);
    if (!context) return 0;
    // Read at each look-up, so a change of the user's layouts is seen at the next key.
    const std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
        xkb_x11_keymap_new_from_device(context.get(), connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS),
        &xkb_keymap_unref);
    return keymap ? LatinLetterOnKey(keymap.get(), keycode) : 0;
}

}  // namespace platform

// The X server's keyboard map, asked which Latin letter a key carries while the active layout
// types another script.
#pragma once

#include <cstdint>

struct xkb_keymap;

namespace platform {

// The upper-case letter (A..Z) on `keycode` at the first level of the first layout group of
// `keymap` that has a Latin-1 symbol there; 0 when that symbol is not a letter or no group has one.
char LatinLetterOnKey(xkb_keymap* keymap, uint32_t keycode);

// The same on the X server's keyboard map as it is now; 0 when the program does not run on X11.
char LatinLetterOnX11Key(uint32_t keycode);

}  // namespace platform

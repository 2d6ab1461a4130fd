// The device watch's rules: when the adapter counts as gone, how a new one is found, and how the
// product on the encoder is recognised and loaded on first sight.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace commands {

// The watch ticks every 500 ms while a port is in use and every 3000 ms while none is.
inline constexpr int kWatchIntervalWithPortMs = 500;
inline constexpr int kWatchIntervalWithoutPortMs = 3000;
// How long READ and PROG wait for a half-done tick to finish.
inline constexpr uint32_t kWatchIdleWaitMs = 5000;

// The next tick's interval, from whether a port is in use now.
int WatchIntervalMs();

// A presence answer below 3 means the adapter is gone: the record is cleared and `search` looks
// for it again. True when a port is in use afterwards.
bool KeepAdapter(const std::function<void()>& search);
// The same rule without the window's memory copy: nothing is cleared before `search`.
bool KeepAdapterPort(const std::function<void()>& search);

// The window's search: every listed port in order, and a newly found adapter blinked (whose
// pauses process window messages).
void SearchAndBlink();

// The model whose four-byte name this is; -1 for a name that matches none (a blank one too).
int ProductModelOfName(std::span<const uint8_t, 4> name);

struct ProductSighting {
    int model = -1;           // index into kProductModelNames; -1 when the name matched none
    bool firstSight = false;  // no product flag was set before this sighting
    bool nameRead = false;    // false when the read failed: no encoder answered
};

// Reads the product name from the encoder and sets the flag of the model it equals; a name that
// equals none clears the record and the flags.
ProductSighting SightProduct();

// On a first sight the whole memory is read; true when it was.
bool LoadOnFirstSight(const ProductSighting& sighting);

}  // namespace commands

#include "commands/device_watch.h"

#include <algorithm>
#include <array>

#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace commands {

namespace {
bool AnyFamilyFlagSet()
{
    const auto& flags = DeviceModel.ProductFamilyFlags;
    return std::any_of(flags.begin(), flags.end(), [](uint8_t flag) { return flag != 0; });
}
}  // namespace

int WatchIntervalMs()
{
    return SerialChannel.portName.empty() ? kWatchIntervalWithoutPortMs : kWatchIntervalWithPortMs;
}

bool KeepAdapter(const std::function<void()>& search)
{
    return KeepAdapterPort([&search] {
        ClearDeviceModel();
        search();
    });
}

bool KeepAdapterPort(const std::function<void()>& search)
{
    if (PingAdapter() >= kAdapterStillThere) return true;
    search();
    return !SerialChannel.portName.empty();
}

void SearchAndBlink()
{
    if (ScanForAdapter()) BlinkAdapter(2, 20);
}

int ProductModelOfName(std::span<const uint8_t, 4> name)
{
    for (int model = 0; model < kProductModelCount; ++model)
        if (std::equal(name.begin(), name.end(), kProductModelNames[model])) return model;
    return -1;
}

ProductSighting SightProduct()
{
    // A failed read has been reported and leaves the zeros, which match no model.
    std::array<uint8_t, 4> name{};
    ProductSighting sighting{-1, !AnyFamilyFlagSet()};
    sighting.nameRead = ReadEepromBlock(eeprom::format2::kProductName, static_cast<uint8_t>(name.size()), name) == 1;
    sighting.model = ProductModelOfName(name);
    if (sighting.model >= 0)
        DeviceModel.ProductFamilyFlags[sighting.model] = 1;
    else
        ClearDeviceModel();
    return sighting;
}

bool LoadOnFirstSight(const ProductSighting& sighting)
{
    return sighting.model >= 0 && sighting.firstSight && ReadDeviceImage() == 1;
}

}  // namespace commands

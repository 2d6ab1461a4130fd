// The Win32 host apart from the port list: the line settings it writes, the version record and
// icon that the programs carry, and ports that do not open.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstring>

#include "e2e/system_host_support.h"
#include "platform/win32_serial.h"

namespace {

TEST(Win32LineSettingsTest, SetsThe19200Baud8N2FieldsClearsEveryFlagAndKeepsTheRest)
{
    // The bit fields share one DWORD right after BaudRate.
    constexpr size_t kFlagsOffset = offsetof(DCB, BaudRate) + sizeof(DWORD);
    static_assert(offsetof(DCB, wReserved) == kFlagsOffset + sizeof(DWORD));

    for (const BYTE fill : {0x00, 0xFF, 0xA5}) {
        SCOPED_TRACE(testing::Message() << "record filled with " << int(fill));
        DCB dcb;
        std::memset(&dcb, fill, sizeof dcb);
        DCB before = dcb;

        platform::ApplyLineSettings(dcb);

        EXPECT_EQ(dcb.BaudRate, 19200u);
        EXPECT_EQ(int(dcb.ByteSize), 8);
        EXPECT_EQ(int(dcb.Parity), NOPARITY);
        EXPECT_EQ(int(dcb.StopBits), TWOSTOPBITS);
        DWORD flags = 1;
        std::memcpy(&flags, reinterpret_cast<const BYTE*>(&dcb) + kFlagsOffset, sizeof flags);
        EXPECT_EQ(flags, 0u);
        // Everything else as read: the limits, the special characters, the reserved fields.
        before.BaudRate = dcb.BaudRate;
        std::memcpy(reinterpret_cast<BYTE*>(&before) + kFlagsOffset, &flags, sizeof flags);
        before.ByteSize = dcb.ByteSize;
        before.Parity = dcb.Parity;
        before.StopBits = dcb.StopBits;
        EXPECT_EQ(std::memcmp(&before, &dcb, sizeof dcb), 0);
    }
}

TEST(Win32SystemHostTest, VersionStringIsTheFileVersionOfTheProgramsOwnRecord)
{
    RecordingSystemHost host;
    EXPECT_EQ(host.VersionString(), TARV_EXPECTED_VERSION);
}

TEST(Win32SystemHostTest, ProgramIconLoadsAtEverySizeItHolds)
{
    // The icon file holds PNG images, which Windows reads only from Vista on: make sure each
    // size decodes, not just that the resource is there.
    for (const int size : {16, 24, 32, 48, 64, 256}) {
        SCOPED_TRACE(size);
        const auto icon =
            static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        EXPECT_EQ(bitmap.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST(Win32SystemHostTest, PortsThatDoNotExistDoNotOpen)
{
    RecordingSystemHost host;
    for (const char* name : {"COM251", "TARVNOSUCHPORT"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(host.OpenSerial(name), nullptr);
    }
}

}  // namespace

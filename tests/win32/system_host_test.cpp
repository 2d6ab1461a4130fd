// The Win32 host apart from the port list: the line settings it writes, the version record and
// icon that the programs carry, and ports that do not open.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <string>

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
        const platform::OpenedPort opened = host.OpenSerial(name);
        EXPECT_EQ(opened.port, nullptr);
        EXPECT_EQ(opened.failure, platform::PortOpenFailure::NotFound);
    }
}

// "\\.\" reaches files and other devices too: only a character device with line settings is a
// port, and a file named as one keeps its bytes.
TEST(Win32SystemHostTest, AFileOrADeviceThatIsNoSerialPortIsRefused)
{
    char folder[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
    const std::string file = std::string(folder) + "tarv-not-a-port.bin";
    const std::string content = "the first bytes of a file that is no port";
    const HANDLE created =
        CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(created, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(created);

    RecordingSystemHost host;
    for (const std::string& name : {file, std::string("NUL")}) {
        SCOPED_TRACE(name);
        const platform::OpenedPort opened = host.OpenSerial(name);
        EXPECT_EQ(opened.port, nullptr);
        EXPECT_EQ(opened.failure, platform::PortOpenFailure::NotSerial);
    }

    std::string after(content.size() + 8, '\0');
    const HANDLE reading = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reading, INVALID_HANDLE_VALUE);
    DWORD got = 0;
    ReadFile(reading, after.data(), static_cast<DWORD>(after.size()), &got, nullptr);
    CloseHandle(reading);
    DeleteFileA(file.c_str());
    EXPECT_EQ(after.substr(0, got), content);
}

}  // namespace

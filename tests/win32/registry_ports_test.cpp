// The Windows port list against a registry of the test's own: HKEY_LOCAL_MACHINE is redirected to
// a scratch key under HKEY_CURRENT_USER for the test process, so the listing reads the values the
// test wrote, on Windows and under wine alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32_api.h"

#include "e2e/system_host_support.h"

namespace {

// Value data as the registry stores it: the bytes of UTF-16 text, a terminating null only when
// the text has one.
std::vector<BYTE> Utf16Bytes(const std::wstring& text)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(text.data());
    return {bytes, bytes + text.size() * sizeof(wchar_t)};
}

std::vector<BYTE> Utf16z(const std::wstring& text)
{
    return Utf16Bytes(text + L'\0');
}

class RegistryPortsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One scratch key per process: CTest may run two of these tests at once.
        scratchPath = L"Software\\TarvConfiguratorTests\\" + std::to_wstring(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, scratchPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &machine, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine), ERROR_SUCCESS);
    }

    void TearDown() override
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RemoveSerialComm();
        if (machine != nullptr) RegCloseKey(machine);
        RegDeleteTreeW(HKEY_CURRENT_USER, scratchPath.c_str());
    }

    // Adds a value to HARDWARE\DEVICEMAP\SERIALCOMM of the redirected machine hive. Values go in
    // in name order: Windows lists them in the order they were written, wine sorted by name,
    // so the tests see one order on both.
    void AddValue(const std::wstring& name, const std::vector<BYTE>& data, DWORD type = REG_SZ)
    {
        if (serialComm == nullptr) {
            ASSERT_EQ(RegCreateKeyExW(machine, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, 0, KEY_ALL_ACCESS,
                                      nullptr, &serialComm, nullptr),
                      ERROR_SUCCESS);
        }
        ASSERT_EQ(RegSetValueExW(serialComm, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    void RemoveSerialComm()
    {
        if (serialComm != nullptr) RegCloseKey(serialComm);
        serialComm = nullptr;
        if (machine != nullptr) RegDeleteTreeW(machine, L"HARDWARE");
    }

    std::wstring scratchPath;
    HKEY machine = nullptr;
    HKEY serialComm = nullptr;
    RecordingSystemHost host;
};

TEST_F(RegistryPortsTest, ListsTheDataOfEveryValueInTheRegistrysOrder)
{
    AddValue(L"\\Device\\Serial0", Utf16z(L"COM3"));
    AddValue(L"\\Device\\Serial1", Utf16z(L"COM10"));
    AddValue(L"\\Device\\VCP0", Utf16z(L"COM4"));

    const platform::PortListing listing = host.ListPorts();

    EXPECT_EQ(listing.names, (std::vector<std::string>{"COM3", "COM10", "COM4"}));
    EXPECT_FALSE(listing.failed);
}

TEST_F(RegistryPortsTest, TakesTheTextUpToItsFirstNullOrTheDataSize)
{
    // REG_BINARY for data without a null: wine appends one to REG_SZ data that lacks it.
    struct Case {
        const char* what;
        std::vector<BYTE> data;
        DWORD type;
        std::string name;
    };
    std::vector<BYTE> oddSize = Utf16Bytes(L"COM8");
    oddSize.push_back('x');
    const std::wstring longest(128, L'P');  // fills the 256-byte buffer, no room for a null
    const std::vector<Case> cases = {
        {"terminated", Utf16z(L"COM5"), REG_SZ, "COM5"},
        {"no terminating null", Utf16Bytes(L"COM7"), REG_BINARY, "COM7"},
        {"text after the null", Utf16Bytes(std::wstring(L"COM6\0junk", 9)), REG_BINARY, "COM6"},
        {"odd byte count", oddSize, REG_BINARY, "COM8"},
        {"256 bytes without null", Utf16Bytes(longest), REG_BINARY, std::string(128, 'P')},
        {"empty", {}, REG_SZ, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AddValue(L"\\Device\\Port", c.data, c.type);  // replaces the previous case's value

        const platform::PortListing listing = host.ListPorts();

        EXPECT_EQ(listing.names, std::vector<std::string>{c.name});
        EXPECT_FALSE(listing.failed);
    }
}

TEST_F(RegistryPortsTest, AMissingKeyFailsWithNoNames)
{
    const platform::PortListing listing = host.ListPorts();

    EXPECT_TRUE(listing.names.empty());
    EXPECT_TRUE(listing.failed);
}

TEST_F(RegistryPortsTest, AValueTooLongForTheBuffersEndsTheListingWithWhatWasRead)
{
    // Room for a value name of 255 characters and its null, and for 256 bytes of data.
    struct Case {
        const char* what;
        size_t nameLength;
        size_t dataChars;  // UTF-16 characters, the null included
        bool fits;
    };
    const std::vector<Case> cases = {
        {"name of 255 characters", 255, 5, true},
        {"name of 256 characters", 256, 5, false},
        {"256 bytes of data", 9, 128, true},
        {"258 bytes of data", 9, 129, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The long value sorts between the other two.
        std::wstring name = L"\\Device\\B";
        name.resize(c.nameLength, L'x');
        std::wstring text = L"COM2";
        text.resize(c.dataChars - 1, L' ');
        RemoveSerialComm();
        AddValue(L"\\Device\\A", Utf16z(L"COM1"));
        AddValue(name, Utf16z(text));
        AddValue(L"\\Device\\C", Utf16z(L"COM3"));

        const platform::PortListing listing = host.ListPorts();

        const std::vector<std::string> expected =
            c.fits ? std::vector<std::string>{"COM1", std::string(text.begin(), text.end()), "COM3"}
                   : std::vector<std::string>{"COM1"};
        EXPECT_EQ(listing.names, expected);
        EXPECT_EQ(listing.failed, !c.fits);
    }
}

}  // namespace

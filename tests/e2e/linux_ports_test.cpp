// The Linux port list against a sysfs-like folder, and port names that must not reach outside
// the device folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "e2e/system_host_support.h"
#include "link/Procedure_Tarv_Config.h"
#include "model/Spremenljivke_Tarv_Config.h"

namespace {
namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path) << text;
}

TEST(LinuxPortsTest, ListsTtysWithADeviceExceptEmptyUartSlots)
{
    TempDir root;
    ASSERT_FALSE(root.path().empty());
    const fs::path sys = root.path() / "tty";
    fs::create_directories(root.path() / "devices" / "usb1");
    fs::create_directories(sys / "ttyUSB0" / "device");
    fs::create_directories(sys / "ttyACM0");
    fs::create_directory_symlink(root.path() / "devices" / "usb1", sys / "ttyACM0" / "device");  // as sysfs has it
    fs::create_directories(sys / "ttyS0" / "device");
    WriteFile(sys / "ttyS0" / "type", "4\n");  // a 16550A behind the slot
    fs::create_directories(sys / "ttyS1" / "device");
    WriteFile(sys / "ttyS1" / "type", "0\n");  // a slot with no UART
    fs::create_directories(sys / "tty0");      // a virtual console: no device
    fs::create_directories(sys / "ptmx");
    WriteFile(sys / "ptmx" / "dev", "5:2\n");

    RecordingSystemHost host({.sysClassTty = sys.string(), .devDir = "/nonexistent"});
    platform::PortListing listing = host.ListPorts();

    std::sort(listing.names.begin(), listing.names.end());  // the folder's order is the file system's
    EXPECT_EQ(listing.names, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0"}));
    EXPECT_FALSE(listing.failed);
}

TEST(LinuxPortsTest, AFolderThatCannotBeReadFailsTheListing)
{
    TempDir root;
    ASSERT_FALSE(root.path().empty());
    WriteFile(root.path() / "plain-file", "");
    for (const fs::path& sys : {root.path() / "missing", root.path() / "plain-file"}) {
        SCOPED_TRACE(sys.string());
        RecordingSystemHost host({.sysClassTty = sys.string(), .devDir = "/nonexistent"});
        const platform::PortListing listing = host.ListPorts();
        EXPECT_TRUE(listing.names.empty());
        EXPECT_TRUE(listing.failed);
    }
}

TEST(LinuxPortsTest, OpenSerialTakesOnlyPlainNamesInTheDeviceFolder)
{
    // Each refused name but the empty one leads to a file: only the name check stops it there.
    TempDir root;
    ASSERT_FALSE(root.path().empty());
    const fs::path dev = root.path() / "dev";
    fs::create_directories(dev / "sub");
    WriteFile(root.path() / "outside", "");
    WriteFile(dev / "sub" / "port", "");
    RecordingSystemHost host({.sysClassTty = "/nonexistent", .devDir = dev.string()});

    const std::vector<std::string> refused = {"", "../outside", "sub/port", std::string("ttyPLAIN\0x", 10)};
    for (const std::string& name : refused) {
        SCOPED_TRACE("name '" + name + "'");
        EXPECT_EQ(host.OpenSerial(name).port, nullptr);
    }
}

// Only a terminal device is a port: a file, /dev/null (a character device, but no tty), a folder,
// a FIFO and a name that leads nowhere are refused, with the reason, and nothing is written.
TEST(LinuxPortsTest, OnlyATerminalDeviceOpensAndNothingElseIsWritten)
{
    TempDir root;
    ASSERT_FALSE(root.path().empty());
    const fs::path dev = root.path() / "dev";
    const fs::path sys = root.path() / "tty";
    fs::create_directories(dev / "ttyFOLDER");
    const std::string content = "keep these bytes as they are";
    WriteFile(dev / "ttyFILE", content);
    fs::create_symlink("/dev/null", dev / "ttyNULL");
    ASSERT_EQ(mkfifo((dev / "ttyFIFO").c_str(), 0600), 0);
    // The window lists them all, as a sysfs entry with a device would.
    for (const char* name : {"ttyFILE", "ttyNULL", "ttyFOLDER", "ttyFIFO", "ttyGONE"})
        fs::create_directories(sys / name / "device");
    RecordingSystemHost host({.sysClassTty = sys.string(), .devDir = dev.string()});

    struct Case {
        const char* name;
        platform::PortOpenFailure failure;
    };
    using enum platform::PortOpenFailure;
    for (const Case c : {Case{"ttyFILE", NotSerial}, Case{"ttyNULL", NotSerial}, Case{"ttyFOLDER", NotSerial},
                         Case{"ttyFIFO", NotSerial}, Case{"ttyGONE", NotFound}}) {
        SCOPED_TRACE(c.name);
        const platform::OpenedPort opened = host.OpenSerial(c.name);
        EXPECT_EQ(opened.port, nullptr);
        EXPECT_EQ(opened.failure, c.failure);
    }

    // The window's search tries each listed name and writes into none of them.
    const platform::ScopedHost installed(host);
    EXPECT_FALSE(ScanForAdapter());
    EXPECT_FALSE(PortIsOpen());
    EXPECT_EQ(PortList.size(), 5u);
    EXPECT_EQ(LastOpenFailure(), platform::PortOpenFailure::NotSerial);  // ttyNULL, the last in order
    std::ifstream file(dev / "ttyFILE", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), content);
    EXPECT_TRUE(host.messages.empty());
    PortList.clear();
}

TEST(LinuxPortsTest, LongAndNonAsciiNamesThatNameNoDeviceDoNotOpen)
{
    TempDir root;
    ASSERT_FALSE(root.path().empty());
    RecordingSystemHost host({.sysClassTty = "/nonexistent", .devDir = root.path().string()});
    platform::ScopedHost installed(host);
    for (const std::string& name : {std::string(300, 'X'), std::string("ttyUSB\xC3\xA9"), std::string()}) {
        SCOPED_TRACE(name.size());
        EXPECT_EQ(TryPort(name), -2);
        EXPECT_EQ(SerialChannel.portName, "");
    }
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace

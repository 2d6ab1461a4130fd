// The Linux port list against a sysfs-like folder, and port names that must not reach outside
// the device folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

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
    // Each refused name but the empty one leads to a file that would open: only the name check stops it.
    TempDir root;
    ASSERT_FALSE(root.path().empty());
    const fs::path dev = root.path() / "dev";
    fs::create_directories(dev / "sub");
    WriteFile(root.path() / "outside", "");
    WriteFile(dev / "sub" / "port", "");
    WriteFile(dev / "ttyPLAIN", "");
    RecordingSystemHost host({.sysClassTty = "/nonexistent", .devDir = dev.string()});

    const std::vector<std::string> refused = {"", "../outside", "sub/port", std::string("ttyPLAIN\0x", 10)};
    for (const std::string& name : refused) {
        SCOPED_TRACE("name '" + name + "'");
        EXPECT_EQ(host.OpenSerial(name), nullptr);
    }
    // A file that is no tty refuses every line setting, and still opens: the adapter's answer decides.
    EXPECT_NE(host.OpenSerial("ttyPLAIN"), nullptr);
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

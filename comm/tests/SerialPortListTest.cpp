// The port list on a prepared tree of devices and sysfs laid out as Linux lays them out, and on
// this machine's own devices.

#include "comm/SerialPortList.h"
#include "testsupport/ScratchFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// A file with `text`, its folders made as needed.
void Put(const fs::path& file, const std::string& text = "") {
    fs::create_directories(file.parent_path());
    test_files::WriteText(file, text);
}

// A symbolic link at `link` to `target`, its folders made as needed.
void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

// One device as sysfs `sys` shows it: the bus it is on and the driver bound to it.
void SysDevice(const fs::path& sys, const fs::path& device, const std::string& bus,
               const std::string& driver) {
    fs::create_directories(device);
    Link(device / "subsystem", sys / "bus" / bus);
    Link(device / "driver", sys / "bus" / bus / "drivers" / driver);
}

#ifdef __linux__
TEST(SerialPortList, DescribesEachPortFromSysfsWithItsStableNames) {
    const test_files::ScratchDir root;
    const fs::path top = fs::canonical(root.Path());
    const fs::path dev = top / "dev";
    const fs::path sys = top / "sys";
    const fs::path byId = dev / "serial" / "by-id";
    for (const char* node : {"ttyUSB0", "ttyUSB2", "ttyUSB10", "ttyACM0", "ttyS0", "ttyS1",
                             "ttyXR0", "tty0", "null"}) {
        Put(dev / node);
    }
    // Two names of one FTDI adapter, a device of an unusual name known only by its stable
    // name, and a stale link to an adapter that is gone.
    Link(byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
    Link(byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0-alias", "../../ttyUSB0");
    Link(byId / "usb-Exar_XR21V1410-if00", "../../ttyXR0");
    Link(byId / "usb-Gone_Adapter-if00-port0", "../../ttyUSB9");

    // The FTDI adapter: a USB device with its product name, the tty below its interface.
    const fs::path ftdi = sys / "devices/pci0/usb1/1-1";
    Put(ftdi / "idVendor", "0403\n");
    Put(ftdi / "product", "FT232R USB UART\n");
    Put(ftdi / "manufacturer", "FTDI\n");
    SysDevice(sys, ftdi / "1-1:1.0", "usb", "ftdi_sio");
    SysDevice(sys, ftdi / "1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
    Link(sys / "class/tty/ttyUSB0/device", ftdi / "1-1:1.0/ttyUSB0");
    // A modem-class board that names only its maker; the tty hangs on the interface itself.
    const fs::path acm = sys / "devices/pci0/usb1/1-2";
    Put(acm / "idVendor", "2341\n");
    Put(acm / "manufacturer", "Arduino (www.arduino.cc)\n");
    SysDevice(sys, acm / "1-2:1.0", "usb", "cdc_acm");
    Link(sys / "class/tty/ttyACM0/device", acm / "1-2:1.0");
    // A UART: the kernel's serial port devices between the tty and the hardware, whose driver
    // is the one that counts. ttyS1 has no UART behind it.
    const fs::path uart = sys / "devices/pnp0/00:00";
    SysDevice(sys, uart, "pnp", "serial");
    SysDevice(sys, uart / "00:00:0", "serial-base", "ctrl");
    SysDevice(sys, uart / "00:00:0/00:00:0.0", "serial-base", "port");
    Put(sys / "class/tty/ttyS0/type", "4\n");
    Link(sys / "class/tty/ttyS0/device", uart / "00:00:0/00:00:0.0");
    Put(sys / "class/tty/ttyS1/type", "0\n");

    struct Expected {
        std::string Name;
        std::string Description;
        std::string Driver;
        std::vector<std::string> StableNames;
    };
    const std::string by = byId.string() + "/";
    const std::vector<Expected> expected = {
        {"ttyACM0", "Arduino (www.arduino.cc)", "cdc_acm", {}},
        {"ttyS0", "", "serial", {}},
        {"ttyUSB0",
         "FT232R USB UART",
         "ftdi_sio",
         {by + "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
          by + "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0-alias"}},
        {"ttyUSB2", "", "", {}},
        {"ttyUSB10", "", "", {}},
        {"ttyXR0", "", "", {by + "usb-Exar_XR21V1410-if00"}},
    };
    const std::vector<SerialPortInfo> ports = ListSerialPortsUnder(dev.string(), sys.string());
    ASSERT_EQ(ports.size(), expected.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(expected[i].Name);
        EXPECT_EQ(ports[i].Name, (dev / expected[i].Name).string());
        EXPECT_EQ(ports[i].Description, expected[i].Description);
        EXPECT_EQ(ports[i].Driver, expected[i].Driver);
        EXPECT_EQ(ports[i].StableNames, expected[i].StableNames);
    }
}
#endif

TEST(SerialPortList, ListsOnlyNamesTheOpenAccepts) {
    for (const SerialPortInfo& info : ListSerialPorts()) {
        SCOPED_TRACE(info.Name);
        ASSERT_FALSE(info.Name.empty());
        EXPECT_EQ(info.Name[0], '/');
        struct stat st {};
        ASSERT_EQ(::stat(info.Name.c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }
}

} // namespace

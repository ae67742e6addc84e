#include "PortList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "TempDir.h"

namespace beamlink {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::writeText;

// A small copy of sysfs: class/tty/NAME links to devices/DEVICE/tty/NAME, whose `device` link
// points back up to devices/DEVICE, whose `driver` link names the driver.
class FakeSysfs {
public:
    std::string classTty() const { return (dir_.path() / "class/tty").string(); }

    void addPort(const std::string& name, const std::string& device, const std::string& driver,
                 std::optional<int> type = std::nullopt) {
        const fs::path ttyDir = dir_.path() / "devices" / device / "tty" / name;
        fs::create_directories(ttyDir);
        fs::create_directory_symlink("../..", ttyDir / "device");
        if (!driver.empty()) {
            bind(device, "bus/" + driver);
        }
        if (type) {
            writeText((ttyDir / "type").string(), std::to_string(*type) + "\n");
        }
        link(name, ttyDir);
    }
    // Newer kernels: tty -> serial-base port -> serial-base controller -> the UART's device.
    void addSerialBasePort(const std::string& name, const std::string& device,
                           const std::string& driver, int type) {
        const std::string ctrl = device + "/ctrl-" + name;
        const std::string port = ctrl + "/port-" + name;
        addPort(name, port, "", type);
        bind(device, "bus/" + driver);
        bind(ctrl, "bus/serial-base/drivers/ctrl");
        bind(port, "bus/serial-base/drivers/port");
        for (const auto& d : {ctrl, port}) {
            fs::create_directory_symlink(dir_.path() / "bus/serial-base",
                                         dir_.path() / "devices" / d / "subsystem");
        }
    }
    // Virtual terminals have no device behind them.
    void addVirtual(const std::string& name, bool withDeviceLink) {
        const fs::path ttyDir = dir_.path() / "devices/virtual/tty" / name;
        fs::create_directories(ttyDir);
        if (withDeviceLink) {
            fs::create_directory_symlink(".", ttyDir / "device");
        }
        link(name, ttyDir);
    }
    void addPlainFile(const std::string& name) {
        fs::create_directories(classTty());
        writeText(classTty() + "/" + name, "");
    }

private:
    void bind(const std::string& device, const std::string& driver) {
        const fs::path driverDir = dir_.path() / driver;
        const fs::path deviceDir = dir_.path() / "devices" / device;
        fs::create_directories(driverDir);
        fs::create_directories(deviceDir);
        if (!fs::exists(deviceDir / "driver")) {
            fs::create_directory_symlink(driverDir, deviceDir / "driver");
        }
    }
    void link(const std::string& name, const fs::path& target) {
        fs::create_directories(classTty());
        fs::create_directory_symlink(target, fs::path(classTty()) / name);
    }

    TempDir dir_;
};

TEST(PortList, ListsPortsWithHardwareAsComOrDevNames) {
    FakeSysfs sys;
    sys.addPort("ttyUSB0", "usb1/1-1:1.0/ttyUSB0", "usb-serial/drivers/ftdi_sio");
    sys.addPort("ttyACM0", "usb1/1-2:1.0", "usb/drivers/cdc_acm");
    sys.addPort("ttyacm1", "usb1/1-3:1.0", "usb/drivers/cdc_acm");
    sys.addPort("ttyAMA0", "amba/uart0", "amba/drivers/uart-pl011");
    sys.addPort("ttyS0", "platform/serial8250", "platform/drivers/serial8250", 4);
    sys.addPort("ttyS1", "pnp0/00:04", "pnp/drivers/serial", 4);
    sys.addPort("ttyS2", "platform/serial8250", "platform/drivers/serial8250", 0);  // no UART
    sys.addPort("ttyS3", "platform/serial8250", "platform/drivers/serial8250");     // no type
    sys.addPort("ttyS9", "platform/serial8250", "platform/drivers/serial8250", 4);
    sys.addSerialBasePort("ttyS4", "platform/serial8250", "platform/drivers/serial8250", 0);
    sys.addSerialBasePort("ttyS5", "platform/serial8250", "platform/drivers/serial8250", 4);
    sys.addSerialBasePort("ttyS6", "pnp0/00:05", "pnp/drivers/serial", 0);
    sys.addVirtual("tty0", false);
    sys.addVirtual("console", true);
    sys.addPlainFile("stray");

    // Without regard to case: COM10 before COM2, ttyacm1 before ttyAMA0.
    const std::vector<std::string> expected = {"COM1",    "COM10",   "COM2",    "COM6",   "COM7",
                                               "ttyACM0", "ttyacm1", "ttyAMA0", "ttyUSB0"};
    EXPECT_EQ(listSerialPorts(sys.classTty()), expected);
}

TEST(PortList, NothingToListIsEmpty) {
    TempDir dir;
    writeText(dir.file("file"), "");
    fs::create_directory(dir.file("empty"));
    for (const auto& root : {dir.file("missing"), dir.file("file"), dir.file("empty")}) {
        SCOPED_TRACE(root);
        EXPECT_TRUE(listSerialPorts(root).empty());
    }
}

}  // namespace
}  // namespace beamlink

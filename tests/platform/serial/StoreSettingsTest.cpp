#include "StoreSettings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "EComPort.h"
#include "FileSizeLimit.h"
#include "TempDir.h"

namespace beamlink {
namespace {

using testing::readText;
using testing::TempDir;
using testing::writeText;

PortSettings hardwareSettings() {
    PortSettings s;
    s.Port = "COM3";
    s.BaudRate = TBaudRate::br19200;
    s.DataBits = TDataBits::dbSeven;
    s.StopBits = TStopBits::sbTwoStopBits;
    s.Parity.Bits = TParityBits::prEven;
    s.FlowControl.apply(TFlowControl::fcHardware);
    return s;
}

PortSettings customRate() {
    PortSettings s;
    s.BaudRate = TBaudRate::brCustom;
    return s;
}

PortSettings customFlow() {
    PortSettings s;
    s.Parity.Bits = TParityBits::prSpace;
    s.StopBits = TStopBits::sbOne5StopBits;
    s.FlowControl.XonXoffIn = true;  // only one direction: no named summary
    return s;
}

struct StoreCase {
    const char* name;
    PortSettings settings;
    const char* file;
};

TEST(StoreSettings, WritesTheKeysInOrder) {
    const StoreCase cases[] = {
        {"defaults", PortSettings{},
         "[ComPort1]\nPort=COM1\nBaudRate=9600\nStopBits=1\nDataBits=8\nParity=None\n"
         "FlowControl=None\n"},
        {"changed settings", hardwareSettings(),
         "[ComPort1]\nPort=COM3\nBaudRate=19200\nStopBits=2\nDataBits=7\nParity=Even\n"
         "FlowControl=Hardware\n"},
        {"custom rate", customRate(),
         "[ComPort1]\nPort=COM1\nBaudRate=Custom\nCustomBaudRate=9600\nStopBits=1\nDataBits=8\n"
         "Parity=None\nFlowControl=None\n"},
        {"custom flow", customFlow(),
         "[ComPort1]\nPort=COM1\nBaudRate=9600\nStopBits=1.5\nDataBits=8\nParity=Space\n"
         "FlowControl=Custom\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        storeSettingsToIni(c.settings, "ComPort1", dir.file("SerialPort.ini"));
        EXPECT_EQ(readText(dir.file("SerialPort.ini")), c.file);
    }
}

TEST(StoreSettings, RewritesOnlyItsOwnKeys) {
    TempDir dir;
    const std::string path = dir.file("SerialPort.ini");
    writeText(path, "[Other]\nPort=COM9\n\n[ComPort1]\nPort=COM2\nExtra=1\n");

    storeSettingsToIni(customRate(), "ComPort1", path);
    // Back to a listed rate: the stale CustomBaudRate line stays, as nothing is erased.
    storeSettingsToIni(hardwareSettings(), "ComPort1", path);

    EXPECT_EQ(readText(path),
              "[Other]\nPort=COM9\n\n[ComPort1]\nPort=COM3\nExtra=1\nBaudRate=19200\n"
              "CustomBaudRate=9600\nStopBits=2\nDataBits=7\nParity=Even\nFlowControl=Hardware\n");
}

void expectStoreFailed(const PortSettings& settings, const std::string& path) {
    try {
        storeSettingsToIni(settings, "ComPort1", path);
        ADD_FAILURE() << "store succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), ComError::StoreFailed);
        EXPECT_STREQ(e.what(), "Failed to store settings");
    }
}

TEST(StoreSettings, FailureIsOneFixedMessageAndKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("SerialPort.ini");
    const std::string old = "[ComPort1]\nPort=COM1\nBaudRate=9600\n";
    writeText(path, old);
    {
        testing::FileSizeLimit limit(old.size() + 4);
        expectStoreFailed(hardwareSettings(), path);
    }
    EXPECT_EQ(readText(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    std::filesystem::create_directory(dir.file("isdir"));
    expectStoreFailed(PortSettings{}, dir.file("isdir"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("isdir")));

    // A port name with a line break would add keys of its own to the file.
    PortSettings injected;
    injected.Port = "COM1\nFlowControl=Hardware";
    expectStoreFailed(injected, path);
    EXPECT_EQ(readText(path), old);
}

}  // namespace
}  // namespace beamlink

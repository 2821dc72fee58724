// How a port name given to the Windows serial port reads as the device it opens.

#include "comm/Unitcomport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WindowsDeviceName, ComPortsOpenThroughTheDeviceNamespace) {
    struct Case {
        const char* Name;
        const char* Device;
    } cases[] = {
        {"COM1", R"(\\.\COM1)"},
        {"com12", R"(\\.\com12)"},
        // Windows takes "COM12:" for COM12, as typed in old configurations and by habit.
        {"COM12:", R"(\\.\COM12)"},
        {"cOm3:", R"(\\.\cOm3)"},
        // Anything else passes unchanged, so the system says what is wrong with it.
        {"COM", "COM"},
        {"COM:", "COM:"},
        {"COM1::", "COM1::"},
        {"COMX", "COMX"},
        {"COM1a:", "COM1a:"},
        {R"(\\.\COM5)", R"(\\.\COM5)"},
        {"LPT1", "LPT1"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(WindowsDeviceName(c.Name), c.Device);
    }
}

} // namespace

#pragma once
// The serial ports this machine has, for offering to the user (the editor's port box,
// `ledsign ports`). One list for every front end, so they never disagree about what is there.

#include <string>
#include <vector>

// One serial port of this machine.
struct SerialPortInfo {
    // What ComPort::Open accepts: "/dev/ttyUSB0", "COM3".
    std::string Name;
    // What the device says it is, for recognising it: on Linux the USB product name (else its
    // manufacturer), on Windows the device manager's friendly name ("USB Serial Port (COM3)").
    // Empty when the system does not tell.
    std::string Description;
    // What serves the port: on Linux the kernel driver ("ftdi_sio", "cdc_acm", "serial"), on
    // Windows the driver's device ("\Device\VCP0"). Empty when the system does not tell.
    std::string Driver;
    // Linux: the links of /dev/serial/by-id that lead to this port, sorted. They name the
    // adapter by its maker, model and serial number, so they keep leading to the same adapter
    // whichever ttyUSBn it gets after re-plugging. Empty elsewhere.
    std::vector<std::string> StableNames;
};

// The serial ports present on this machine, sorted by name ("ttyS2" before "ttyS10"). Only
// devices that are serial lines are listed: on Linux the USB adapters (ttyUSB*, ttyACM*), the
// /dev/ttyS* that have a UART behind them, and any device a /dev/serial/by-id link leads to;
// on other POSIX systems the call-out devices (/dev/cu.*); on Windows the ports the serial
// drivers registered. Ports held by another program are listed too. Never fails: what cannot
// be read is left out.
std::vector<SerialPortInfo> ListSerialPorts();

#ifndef _WIN32
// ListSerialPorts with the device folder and the sysfs folder given ("/dev" and "/sys" on a
// real system), so that a prepared tree can stand in for a machine's devices. Names are
// `devRoot`'s canonical form joined with the device's name.
std::vector<SerialPortInfo> ListSerialPortsUnder(const std::string& devRoot,
                                                 const std::string& sysRoot);
#endif

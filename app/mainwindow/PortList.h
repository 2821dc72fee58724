#pragma once
// The serial ports this computer has, as the port selector offers them to the operator.

#include <QString>

#include <vector>

// One port offered for choosing: `Path` is what the box and vtr.cfg receive and what the port
// opens by; `Description` only helps the operator recognise it and may be empty.
struct PortChoice {
    QString Path;
    QString Description;
};

// "<path> — <description>", or the bare path when there is no description.
QString PortChoiceLabel(const PortChoice& port);

// The ports present now, in the system's order. Windows: the short names ("COM3") with the
// device's description. POSIX: the device nodes ("/dev/ttyUSB0", not Qt's short "ttyUSB0")
// with description or manufacturer, then on Linux the stable names of /dev/serial/by-id.
// Reads the system on every call, so a newly plugged adapter is seen at once.
std::vector<PortChoice> SystemPorts();

#ifndef _WIN32
// The symbolic links in `directory`, sorted by name, each described by the device node it
// leads to ("/dev/serial/by-id/usb-FTDI_...-port0" described as "/dev/ttyUSB0"). Links whose
// target is missing are left out: there is nothing to open behind them.
std::vector<PortChoice> SerialByIdPorts(const QString& directory);
#endif

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

// The ports present now (ListSerialPorts): each by the name it opens by ("/dev/ttyUSB0", "COM3")
// with what the device says it is, then on Linux the stable names of /dev/serial/by-id, each
// described by the device it leads to. Reads the system on every call, so a newly plugged
// adapter is seen at once.
std::vector<PortChoice> SystemPorts();

#include "app/mainwindow/PortList.h"

#include <QSerialPortInfo>

std::vector<PortChoice> SystemPorts() {
    std::vector<PortChoice> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        // "COM3": the name the operator knows and the port opens by; the system location is
        // the device namespace form "\\.\COM3".
        const QString name = info.portName();
        if (name.isEmpty()) {
            continue;
        }
        const QString description =
            info.description().isEmpty() ? info.manufacturer() : info.description();
        ports.push_back({name, description});
    }
    return ports;
}

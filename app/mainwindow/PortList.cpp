#include "app/mainwindow/PortList.h"

#include "comm/SerialPortList.h"

#include <algorithm>

std::vector<PortChoice> SystemPorts() {
    std::vector<PortChoice> ports;
    std::vector<PortChoice> stableNames;
    for (const SerialPortInfo& port : ListSerialPorts()) {
        const QString name = QString::fromStdString(port.Name);
        ports.push_back({name, QString::fromStdString(port.Description)});
        for (const std::string& link : port.StableNames) {
            stableNames.push_back({QString::fromStdString(link), name});
        }
    }
    // The same adapter keeps its stable name whichever ttyUSBn it gets after re-plugging; they
    // follow the ports, sorted by name.
    std::sort(stableNames.begin(), stableNames.end(),
              [](const PortChoice& a, const PortChoice& b) { return a.Path < b.Path; });
    ports.insert(ports.end(), stableNames.begin(), stableNames.end());
    return ports;
}

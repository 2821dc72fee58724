#include "app/mainwindow/PortList.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

std::vector<PortChoice> SerialByIdPorts(const QString& directory) {
    std::vector<PortChoice> ports;
    const QFileInfoList links = QDir(directory).entryInfoList(
        QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        if (!link.isSymLink()) {
            continue;
        }
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty()) {
            ports.push_back({link.absoluteFilePath(), target});
        }
    }
    return ports;
}

std::vector<PortChoice> SystemPorts() {
    std::vector<PortChoice> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        // The node the port opens by; Qt's portName() is only its last component.
        const QString path = info.systemLocation();
        if (path.isEmpty()) {
            continue;
        }
        const QString description =
            info.description().isEmpty() ? info.manufacturer() : info.description();
        ports.push_back({path, description});
    }
#ifdef __linux__
    // The same adapter keeps its by-id name whichever ttyUSBn it gets after re-plugging.
    for (PortChoice& link : SerialByIdPorts(QStringLiteral("/dev/serial/by-id"))) {
        ports.push_back(std::move(link));
    }
#endif
    return ports;
}

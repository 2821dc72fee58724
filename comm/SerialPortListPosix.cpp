// The serial ports of a POSIX machine. Linux: the USB adapters and the UARTs the kernel found,
// described from sysfs, with the stable names of /dev/serial/by-id; other systems: the call-out
// devices.

#include "comm/SerialPortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {

namespace fs = std::filesystem;

// Orders "ttyS2" before "ttyS10": equal prefixes compare by their trailing number.
bool NaturalLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        std::size_t digits = s.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(s[digits - 1]))) {
            --digits;
        }
        return digits;
    };
    const std::size_t da = split(a);
    const std::size_t db = split(b);
    const std::string pa = a.substr(0, da);
    const std::string pb = b.substr(0, db);
    if (pa != pb || da == a.size() || db == b.size()) {
        return a < b;
    }
    const std::string na = a.substr(da);
    const std::string nb = b.substr(db);
    if (na.size() != nb.size()) {
        return na.size() < nb.size();
    }
    return na < nb;
}

#ifdef __linux__
// The first line of a small text file (sysfs attributes end in a line feed); empty when it
// cannot be read.
std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
        line.pop_back();
    }
    return line;
}

// The last component of where the symbolic link `link` leads; empty when it is no link.
std::string LinkTargetName(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

// Device names that are serial lines whenever they exist.
bool IsAdapterName(const std::string& name) {
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
}

bool IsUartName(const std::string& name) {
    return name.rfind("ttyS", 0) == 0 && name.size() > 4 &&
           std::isdigit(static_cast<unsigned char>(name[4]));
}

// A /dev/ttyS* node exists for every possible 8250 port; only some have a UART behind them.
// sysfs says which; without it the device itself is asked.
bool IsRealUart(const fs::path& device, const fs::path& ttyClass) {
    std::ifstream type(ttyClass / "type");
    int value = 0;
    if (type >> value) {
        return value != 0; // PORT_UNKNOWN is 0
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    serial_struct info{};
    const bool real = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
}

// Description and driver of the tty `ttyClass` (/sys/class/tty/NAME), from the devices above
// it: the driver of the nearest one that is not one of the kernel's own serial port devices
// (bus "serial-base", whose drivers are the generic "port" and "ctrl"), and the product name
// (else the manufacturer) of the nearest USB device, the one that has an idVendor.
void Describe(const fs::path& ttyClass, const fs::path& sysRoot, SerialPortInfo& port) {
    std::error_code ec;
    fs::path device = fs::canonical(ttyClass / "device", ec);
    if (ec) {
        return; // a virtual terminal: no device behind it
    }
    const fs::path top = fs::canonical(sysRoot, ec);
    bool driverSeen = false;
    for (; !ec && device != top && device.has_relative_path(); device = device.parent_path()) {
        if (!driverSeen && LinkTargetName(device / "subsystem") != "serial-base") {
            port.Driver = LinkTargetName(device / "driver"); // not a bridge's or hub's further up
            driverSeen = true;
        }
        std::error_code probe;
        if (fs::exists(device / "idVendor", probe)) {
            port.Description = FirstLine(device / "product");
            if (port.Description.empty()) {
                port.Description = FirstLine(device / "manufacturer");
            }
            break;
        }
    }
}
#endif

} // namespace

std::vector<SerialPortInfo> ListSerialPortsUnder(const std::string& devRoot,
                                                 const std::string& sysRoot) {
    std::error_code ec;
    const fs::path dev = fs::weakly_canonical(devRoot, ec);
    std::map<fs::path, SerialPortInfo> found; // by device path
    const auto add = [&found](const fs::path& device) -> SerialPortInfo& {
        SerialPortInfo& port = found[device];
        port.Name = device.string();
        return port;
    };
#ifdef __linux__
    // Every device a stable name leads to is a serial line, whatever its own name.
    for (fs::directory_iterator it(dev / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkError;
        const fs::path device = fs::canonical(it->path(), linkError);
        if (!linkError && it->is_symlink(linkError)) {
            add(device).StableNames.push_back(it->path().string());
        }
    }
    ec.clear();
    for (fs::directory_iterator it(dev, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const fs::path ttyClass = fs::path(sysRoot) / "class" / "tty" / name;
        if (IsAdapterName(name) || (IsUartName(name) && IsRealUart(it->path(), ttyClass))) {
            add(it->path());
        }
    }
    for (auto& [device, port] : found) {
        Describe(fs::path(sysRoot) / "class" / "tty" / device.filename(), sysRoot, port);
        std::sort(port.StableNames.begin(), port.StableNames.end());
    }
#else
    (void)sysRoot; // no sysfs: the names say all there is
    for (fs::directory_iterator it(dev, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().rfind("cu.", 0) == 0) {
            add(it->path());
        }
    }
#endif
    std::vector<SerialPortInfo> ports;
    ports.reserve(found.size());
    for (auto& [device, port] : found) {
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return NaturalLess(a.Name, b.Name);
    });
    return ports;
}

std::vector<SerialPortInfo> ListSerialPorts() {
    return ListSerialPortsUnder("/dev", "/sys");
}

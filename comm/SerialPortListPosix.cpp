// The serial ports of a POSIX machine: on Linux the USB adapters and the UARTs the kernel found,
// with the stable names of /dev/serial/by-id; on other systems the call-out devices.

#include "comm/Unitcomport.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {

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
// A /dev/ttyS* node exists for every possible 8250 port; only some have a UART behind them.
bool IsRealUart(const std::string& name) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = 0;
    if (type >> value) {
        return value != 0; // PORT_UNKNOWN is 0
    }
    const int fd = ::open(("/dev/" + name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    serial_struct info{};
    const bool real = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
}
#endif

} // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> found; // device path -> detail
    std::error_code ec;
#ifdef __linux__
    // Stable names of USB adapters; they say which adapter a ttyUSBn is.
    for (fs::directory_iterator it("/dev/serial/by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        char resolved[PATH_MAX];
        if (realpath(it->path().c_str(), resolved) != nullptr) {
            found[resolved] = it->path().filename().string();
        }
    }
    ec.clear();
    for (fs::directory_iterator it("/dev", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool usb = name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
        const bool uart = name.rfind("ttyS", 0) == 0 && name.size() > 4 &&
                          std::isdigit(static_cast<unsigned char>(name[4])) && IsRealUart(name);
        if (usb || uart) {
            found.emplace(it->path().string(), std::string());
        }
    }
#else
    for (fs::directory_iterator it("/dev", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("cu.", 0) == 0) {
            found.emplace(it->path().string(), std::string());
        }
    }
#endif
    std::vector<SerialPortInfo> ports;
    ports.reserve(found.size());
    for (const auto& [path, detail] : found) {
        ports.push_back({path, detail});
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return NaturalLess(a.Name, b.Name);
    });
    return ports;
}

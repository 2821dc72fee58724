// The part of ComPort shared by every platform; the device itself is the platform file's
// (UnitcomportPosix.cpp, UnitcomportWin32.cpp).

#include "comm/Unitcomport.h"

#include <algorithm>
#include <cctype>

int ComPort::Open(const char* name) {
    if (IsOpen()) {
        // The port already held stays open and usable.
        lastError_ = HeldByThisProgram();
        return 1;
    }
    lastError_ = LineError{};
    const int result = OpenDevice(name);
    if (result != 0 && !lastError_.Failed()) {
        lastError_.Kind = LineErrorKind::Other; // a failure always says it failed
    }
    return result;
}

std::string WindowsDeviceName(std::string_view name) {
    std::string_view port = name;
    if (port.size() > 4 && port.back() == ':') {
        port.remove_suffix(1);
    }
    const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    const bool plainCom = port.size() > 3 &&
                          std::toupper(static_cast<unsigned char>(port[0])) == 'C' &&
                          std::toupper(static_cast<unsigned char>(port[1])) == 'O' &&
                          std::toupper(static_cast<unsigned char>(port[2])) == 'M' &&
                          std::all_of(port.begin() + 3, port.end(), isDigit);
    return plainCom ? "\\\\.\\" + std::string(port) : std::string(name);
}

// The part of ComPort shared by every platform; the device itself is the platform file's
// (UnitcomportPosix.cpp, UnitcomportWin32.cpp).

#include "comm/Unitcomport.h"

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

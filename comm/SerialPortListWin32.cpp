// The COM ports of a Windows machine: the ones the serial drivers have registered under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (present ports only, held ones too), described by the
// friendly name of the device that has the port in the Ports class of the device manager
// ("USB Serial Port (COM3)") and by the driver's device name ("\Device\Serial0").

#include "comm/SerialPortList.h"
#include "preview/platform/WideNames.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include <windows.h>
// windows.h first: SetupAPI's headers rely on its types.
#include <devguid.h>
#include <setupapi.h>

namespace {

// The string value `name` of an open key, or empty when it is missing or not a string.
std::wstring ReadStringValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ || bytes == 0) {
        return {};
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                         &bytes) != ERROR_SUCCESS) {
        return {};
    }
    value.resize(std::wcslen(value.c_str())); // the stored string may or may not end in NUL
    return value;
}

// Port name -> kernel device name, from SERIALCOMM (value name = device, data = port name).
std::map<std::string, std::string> RegisteredPorts() {
    std::map<std::string, std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t device[256];
        DWORD deviceLength = static_cast<DWORD>(std::size(device));
        if (RegEnumValueW(key, index, device, &deviceLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        const std::wstring port = ReadStringValue(key, device);
        if (!port.empty()) {
            ports[NarrowToUtf8(port)] = NarrowToUtf8(std::wstring(device, deviceLength));
        }
    }
    RegCloseKey(key);
    return ports;
}

// Port name -> friendly name of the present devices in the Ports class.
std::map<std::string, std::string> PortDescriptions() {
    std::map<std::string, std::string> descriptions;
    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return descriptions;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        const std::wstring port = ReadStringValue(key, L"PortName");
        RegCloseKey(key);
        wchar_t friendly[256] = {};
        if (port.empty() ||
            !SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                               reinterpret_cast<BYTE*>(friendly),
                                               sizeof friendly - sizeof(wchar_t), nullptr)) {
            continue;
        }
        descriptions[NarrowToUtf8(port)] = NarrowToUtf8(friendly);
    }
    SetupDiDestroyDeviceInfoList(devices);
    return descriptions;
}

// "COM2" before "COM10": names that differ only in their number sort by it.
bool PortNameBefore(const std::string& a, const std::string& b) {
    const auto digitsAt = [](const std::string& s) { return s.find_last_not_of("0123456789") + 1; };
    const std::size_t aDigits = digitsAt(a);
    const std::size_t bDigits = digitsAt(b);
    if (a.compare(0, aDigits, b, 0, bDigits) == 0 && aDigits < a.size() && bDigits < b.size() &&
        a.size() - aDigits != b.size() - bDigits) {
        return a.size() - aDigits < b.size() - bDigits;
    }
    return a < b;
}

} // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
    const std::map<std::string, std::string> descriptions = PortDescriptions();
    std::vector<SerialPortInfo> ports;
    for (const auto& [name, device] : RegisteredPorts()) {
        const auto described = descriptions.find(name);
        SerialPortInfo& port = ports.emplace_back();
        port.Name = name;
        port.Description = described != descriptions.end() ? described->second : std::string();
        port.Driver = device;
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return PortNameBefore(a.Name, b.Name);
    });
    return ports;
}

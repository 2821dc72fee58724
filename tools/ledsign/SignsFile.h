#pragma once
// Named signs: the signs file gives each sign of a site a name, its port, its address and the
// groups it belongs to, so that commands can say `--sign kasa` or `--group parter`:
//
//   [kasa]
//   port = /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
//   address = 380
//   groups = parter, sklep
//
// Keys: port (required), address (decimal, 0..65535; the command's --address or 380 when
// absent), groups (names separated by commas or blanks).

#include "tools/ledsign/KeyValueFile.h"

#include <optional>
#include <string>
#include <vector>

namespace ledsign_tool {

struct NamedSign {
    std::string Name;
    std::string Port;
    std::optional<unsigned> Address;
    std::vector<std::string> Groups;
};

class SignBook {
public:
    // Reads `files` in order; a sign of a later file replaces the one of the same name from an
    // earlier file. A missing file is skipped when `missingIsEmpty`, else a problem. Every
    // other problem is told with the file, the line where there is one, and the reason: a line
    // that is no entry, an entry outside a section, an unknown key, a bad address, a sign
    // defined twice in one file, a sign without a port, a file others may write read by root.
    bool Load(const std::vector<std::string>& files, bool missingIsEmpty, FileProblem& problem);

    // The signs in the order their files name them (a replaced sign keeps its first place).
    const std::vector<NamedSign>& Signs() const { return signs_; }
    const NamedSign* Find(const std::string& name) const;
    // The files read, for messages about a name none of them has ("FILE, FILE").
    std::string FilesRead() const;

private:
    bool LoadFile(const std::string& path, FileProblem& problem);

    std::vector<NamedSign> signs_;
    std::vector<std::string> read_;
};

} // namespace ledsign_tool

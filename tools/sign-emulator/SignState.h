#pragma once
// What the software sign remembers: nine message slots, the slot it shows and its clock, and
// how it answers each request addressed to it.

#include "format/SignFormat.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

namespace sign_emulator {

constexpr int kSlotCount = signformat::kLastSlot;
constexpr std::size_t kMessageSize = signformat::kMessageBytes;

// Local date and time as the sign keeps it (no time zone, minute resolution is what it is set
// with; seconds run on from there).
struct SignTime {
    int Year = 2000; // full year
    int Month = 1;   // 1..12
    int Day = 1;     // 1..31
    int Hour = 0;    // 0..23
    int Minute = 0;  // 0..59
    int Second = 0;  // 0..59
};

// The sign's clock: follows the host's local time until it is set, then runs on from the set
// value at the pace of the monotonic clock.
class SignClock {
public:
    using Steady = std::chrono::steady_clock;

    // Sets the clock to `t` at the monotonic instant `now`. Returns false (clock unchanged)
    // when the date or time does not exist.
    bool Set(const SignTime& t, Steady::time_point now);
    SignTime Now(Steady::time_point now) const;
    bool IsSet() const { return set_; }

private:
    bool set_ = false;
    std::chrono::sys_seconds base_{};
    Steady::time_point baseSteady_{};
};

// Outcome of one request.
struct Answer {
    std::uint8_t Code;   // reply code: 0x80 done, 0x81 refused
    int Slot;            // slot the command names (1..9), 0 for none
    bool DisplayChanged; // the shown message or the clock changed
};

class SignState {
public:
    SignState();

    // Carries out one request (command byte and payload) at monotonic instant `now`.
    //   0x01..0x08, 0x15: store the 1024-byte payload in slot 1..8, 9. Storing slot 9, the
    //                     current message, also makes the sign show it.
    //   0x11: set the clock from year - 2000, month, day, hour, minute (a sixth byte is
    //         ignored).
    //   0x16..0x1E: show slot 1..9.
    // A request with an unknown command, a payload of the wrong size or an impossible date
    // changes nothing and is refused (0x81), so a client learns that the sign did not do it.
    Answer Apply(std::uint8_t command, std::span<const std::uint8_t> payload,
                 SignClock::Steady::time_point now);

    // Slot numbers 1..9.
    const std::array<std::uint8_t, kMessageSize>& Slot(int slot) const {
        return slots_[static_cast<std::size_t>(slot - 1)];
    }
    int ShownSlot() const { return shown_; }
    const SignClock& Clock() const { return clock_; }

    // The slot a command code names: 1..8 for 0x01..0x08, 9 for 0x15, 1..9 for 0x16..0x1E,
    // 0 for the others.
    static int SlotOfCommand(std::uint8_t command);

private:
    std::array<std::array<std::uint8_t, kMessageSize>, kSlotCount> slots_{};
    int shown_ = 9;
    SignClock clock_;
};

} // namespace sign_emulator

#include "tools/sign-emulator/SignState.h"

#include <algorithm>
#include <ctime>

namespace sign_emulator {

using namespace std::chrono;

bool SignClock::Set(const SignTime& t, Steady::time_point now) {
    const year_month_day date{year{t.Year}, month{static_cast<unsigned>(t.Month)},
                              day{static_cast<unsigned>(t.Day)}};
    if (!date.ok() || t.Hour < 0 || t.Hour > 23 || t.Minute < 0 || t.Minute > 59) {
        return false;
    }
    base_ = sys_days{date} + hours{t.Hour} + minutes{t.Minute} + seconds{t.Second};
    baseSteady_ = now;
    set_ = true;
    return true;
}

SignTime SignClock::Now(Steady::time_point now) const {
    SignTime t;
    if (!set_) {
        const std::time_t host = std::time(nullptr);
        std::tm local{};
        localtime_r(&host, &local);
        t.Year = local.tm_year + 1900;
        t.Month = local.tm_mon + 1;
        t.Day = local.tm_mday;
        t.Hour = local.tm_hour;
        t.Minute = local.tm_min;
        t.Second = local.tm_sec;
        return t;
    }
    const sys_seconds current = base_ + duration_cast<seconds>(now - baseSteady_);
    const sys_days days = floor<std::chrono::days>(current);
    const year_month_day date{days};
    const hh_mm_ss<seconds> time{current - days};
    t.Year = static_cast<int>(date.year());
    t.Month = static_cast<int>(static_cast<unsigned>(date.month()));
    t.Day = static_cast<int>(static_cast<unsigned>(date.day()));
    t.Hour = static_cast<int>(time.hours().count());
    t.Minute = static_cast<int>(time.minutes().count());
    t.Second = static_cast<int>(time.seconds().count());
    return t;
}

SignState::SignState() = default;

int SignState::SlotOfCommand(std::uint8_t command) {
    if (command >= 0x01 && command <= 0x08) {
        return command;
    }
    if (command == 0x15) {
        return 9;
    }
    if (command >= 0x16 && command <= 0x1E) {
        return command - 0x15;
    }
    return 0;
}

Answer SignState::Apply(std::uint8_t command, std::span<const std::uint8_t> payload,
                        SignClock::Steady::time_point now) {
    constexpr std::uint8_t kDone = 0x80;
    constexpr std::uint8_t kRefused = 0x81;
    const int slot = SlotOfCommand(command);
    if (command == 0x11) {
        if (payload.size() < 5) {
            return {kRefused, 0, false};
        }
        const SignTime t{2000 + payload[0], payload[1], payload[2], payload[3], payload[4], 0};
        const bool ok = clock_.Set(t, now);
        return {ok ? kDone : kRefused, 0, ok};
    }
    if (slot == 0) {
        return {kRefused, 0, false};
    }
    if (command <= 0x15) {
        if (payload.size() != kMessageSize) {
            return {kRefused, slot, false};
        }
        auto& target = slots_[static_cast<std::size_t>(slot - 1)];
        std::copy(payload.begin(), payload.end(), target.begin());
        if (slot == 9) {
            shown_ = 9;
        }
        return {kDone, slot, shown_ == slot};
    }
    const bool changed = shown_ != slot;
    shown_ = slot;
    return {kDone, slot, changed};
}

} // namespace sign_emulator

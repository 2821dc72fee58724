#pragma once
// A transaction clock that runs faster than the real one, for tests of the polling time on a
// real line (a socket, a pseudo-terminal to the software sign). The line's waits stay real, so
// the bytes still take their real time, but the 5.1 s of polls pass in a fraction of it: a
// silent line costs about a quarter of a second, and the test reads the outcome off this clock.

#include "comm/Unitcomprotocol.h"

#include <chrono>
#include <cstdint>

namespace test_clock {

class FastClock final : public ComClock {
public:
    // `factor` clock milliseconds pass for each real one.
    explicit FastClock(int factor = 20) : factor_(factor) {}

    std::int64_t MonotonicMs() override {
        const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start_);
        return real.count() * factor_;
    }
    ComDateTime LocalTime() override { return ReadLocalDateTime(); }

private:
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    const int factor_;
};

} // namespace test_clock

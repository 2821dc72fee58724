#include "tools/sign-emulator/Display.h"

#include <algorithm>
#include <cstring>

namespace sign_emulator {

namespace {

constexpr auto kTick = std::chrono::milliseconds(kTickMilliseconds);

std::uint16_t MessageLength(const std::array<std::uint8_t, kMessageSize>& m) {
    const auto zero = std::find(m.begin(), m.end(), std::uint8_t{0});
    return static_cast<std::uint16_t>(zero - m.begin());
}

bool IsStatic(const std::array<std::uint8_t, kMessageSize>& m) {
    return static_cast<std::int8_t>(m[kMessageSize - 1]) == 1;
}

} // namespace

Display::Display(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {
    for (const SkippedFontFile& skipped : LoadFonts(fonts_).Skipped) {
        std::fprintf(stderr, "ledsign-emulator: font file skipped: %s\n",
                     DescribeSkippedFont(skipped).c_str());
    }
    ResetPreview(strip_, fonts_);
    ResetPreviewSettings(strip_);
    // Live fields read the sign's clock, not the host's.
    strip_.Clock = [this] {
        LocalDateTime t;
        if (state_ != nullptr) {
            const SignTime s = state_->Clock().Now(now_);
            t = {s.Year, s.Month, s.Day, s.Hour, s.Minute};
        }
        return t;
    };
}

int Display::PollInterval() const {
    return terminal_ && preview_.Running() && !preview_.Static() ? kTickMilliseconds : 100;
}

std::string Display::Block(const std::string& header, const StripBytes& strip) {
    std::string block = header + "\n";
    for (int r = 0; r < kStripRows; ++r) {
        for (int c = 0; c < kStripVisibleColumns; ++c) {
            block += PixelAt(strip, static_cast<std::int16_t>(c), static_cast<std::int16_t>(r))
                         ? '#'
                         : '.';
        }
        block += '\n';
    }
    return block;
}

void Display::Restart(const SignState& state, SignClock::Steady::time_point now) {
    shownSlot_ = state.ShownSlot();
    shownMessage_ = state.Slot(shownSlot_);
    ClearStrip(strip_);
    // An empty slot has nothing to run and leaves the strip blank, which is what it shows.
    (void)preview_.Start(static_cast<std::int8_t>(shownMessage_[kMessageSize - 1]),
                         shownMessage_.data(), MessageLength(shownMessage_));
    lastTick_ = now;
}

void Display::Update(const SignState& state, SignClock::Steady::time_point now) {
    state_ = &state;
    now_ = now;
    if (!drawn_ || state.ShownSlot() != shownSlot_ ||
        state.Slot(state.ShownSlot()) != shownMessage_) {
        Restart(state, now);
    }
    const SignTime t = state.Clock().Now(now);
    char header[96];
    std::snprintf(header, sizeof header, "slot %d (%s)  %04d-%02d-%02d %02d:%02d%s", shownSlot_,
                  IsStatic(shownMessage_) ? "static" : "scrolling", t.Year, t.Month, t.Day, t.Hour,
                  t.Minute, state.Clock().IsSet() ? "" : " (host clock)");

    if (!terminal_) {
        // No clock in the header here: it would print a block every minute.
        std::snprintf(header, sizeof header, "slot %d (%s)", shownSlot_,
                      IsStatic(shownMessage_) ? "static" : "scrolling");
        StripBytes still{};
        std::int16_t x = 0;
        std::int16_t y = 0;
        // Whether the message ended or filled the strip, the strip shows what fits.
        (void)LayoutStatic(
            strip_, still, x, y,
            std::span<const std::uint8_t>(shownMessage_.data(), MessageLength(shownMessage_)));
        Draw(header, still);
        return;
    }
    // Let the preview's tick counters catch up with the time that has passed.
    while (now - lastTick_ >= kTick) {
        PreviewTick(strip_);
        lastTick_ += kTick;
    }
    if (preview_.Running()) {
        (void)preview_.Pass(0, 1); // the strip is drawn below whether or not the pass changed it
    }
    Draw(header, strip_.StripBuffer);
}

void Display::Draw(const std::string& header, const StripBytes& strip) {
    std::string block = Block(header, strip);
    if (drawn_ && block == lastBlock_) {
        return;
    }
    if (terminal_ && drawn_) {
        // Back to the top of the previous block and draw over it.
        std::fprintf(out_, "\x1b[%dA\r", kStripRows + 1);
    }
    std::fputs(block.c_str(), out_);
    std::fflush(out_);
    lastBlock_ = std::move(block);
    drawn_ = true;
}

} // namespace sign_emulator

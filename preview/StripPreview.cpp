#include "preview/StripPreview.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace {

// Display times in ticks for indexes 0..14; from 15 on the time grows by 2500 ticks an index.
constexpr std::array<std::uint32_t, 15> kDisplayTimes = {0,   83,  167, 250,  333,  417,  500, 583,
                                                         667, 750, 833, 1667, 2500, 3333, 4167};

// Two decimal digits of v (taken modulo 100 so that a wild clock value cannot overrun).
void PutTwoDigits(char* out, int v) {
    v = ((v % 100) + 100) % 100;
    out[0] = static_cast<char>('0' + v / 10);
    out[1] = static_cast<char>('0' + v % 10);
}

// Decrements `counter` unless it is 0. A plain load-then-subtract could wrap to 2^32 - 1 if the
// preview stored 0 in between.
void CountDown(std::atomic<std::uint32_t>& counter) {
    std::uint32_t v = counter.load(std::memory_order_relaxed);
    while (v != 0 && !counter.compare_exchange_weak(v, v - 1, std::memory_order_relaxed)) {
    }
}

} // namespace

std::uint32_t DisplayTimeTicks(std::uint8_t index) {
    if (index < kDisplayTimes.size()) {
        return kDisplayTimes[index];
    }
    return (static_cast<std::uint32_t>(index) - 13u) * 2500u;
}

void PreviewTick(PreviewState& state) {
    CountDown(state.StepTicks);
    CountDown(state.HoldTicks);
}

int ResetPreview(PreviewState& state, const FontSet& fonts) {
    state.StripBuffer.fill(0);
    state.StepTicks.store(0);
    state.HoldTicks.store(0);
    InitFontTable(state.FontTable, fonts);
    return 0;
}

void ResetPreviewSettings(PreviewState& state) {
    state.StepPeriod.store(kDefaultStepPeriod);
    state.DisplayTimeIndex = kDefaultDisplayTimeIndex;
    state.StopAtEnd = kDefaultStopAtEnd;
}

int ClearStrip(PreviewState& state) {
    state.StripBuffer.fill(0);
    return 0;
}

LocalDateTime SystemLocalTime() {
    const std::time_t now = std::time(nullptr);
    // Only the preview's thread asks for the time, so the shared result of localtime is safe.
    const std::tm* tm = std::localtime(&now);
    if (tm == nullptr) {
        return {};
    }
    return {tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min};
}

LocalDateTime PreviewNow(const PreviewState& state) {
    return state.Clock ? state.Clock() : SystemLocalTime();
}

int TimeText(const PreviewState& state, FieldText& text) {
    const LocalDateTime t = PreviewNow(state);
    text.fill(0);
    PutTwoDigits(&text[0], t.Hour);
    PutTwoDigits(&text[2], t.Minute);
    return 0;
}

int DateText(const PreviewState& state, FieldText& text) {
    const LocalDateTime t = PreviewNow(state);
    text.fill(0);
    PutTwoDigits(&text[0], t.Day);
    PutTwoDigits(&text[2], t.Month);
    PutTwoDigits(&text[4], t.Year);
    return 0;
}

int TemperatureText(FieldText& text) {
    text.fill(0);
    text[0] = '2';
    text[1] = '1';
    return 0;
}

// ---------------------------------------------------------------------------------------------

void RenderStrip(const StripBytes& strip, Bitmap32& stripBitmap) {
    if (stripBitmap.Width() < kStripBitmapWidth || stripBitmap.Height() < kStripBitmapHeight) {
        return;
    }
    for (int r = 0; r < kStripRows; ++r) {
        const std::uint8_t* rowBytes = strip.data() + static_cast<std::size_t>(r) * kStripStride;
        for (int line = 0; line < kDotSize; ++line) {
            Pixel* out = stripBitmap.Row(r * kDotPitch + line);
            for (int b = 0; b < kStripVisibleBytes; ++b) {
                const unsigned bits = rowBytes[b];
                for (int bit = 0; bit < 8; ++bit) {
                    const Pixel colour = (bits & (0x80u >> bit)) ? kLitDot : kUnlitDot;
                    Pixel* dot = out + static_cast<std::size_t>(b * 8 + bit) * kDotPitch;
                    std::fill(dot, dot + kDotSize, colour);
                }
            }
        }
    }
}

int PixelAt(const StripBytes& buffer, std::int16_t x, std::int16_t y) {
    if (x < 0 || y < 0 || x >= kStripColumns || y >= kStripRows) {
        return 0;
    }
    const std::uint8_t byte =
        buffer[static_cast<std::size_t>(y) * kStripStride + static_cast<std::size_t>(x / 8)];
    return (byte >> (7 - x % 8)) & 1;
}

namespace {

// Sets or clears one dot; dots outside the 80 x 8 buffer are dropped, so a glyph at the right
// edge cannot spill into the start of the next row.
void PutDot(StripBytes& buffer, int x, int y, bool lit) {
    if (x < 0 || y < 0 || x >= kStripColumns || y >= kStripRows) {
        return;
    }
    std::uint8_t& byte =
        buffer[static_cast<std::size_t>(y) * kStripStride + static_cast<std::size_t>(x / 8)];
    const auto mask = static_cast<std::uint8_t>(0x80u >> (x % 8));
    byte = lit ? static_cast<std::uint8_t>(byte | mask) : static_cast<std::uint8_t>(byte & ~mask);
}

} // namespace

int PlaceGlyph(const FontInfoTable& fonts, StripBytes& buffer, int fontIndex, std::int16_t& x,
               std::int16_t& y, bool kerning, std::uint8_t code) {
    const FontInfo& font = fonts[static_cast<std::size_t>(fontIndex & 0x0F)];
    const std::uint8_t* rows = GlyphRows(font, code);
    if (rows == nullptr) {
        return 0;
    }
    const int height = font.Height;
    if (kerning) {
        // Ends at the latest when x - 1 leaves the buffer, where PixelAt reads 0.
        for (;;) {
            bool touches = false;
            for (int r = 0; r < height && !touches; ++r) {
                touches =
                    (rows[r] & 0x80u) != 0 && PixelAt(buffer, static_cast<std::int16_t>(x - 1),
                                                      static_cast<std::int16_t>(y + r)) != 0;
            }
            if (!touches) {
                break;
            }
            ++x;
        }
    }
    for (int r = 0; r < height; ++r) {
        const int row = y + r;
        for (int j = 0; j < font.Width; ++j) {
            PutDot(buffer, x + j, row, false);
        }
        for (int j = 0; j < 8; ++j) {
            if (rows[r] & (0x80u >> j)) {
                PutDot(buffer, x + j, row, true);
            }
        }
    }
    x = static_cast<std::int16_t>(x + font.Width);
    return 0;
}

int LayoutStatic(const PreviewState& state, StripBytes& buffer, std::int16_t& x, std::int16_t& y,
                 std::span<const std::uint8_t> message) {
    std::size_t pos = 0;
    int phase = 0;
    FieldText text{};
    std::uint8_t attribute = 0;
    for (;;) {
        std::uint8_t ch = 0;
        int next = 0;
        switch (phase) {
        case 0:
            // A buffer without an end cell ends with the span, never past it.
            if (pos + 1 >= message.size()) {
                return 0;
            }
            attribute = message[pos];
            ch = message[pos + 1];
            pos += 2;
            if (attribute == 0 || ch == 0) {
                return 0;
            }
            if (signformat::KindOf(attribute) == signformat::kKindTime) {
                TimeText(state, text);
                ch = static_cast<std::uint8_t>(text[0]);
                next = 1;
            }
            break;
        case 1:
            ch = static_cast<std::uint8_t>(text[1]);
            next = 2;
            break;
        case 2:
            ch = ':';
            next = 3;
            break;
        case 3:
            ch = static_cast<std::uint8_t>(text[2]);
            next = 4;
            break;
        default:
            ch = static_cast<std::uint8_t>(text[3]);
            next = 0;
            break;
        }
        phase = next;
        if (x > kStripVisibleColumns) {
            return 1;
        }
        PlaceGlyph(state.FontTable, buffer, ((attribute & 0x0F) - 1) & 0x0F, x, y, true, ch);
    }
}

int EntryBlocked(const StripBytes& strip, const std::uint8_t* glyphRows, int height) {
    if (glyphRows == nullptr) {
        return 0;
    }
    for (int r = 0; r < height && r < kStripRows; ++r) {
        if ((glyphRows[r] & 0x80u) != 0 &&
            PixelAt(strip, kStripVisibleColumns - 1, static_cast<std::int16_t>(r)) != 0) {
            return 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------

bool StripPreview::Start(std::int16_t type, const std::uint8_t* message, std::uint16_t length) {
    running_ = false;
    result_ = 0;
    if (length == 0 || message == nullptr) {
        return false;
    }
    std::copy_n(message, kPreviewMessageBytes, message_.begin());
    length_ = std::min<int>(length, static_cast<int>(kPreviewMessageBytes));
    pos_ = 0;
    phase_ = 0;
    width_ = 8;
    count_ = 0;
    atEnd_ = false;
    attribute_ = 0;
    text_.fill(0);
    PreviewState& state = *state_;
    state.StepTicks.store(0);
    state.HoldTicks.store(DisplayTimeTicks(state.DisplayTimeIndex));
    static_ = type == 1;
    if (static_) {
        if (state.DisplayTimeIndex == 0) {
            state.HoldTicks.store(DisplayTimeTicks(1));
        }
        ClearStrip(state);
    }
    running_ = true;
    return true;
}

std::uint8_t StripPreview::ByteAt(int index) const {
    return index >= 0 && index < static_cast<int>(message_.size())
               ? message_[static_cast<std::size_t>(index)]
               : 0;
}

StripPreview::PassOutcome StripPreview::Finish(int result) {
    ClearStrip(*state_);
    running_ = false;
    result_ = result;
    PassOutcome outcome;
    outcome.Finished = true;
    outcome.Result = result;
    outcome.Changed = true;
    return outcome;
}

StripPreview::PassOutcome StripPreview::Pass(std::uint8_t key, std::uint16_t running) {
    PassOutcome outcome;
    if (!running_) {
        outcome.Finished = true;
        outcome.Result = result_;
        return outcome;
    }
    PreviewState& state = *state_;
    if (static_) {
        const StripBytes before = state.StripBuffer;
        std::int16_t x = 0;
        std::int16_t y = 0;
        // Whether the message ended or filled the strip, the strip shows what fits.
        (void)LayoutStatic(state, state.StripBuffer, x, y, std::span<const std::uint8_t>(message_));
        atEnd_ = true;
        outcome.Changed = before != state.StripBuffer;
    } else if (state.StepTicks.load() == 0) {
        ScrollStep();
        outcome.Changed = true;
        outcome.Stepped = true;
    }
    if (key == kEscapeKey) {
        outcome = Finish(kEscapeKey);
    } else if (running == 0 || (state.StopAtEnd != 0 && state.HoldTicks.load() == 0 && atEnd_)) {
        outcome = Finish(0);
    }
    return outcome;
}

std::uint8_t StripPreview::NextCharacter(int& nextPhase) {
    std::uint8_t ch = 0;
    switch (phase_) {
    case 0: {
        attribute_ = ByteAt(pos_);
        ch = ByteAt(pos_ + 1);
        pos_ += 2;
        if (pos_ > length_) {
            pos_ = 0;
            atEnd_ = true;
        }
        nextPhase = 0;
        switch (signformat::KindOf(attribute_)) {
        case signformat::kKindTime:
            TimeText(*state_, text_);
            ch = static_cast<std::uint8_t>(text_[0]);
            nextPhase = 1;
            break;
        case signformat::kKindDate:
            DateText(*state_, text_);
            ch = static_cast<std::uint8_t>(text_[0]);
            nextPhase = 7;
            break;
        case signformat::kKindTemperature:
            TemperatureText(text_);
            ch = static_cast<std::uint8_t>(text_[0]);
            nextPhase = text_[1] != 0 ? 14 : 0;
            break;
        default:
            break;
        }
        return ch;
    }
    case 1:
        nextPhase = 2;
        return static_cast<std::uint8_t>(text_[1]);
    case 2:
        nextPhase = 3;
        return ':';
    case 3:
        nextPhase = 4;
        return static_cast<std::uint8_t>(text_[2]);
    case 4:
        nextPhase = 0;
        return static_cast<std::uint8_t>(text_[3]);
    case 5:
        nextPhase = 6;
        return '2';
    case 6:
        nextPhase = 12;
        return '0';
    case 7:
        nextPhase = 8;
        return static_cast<std::uint8_t>(text_[1]);
    case 8:
        nextPhase = 9;
        return '/';
    case 9:
        nextPhase = 10;
        return static_cast<std::uint8_t>(text_[2]);
    case 10:
        nextPhase = 11;
        return static_cast<std::uint8_t>(text_[3]);
    case 11:
        nextPhase = 5;
        return '/';
    case 12:
        nextPhase = 13;
        return static_cast<std::uint8_t>(text_[4]);
    case 13:
        nextPhase = 0;
        return static_cast<std::uint8_t>(text_[5]);
    case 14:
        nextPhase = text_[2] != 0 ? 15 : 0;
        return static_cast<std::uint8_t>(text_[1]);
    default: // 15
        nextPhase = 0;
        return static_cast<std::uint8_t>(text_[2]);
    }
}

void StripPreview::ScrollStep() {
    PreviewState& state = *state_;
    StripBytes& strip = state.StripBuffer;
    atEnd_ = false;
    state.StepTicks.store(state.StepPeriod.load());
    if (count_ >= width_) {
        const int phaseBefore = phase_;
        const int posBefore = pos_;
        int next = 0;
        const std::uint8_t ch = NextCharacter(next);
        const int fontNumber = attribute_ & 0x0F;
        if (fontNumber >= 1 && fontNumber <= kFontCount) {
            const FontInfo& font = FontEntry(state.FontTable, fontNumber);
            const std::uint8_t* rows = GlyphRows(font, ch);
            const int height = std::min<int>(font.Height, kStripRows);
            if (EntryBlocked(strip, rows, height) != 0) {
                // Tried again at the next step; a cell is read again, with fresh field text.
                if (phaseBefore == 0) {
                    pos_ = posBefore;
                }
                if (observer_) {
                    observer_(ch, attribute_, false);
                }
            } else {
                for (int r = 0; r < height; ++r) {
                    strip[static_cast<std::size_t>(r) * kStripStride + 8] =
                        rows != nullptr ? rows[r] : 0;
                }
                if (height == 7) {
                    strip[7 * kStripStride + 8] = 0;
                }
                width_ = font.Width;
                phase_ = next;
                count_ = 0;
                if (observer_) {
                    observer_(ch, attribute_, true);
                }
            }
        } else {
            // No font: a blank as wide as the last glyph.
            phase_ = next;
            count_ = 0;
            if (observer_) {
                observer_(ch, attribute_, true);
            }
        }
    }
    ++count_;
    for (int r = 0; r < kStripRows; ++r) {
        std::uint8_t* row = strip.data() + static_cast<std::size_t>(r) * kStripStride;
        for (int b = 0; b < kStripStride; ++b) {
            const unsigned carry = b + 1 < kStripStride ? (row[b + 1] >> 7) : 0u;
            row[b] = static_cast<std::uint8_t>((row[b] << 1) | carry);
        }
    }
}

int RunPreview(PreviewState& state, std::int16_t type, const std::uint8_t* message,
               std::uint16_t length, const std::function<std::uint8_t(bool changed)>& pump,
               const std::function<std::uint16_t()>& running) {
    StripPreview preview(state);
    if (!preview.Start(type, message, length)) {
        return 0;
    }
    std::uint8_t key = 0;
    for (;;) {
        const StripPreview::PassOutcome outcome = preview.Pass(key, running());
        const std::uint8_t taken = pump(outcome.Changed);
        if (outcome.Finished) {
            return outcome.Result;
        }
        key = taken;
    }
}

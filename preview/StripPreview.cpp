#include "preview/StripPreview.h"

#include <algorithm>
#include <ctime>
#include <optional>
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
// The live fields, each described once: the scroll steps and the static layout both expand a
// field from its table.

namespace {

// One character of a live field: a character of the field's text, which is taken when the
// field's cell is read so that a field never mixes two readings of the clock, or a fixed one.
struct FieldCharacter {
    ExpansionPhase phase; // the phase that gives this character (NextCell for a field's first)
    int textIndex;        // index into the field's text, or kFixed
    char fixed;           // the character when textIndex is kFixed
    // A text character that may be missing: a 0 there ends the field before it.
    bool optional;
};
constexpr int kFixed = -1;

constexpr FieldCharacter FromText(ExpansionPhase phase, int index, bool optional = false) {
    return {phase, index, 0, optional};
}
constexpr FieldCharacter Fixed(ExpansionPhase phase, char c) {
    return {phase, kFixed, c, false};
}

using P = ExpansionPhase;

// TimeText "hhnn" shown as "hh:nn".
constexpr FieldCharacter kTimeCharacters[] = {
    FromText(P::NextCell, 0),    // hour, tens
    FromText(P::HourUnits, 1),   // hour, units
    Fixed(P::TimeColon, ':'),    // separator
    FromText(P::MinuteTens, 2),  // minute, tens
    FromText(P::MinuteUnits, 3), // minute, units
};
// DateText "ddmmyy" shown as "dd/mm/20yy": the text holds two digits of the year, the century
// is shown as a fixed "20".
constexpr FieldCharacter kDateCharacters[] = {
    FromText(P::NextCell, 0),    // day, tens
    FromText(P::DayUnits, 1),    // day, units
    Fixed(P::DaySlash, '/'),     // separator
    FromText(P::MonthTens, 2),   // month, tens
    FromText(P::MonthUnits, 3),  // month, units
    Fixed(P::MonthSlash, '/'),   // separator
    Fixed(P::CenturyTens, '2'),  // century, tens
    Fixed(P::CenturyUnits, '0'), // century, units
    FromText(P::YearTens, 4),    // year, tens
    FromText(P::YearUnits, 5),   // year, units
};
// TemperatureText shown as it is: up to three characters, a minus sign and digits.
constexpr FieldCharacter kTemperatureCharacters[] = {
    FromText(P::NextCell, 0),                // sign or first digit
    FromText(P::TemperatureSecond, 1, true), // digit, if any
    FromText(P::TemperatureThird, 2, true),  // digit, if any
};

struct LiveField {
    std::uint8_t kind;                                // the cell kind that starts the field
    int (*takeText)(const PreviewState&, FieldText&); // reads the clock for the field's text
    std::span<const FieldCharacter> characters;       // in the order they are shown
    bool expandedWhenStatic; // else a static layout draws the cell's own glyph (its placeholder)
};

constexpr std::array<LiveField, 3> kLiveFields = {{
    {signformat::kKindTime, TimeText, kTimeCharacters, true},
    {signformat::kKindDate, DateText, kDateCharacters, false},
    {signformat::kKindTemperature,
     [](const PreviewState&, FieldText& text) { return TemperatureText(text); },
     kTemperatureCharacters, false},
}};

// The live field a cell with `attribute` starts, or nullptr for a plain character.
const LiveField* FieldOf(std::uint8_t attribute) {
    const auto found = std::find_if(kLiveFields.begin(), kLiveFields.end(), [&](const auto& f) {
        return f.kind == signformat::KindOf(attribute);
    });
    return found != kLiveFields.end() ? &*found : nullptr;
}

// The index in `field` of the character that `phase` gives, or nullopt when the phase is not
// one of the field's.
std::optional<std::size_t> IndexOf(const LiveField& field, ExpansionPhase phase) {
    const auto c = field.characters;
    const auto found =
        std::find_if(c.begin(), c.end(), [&](const auto& ch) { return ch.phase == phase; });
    return found != c.end() ? std::optional(static_cast<std::size_t>(found - c.begin()))
                            : std::nullopt;
}

std::uint8_t CharacterAt(const LiveField& field, const FieldText& text, std::size_t index) {
    const FieldCharacter& c = field.characters[index];
    return static_cast<std::uint8_t>(
        c.textIndex == kFixed ? c.fixed : text[static_cast<std::size_t>(c.textIndex)]);
}

// The number of characters `field` shows with `text`: all of them, or up to the first missing
// optional one.
std::size_t ShownLength(const LiveField& field, const FieldText& text) {
    for (std::size_t i = 1; i < field.characters.size(); ++i) {
        if (field.characters[i].optional && CharacterAt(field, text, i) == 0) {
            return i;
        }
    }
    return field.characters.size();
}

// The phase after character `index` of `field`: the field's next character, or the next cell.
ExpansionPhase PhaseAfter(const LiveField& field, const FieldText& text, std::size_t index) {
    return index + 1 < ShownLength(field, text) ? field.characters[index + 1].phase : P::NextCell;
}

} // namespace

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
    FieldText text{};
    // A buffer without an end cell ends with the span, never past it.
    for (std::size_t pos = 0; pos + 1 < message.size(); pos += 2) {
        const std::uint8_t attribute = message[pos];
        const std::uint8_t code = message[pos + 1];
        if (attribute == 0 || code == 0) {
            return 0;
        }
        const int fontIndex = ((attribute & 0x0F) - 1) & 0x0F;
        // False when the strip is full: nothing more is placed.
        const auto place = [&](std::uint8_t ch) {
            if (x > kStripVisibleColumns) {
                return false;
            }
            PlaceGlyph(state.FontTable, buffer, fontIndex, x, y, true, ch);
            return true;
        };
        const LiveField* field = FieldOf(attribute);
        if (field == nullptr || !field->expandedWhenStatic) {
            if (!place(code)) {
                return 1;
            }
            continue;
        }
        field->takeText(state, text);
        const std::size_t shown = ShownLength(*field, text);
        for (std::size_t i = 0; i < shown; ++i) {
            if (!place(CharacterAt(*field, text, i))) {
                return 1;
            }
        }
    }
    return 0;
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
    phase_ = ExpansionPhase::NextCell;
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

std::uint8_t StripPreview::NextCharacter(ExpansionPhase& nextPhase) {
    nextPhase = ExpansionPhase::NextCell;
    if (phase_ == ExpansionPhase::NextCell) {
        attribute_ = ByteAt(pos_);
        const std::uint8_t code = ByteAt(pos_ + 1);
        pos_ += 2;
        if (pos_ > length_) {
            pos_ = 0;
            atEnd_ = true;
        }
        const LiveField* field = FieldOf(attribute_);
        if (field == nullptr) {
            return code;
        }
        field->takeText(*state_, text_);
        nextPhase = PhaseAfter(*field, text_, 0);
        return CharacterAt(*field, text_, 0);
    }
    // Inside the field of the cell read last; its text was taken with the cell.
    const LiveField* field = FieldOf(attribute_);
    const std::optional<std::size_t> index =
        field != nullptr ? IndexOf(*field, phase_) : std::nullopt;
    if (!index) {
        return 0; // not reached: a phase is only entered from its field's cell
    }
    nextPhase = PhaseAfter(*field, text_, *index);
    return CharacterAt(*field, text_, *index);
}

void StripPreview::ScrollStep() {
    PreviewState& state = *state_;
    StripBytes& strip = state.StripBuffer;
    atEnd_ = false;
    state.StepTicks.store(state.StepPeriod.load());
    if (count_ >= width_) {
        const ExpansionPhase phaseBefore = phase_;
        const int posBefore = pos_;
        ExpansionPhase next = ExpansionPhase::NextCell;
        const std::uint8_t ch = NextCharacter(next);
        const int fontNumber = attribute_ & 0x0F;
        if (fontNumber >= 1 && fontNumber <= kFontCount) {
            const FontInfo& font = FontEntry(state.FontTable, fontNumber);
            const std::uint8_t* rows = GlyphRows(font, ch);
            const int height = std::min<int>(font.Height, kStripRows);
            if (EntryBlocked(strip, rows, height) != 0) {
                // Tried again at the next step; a cell is read again, with fresh field text.
                if (phaseBefore == ExpansionPhase::NextCell) {
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

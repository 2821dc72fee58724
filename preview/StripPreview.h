#pragma once
// On-screen simulation of the 64 x 8 dot LED strip.
//
// The sign's display is modelled as a bit buffer of 8 rows by 80 columns: the left 64 columns
// are visible, the right 16 are a hidden staging area where the next character is put before
// it scrolls in. A scrolling message moves one column to the left per step; a static message
// is laid out from column 0 and laid out again on every pass so that a time field follows the
// clock.
//
// Everything a preview plays on - the strip buffer, the tick counters, the settings, the font
// table and the clock of the live fields - lives in one PreviewState, owned by whoever shows the
// strip and passed to every operation that needs it; several previews can play side by side.
// Everything here runs on the owner's thread except PreviewTick and what a ticker thread reads
// (StepTicks, HoldTicks, StepPeriod), which are atomic.

#include "format/SignFormat.h"
#include "preview/Bitmap32.h"
#include "preview/Fonts.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

// ---------------------------------------------------------------------------------------------
// Strip buffer

constexpr int kStripRows = 8;
constexpr int kStripStride = 10;      // bytes per row
constexpr int kStripVisibleBytes = 8; // bytes 0..7 of a row are shown
constexpr int kStripVisibleColumns = 64;
constexpr int kStripColumns = 80; // including the 16 hidden staging columns
constexpr int kStripBytes = kStripRows * kStripStride;

// Row r occupies bytes 10r .. 10r + 9; byte b of a row holds columns 8b .. 8b + 7, the most
// significant bit being the leftmost column; a set bit is a lit dot.
using StripBytes = std::array<std::uint8_t, kStripBytes>;

// ---------------------------------------------------------------------------------------------
// Strip picture

constexpr int kDotPitch = 7; // a 6 x 6 dot, then one pixel column and row left untouched
constexpr int kDotSize = 6;
constexpr int kStripBitmapWidth = kStripVisibleColumns * kDotPitch; // 448
constexpr int kStripBitmapHeight = kStripRows * kDotPitch;          // 56
constexpr Pixel kLitDot = Rgb(47, 47, 255);
constexpr Pixel kUnlitDot = Rgb(47, 47, 47);

// Paints the 64 x 8 visible dots of `strip` into `stripBitmap` (the window's 448 x 56
// StripBitmap): dot (c, r) is the 6 x 6 square at (7c, 7r) in kLitDot or kUnlitDot; the seventh
// pixel column and row after each dot are not touched. A bitmap smaller than 448 x 56 is left
// as it is.
void RenderStrip(const StripBytes& strip, Bitmap32& stripBitmap);

// ---------------------------------------------------------------------------------------------
// Clock of the live fields

struct LocalDateTime {
    int Year = 2000; // four digits
    int Month = 1;   // 1..12
    int Day = 1;     // 1..31
    int Hour = 0;    // 0..23
    int Minute = 0;  // 0..59
};

// Gives the current local date and time. Called on the preview's thread only.
using PreviewClock = std::function<LocalDateTime()>;

// The computer's local date and time.
LocalDateTime SystemLocalTime();

// ---------------------------------------------------------------------------------------------
// The state of one preview

constexpr std::uint8_t kDefaultStepPeriod = 2;
constexpr std::uint8_t kDefaultDisplayTimeIndex = 2;
constexpr std::uint16_t kDefaultStopAtEnd = 0;
constexpr int kTickMilliseconds = 12;

// The strip, counters, settings, font table and clock of one preview. Its owner keeps it for as
// long as the strip is shown; it is neither copied nor moved (previews and tickers refer to it).
struct PreviewState {
    PreviewState() = default;
    PreviewState(const PreviewState&) = delete;
    PreviewState& operator=(const PreviewState&) = delete;

    // The strip the preview plays on.
    StripBytes StripBuffer{};
    // Ticks left until the next scroll step (0 = a step is due) and ticks left of the message's
    // minimum display time. Counted down by PreviewTick, possibly on another thread.
    std::atomic<std::uint32_t> StepTicks{0};
    std::atomic<std::uint32_t> HoldTicks{0};
    // Ticks of 12 ms between scroll steps; a ticker thread reads it to pace its wake-ups.
    std::atomic<std::uint8_t> StepPeriod{kDefaultStepPeriod};
    // Index into the display-time table (DisplayTimeTicks).
    std::uint8_t DisplayTimeIndex = kDefaultDisplayTimeIndex;
    // When not 0, a preview ends by itself once its display time has run out and the message
    // has reached its end.
    std::uint16_t StopAtEnd = kDefaultStopAtEnd;
    // The fonts the preview draws with; empty until ResetPreview. Refers to a FontSet that the
    // owner keeps alive as long as this state.
    FontInfoTable FontTable{};
    // The clock of the live fields; empty means the system clock.
    PreviewClock Clock;
};

// Minimum display time for `index`, in 12 ms ticks: about `index` seconds up to 10, then 20,
// 30, 40, 50 s and (index - 13) x 2500 ticks from 15 on.
std::uint32_t DisplayTimeTicks(std::uint8_t index);

// One tick of the 12 ms timer: decrements the state's StepTicks and HoldTicks, each only if it
// is not 0. Safe to call from any thread.
void PreviewTick(PreviewState& state);

// StripBuffer all 0, StepTicks = HoldTicks = 0, InitFontTable(FontTable, fonts). `fonts` must
// outlive every later use of the state's font table. Returns 0.
int ResetPreview(PreviewState& state, const FontSet& fonts);

// StepPeriod, DisplayTimeIndex and StopAtEnd back to their start-up values (2, 2, 0).
void ResetPreviewSettings(PreviewState& state);

// StripBuffer all 0. Returns 0.
int ClearStrip(PreviewState& state);

// The state's clock, or the system's when it has none.
LocalDateTime PreviewNow(const PreviewState& state);

// Text of a live field: up to 6 characters and a terminating 0.
using FieldText = std::array<char, 8>;

// "hhnn": hour 00-23 and minute 00-59 of the state's clock, then 0. Returns 0.
int TimeText(const PreviewState& state, FieldText& text);
// "ddmmyy": day, month and two-digit year of the state's clock, then 0. Returns 0.
int DateText(const PreviewState& state, FieldText& text);
// The fixed "21": the preview shows every temperature field as 21 degrees. Returns 0.
int TemperatureText(FieldText& text);

// ---------------------------------------------------------------------------------------------
// Drawing and layout

// Dot (x, y) of `buffer`: 0 when x or y is negative or the dot lies outside the 80 x 8 buffer,
// else 1 for a lit dot.
int PixelAt(const StripBytes& buffer, std::int16_t x, std::int16_t y);

// Draws glyph `code` of fonts[fontIndex & 15] into `buffer` with its top-left corner at
// (x, y) and advances x by the font's width. With `kerning`, x first moves right while the
// glyph's leftmost dot and the dot at x - 1 are both lit in some row, so touching characters
// get one blank column between them. Per glyph row: the font's Width columns from x are
// cleared, then the whole 8-bit row byte is OR-ed into columns x .. x + 7. Dots that would lie
// outside the 80 x 8 buffer (negative, past column 79 or below row 7) are not written; an empty
// font entry draws nothing and does not move x. y is not changed. Returns 0.
int PlaceGlyph(const FontInfoTable& fonts, StripBytes& buffer, int fontIndex, std::int16_t& x,
               std::int16_t& y, bool kerning, std::uint8_t code);

// Lays a static message out left to right into `buffer` from (x, y), in the state's fonts, with
// kerning, while the next character starts at most at column 64. A time field shows as hours
// ":" minutes from TimeText, as it scrolls; date and temperature fields draw their cells' own
// glyphs (the placeholders). `message` is the message buffer; reading stops at the first cell
// with attribute 0 or code 0, or at the end of the span.
// Returns 0 when the message ended, 1 when the strip is full. x is left after the last glyph.
[[nodiscard]] int LayoutStatic(const PreviewState& state, StripBytes& buffer, std::int16_t& x,
                               std::int16_t& y, std::span<const std::uint8_t> message);

// 1 when for some row r < height both the leftmost dot of glyph row r (bit 7) and column 63 of
// `strip`'s row r are lit (the glyph must wait a step so that it does not touch), else 0.
[[nodiscard]] int EntryBlocked(const StripBytes& strip, const std::uint8_t* glyphRows, int height);

// ---------------------------------------------------------------------------------------------
// Live fields

// The phases of expanding a message into characters, in reading order: the next cell, then the
// characters of each live field after its first (which comes with the field's cell). Each
// field's characters and where they come from are one table in StripPreview.cpp.
enum class ExpansionPhase : std::uint8_t {
    NextCell = 0, // a plain character, or a field's first: hour tens, day tens, temperature's first
    // Time, "hh:nn"
    HourUnits = 1,
    TimeColon = 2,
    MinuteTens = 3,
    MinuteUnits = 4,
    // Date, "dd/mm/20yy"
    DayUnits = 5,
    DaySlash = 6,
    MonthTens = 7,
    MonthUnits = 8,
    MonthSlash = 9,
    CenturyTens = 10,
    CenturyUnits = 11,
    YearTens = 12,
    YearUnits = 13,
    // Temperature, a sign or digit then up to two more: the field ends at the first it lacks
    TemperatureSecond = 14,
    TemperatureThird = 15,
};

// ---------------------------------------------------------------------------------------------
// The preview loop, one pass at a time

constexpr std::uint8_t kEscapeKey = 27;
constexpr std::size_t kPreviewMessageBytes = signformat::kMessageBytes;

// One running preview of a message on a PreviewState, advanced by the caller one pass at a time
// so that a window can drive it from its own event loop and a tool can drive it without real
// time. The state must outlive the preview.
//
// Start copies the message, so the caller's buffer may change while the preview plays.
// Each Pass does what one pass of the preview loop does: a static message is laid out again; a
// scrolling message makes one scroll step when StepTicks is 0 (and sets StepTicks to StepPeriod,
// so steps come every StepPeriod ticks of PreviewTick). Then the pass looks at the caller's key
// and running flag: Escape (27) clears the strip and finishes with 27; a running flag of 0 clears
// the strip and finishes with 0; with StopAtEnd set, the end of the display time at the end of
// the message clears the strip and finishes with 0.
//
// Driving it from a window: call PreviewTick on the state every 12 ms (from any thread), and Pass
// on the window's thread at least once per tick - for instance from the same 12 ms timer - with
// the key taken from LastKey (then reset LastKey to 0) and PreviewRunning; call RenderStrip and
// show the picture only when the outcome says Changed, and stop passing once it says Finished.
class StripPreview {
public:
    struct PassOutcome {
        bool Finished = false; // the preview has ended; Result holds its result
        int Result = 0;        // 27 = stopped by Escape, 0 = otherwise
        bool Changed = false;  // StripBuffer may differ from the last pass: repaint
        bool Stepped = false;  // a scroll step was made
    };

    explicit StripPreview(PreviewState& state) : state_(&state) {}

    PreviewState& State() const { return *state_; }

    // Starts playing: `type` is the message's type byte read as signed (1 = static, anything else
    // scrolling), `message` the 1024-byte message buffer (nullptr counts as empty), `length` the
    // number of bytes before its first zero byte (at most 1024 are used). Sets StepTicks to 0 and
    // HoldTicks from DisplayTimeIndex; a static preview clears the strip. With length 0 nothing is
    // touched and the preview is finished at once with result 0. Returns true when passes are
    // needed (Running()).
    [[nodiscard]] bool Start(std::int16_t type, const std::uint8_t* message, std::uint16_t length);

    // One pass. `key` is the key code taken from the window since the last pass (0 = none),
    // `running` the window's PreviewRunning flag. Calling Pass on a finished preview does nothing
    // and repeats the result.
    [[nodiscard]] PassOutcome Pass(std::uint8_t key, std::uint16_t running);

    bool Running() const { return running_; }
    int Result() const { return result_; }
    bool Static() const { return static_; }

    // Scroll state, for tools and tests: the read position (byte offset of the next cell), the
    // expansion phase (the number of the ExpansionPhase the next character comes from), the
    // width of the last glyph and the columns moved since it was placed.
    int ReadPosition() const { return pos_; }
    int Phase() const { return static_cast<int>(phase_); }
    int GlyphWidth() const { return width_; }
    // True when the last step read the message's end cell and wrapped to its start.
    bool AtEnd() const { return atEnd_; }
    // True when the next scroll step will take a new character (the last one has moved its full
    // width to the left).
    bool CharacterDue() const { return count_ >= width_; }

    // Characters taken by the scroll steps so far, as placed (or tried when blocked): for tests
    // and tools that follow the expansion of live fields.
    using CharacterObserver =
        std::function<void(std::uint8_t code, std::uint8_t attribute, bool placed)>;
    void SetCharacterObserver(CharacterObserver observer) { observer_ = std::move(observer); }

private:
    void ScrollStep();
    std::uint8_t NextCharacter(ExpansionPhase& nextPhase);
    std::uint8_t ByteAt(int index) const;
    PassOutcome Finish(int result);

    PreviewState* state_;
    std::array<std::uint8_t, kPreviewMessageBytes> message_{};
    int length_ = 0;
    bool running_ = false;
    bool static_ = false;
    int result_ = 0;

    int pos_ = 0;
    ExpansionPhase phase_ = ExpansionPhase::NextCell;
    int width_ = 8;
    int count_ = 0;
    bool atEnd_ = false;
    std::uint8_t attribute_ = 0;
    FieldText text_{};
    CharacterObserver observer_;
};

// Plays a message on `state` until it stops, for callers that can block: `pump` is called after
// every pass with whether the strip changed (render and show it, process pending events, wait for
// the next tick) and returns the key taken (27 = Escape, 0 = none); `running` gives the
// PreviewRunning flag. Returns 27 when stopped by Escape, else 0.
[[nodiscard]] int RunPreview(PreviewState& state, std::int16_t type, const std::uint8_t* message,
                             std::uint16_t length,
                             const std::function<std::uint8_t(bool changed)>& pump,
                             const std::function<std::uint16_t()>& running);

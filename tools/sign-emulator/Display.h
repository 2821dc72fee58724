#pragma once
// What the sign shows, drawn as text: a header line (slot, kind, the sign's clock) and the
// 64 x 8 dots of the strip, '#' lit and '.' unlit.
//
// On a terminal the strip plays as the sign plays it (scrolling or standing, live fields from
// the sign's own clock) and is redrawn in place. Elsewhere (a pipe or a file) the animation
// would be an endless stream, so a block is printed only when what the sign shows changes: the
// shown slot, its message, or the text of its live fields; the block holds the message laid
// out from the left edge as a static message would stand.

#include "preview/Fonts.h"
#include "preview/StripPreview.h"
#include "tools/sign-emulator/SignState.h"

#include <array>
#include <cstdio>
#include <string>

namespace sign_emulator {

class Display {
public:
    // Loads the fonts, naming on stderr each font file it had to skip; `out` receives the
    // drawings.
    Display(std::FILE* out, bool terminal);

    // Brings the drawing up to date with `state` at monotonic instant `now`; writes to the
    // output only when the drawing changed.
    void Update(const SignState& state, SignClock::Steady::time_point now);

    // How long the caller may wait before the next Update without the drawing falling behind.
    int PollInterval() const;

    // The text block for a strip: the header line, then 8 rows of 64 characters.
    static std::string Block(const std::string& header, const StripBytes& strip);

private:
    void Restart(const SignState& state, SignClock::Steady::time_point now);
    void Draw(const std::string& header, const StripBytes& strip);

    std::FILE* out_;
    bool terminal_;
    FontSet fonts_;
    const SignState* state_ = nullptr;
    SignClock::Steady::time_point now_{};

    PreviewState strip_; // its font table refers to fonts_, its clock to state_ and now_
    StripPreview preview_{strip_};
    int shownSlot_ = 0;
    std::array<std::uint8_t, kMessageSize> shownMessage_{};
    SignClock::Steady::time_point lastTick_{};
    std::string lastBlock_;
    bool drawn_ = false;
};

} // namespace sign_emulator

// Plays any message buffer through the strip preview, scrolling and static, for 2,000 passes
// each with the live fields expanded, and checks what the preview promises: the read position
// stays inside the message, a glyph is never wider than the staging columns, the preview keeps
// running until it is told to stop, and Escape ends it with 27 on a clear strip.

#include "preview/Fonts.h"
#include "preview/StripPreview.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kPasses = 2000;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void Play(PreviewState& state, std::int16_t type, const std::uint8_t* message,
          std::uint16_t length) {
    StripPreview preview(state);
    if (!preview.Start(type, message, length)) {
        Check(length == 0);
        return;
    }
    for (int pass = 0; pass < kPasses; ++pass) {
        while (state.StepTicks.load() != 0) {
            PreviewTick(state);
        }
        const StripPreview::PassOutcome outcome = preview.Pass(0, 1);
        Check(!outcome.Finished && preview.Running());
        Check(preview.ReadPosition() >= 0 && preview.ReadPosition() <= length);
        Check(preview.GlyphWidth() >= 0 && preview.GlyphWidth() <= 8);
        Check(preview.Phase() >= 0 && preview.Phase() <= 15);
    }
    const StripPreview::PassOutcome stopped = preview.Pass(kEscapeKey, 1);
    Check(stopped.Finished && stopped.Result == kEscapeKey);
    Check(state.StripBuffer == StripBytes{});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FontSet fonts;
    static PreviewState state;
    static bool ready = false;
    if (!ready) {
        (void)LoadFonts(fonts,
                        FontSearchPath{}); // the built-in fonts, whatever the directory holds
        ResetPreview(state, fonts);
        ready = true;
    }
    // The clock follows the input too, so every field text is exercised.
    const std::uint8_t seed = size > 0 ? data[0] : 0;
    state.Clock = [seed] {
        return LocalDateTime{2000 + seed % 100, 1 + seed % 12, 1 + seed % 31, seed % 24, seed % 60};
    };

    std::array<std::uint8_t, kPreviewMessageBytes> message{};
    std::copy_n(data, std::min(size, message.size()), message.begin());
    // The length the send action gives: the bytes before the first zero byte.
    const auto length = static_cast<std::uint16_t>(
        std::find(message.begin(), message.end(), std::uint8_t{0}) - message.begin());

    ResetPreviewSettings(state);
    ClearStrip(state);
    Play(state, 0, message.data(), length);
    Play(state, 1, message.data(), length);

    Bitmap32 picture(kStripBitmapWidth, kStripBitmapHeight);
    RenderStrip(state.StripBuffer, picture);
    return 0;
}

// Cost of the strip preview's passes: one scroll step plus repainting the strip picture, and one
// static layout pass plus repainting. The window repaints only after a pass that changed the
// strip, so a scrolling preview costs about one step and one render per 24 ms.

#include "preview/Fonts.h"
#include "preview/StripPreview.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>

namespace {

using Message = std::array<std::uint8_t, kPreviewMessageBytes>;

// "Zegar hh:mm dd/mm/20yy 21 stopni " in font 4 with the three live fields, then the type byte.
Message MakeMessage(std::uint8_t type) {
    Message m{};
    std::size_t i = 0;
    auto put = [&m, &i](std::uint8_t a, std::uint8_t c) {
        m[i++] = a;
        m[i++] = c;
    };
    for (const char* p = "Zegar "; *p; ++p) {
        put(0x04, static_cast<std::uint8_t>(*p));
    }
    put(0x14, 0xFF);
    put(0x04, ' ');
    put(0x24, 0xFE);
    put(0x04, ' ');
    put(0x34, 0xFA);
    for (const char* p = " stopni "; *p; ++p) {
        put(0x01, static_cast<std::uint8_t>(*p));
    }
    m[1023] = type;
    return m;
}

std::uint16_t LengthOf(const Message& m) {
    std::uint16_t n = 0;
    while (n < m.size() && m[n] != 0) {
        ++n;
    }
    return n;
}

FontSet& Fonts() {
    static FontSet fonts;
    // A font missing on disk is replaced by the copy compiled in: the load's report is not needed.
    static const bool loaded = ((void)LoadFonts(fonts), true);
    (void)loaded;
    return fonts;
}

// A preview state with the real fonts and a fixed clock.
void Prepare(PreviewState& strip) {
    ResetPreview(strip, Fonts());
    ResetPreviewSettings(strip);
    strip.Clock = [] { return LocalDateTime{2026, 3, 5, 14, 7}; };
}

void BM_ScrollStepAndRender(benchmark::State& state) {
    PreviewState strip;
    Prepare(strip);
    const Message m = MakeMessage(0);
    StripPreview preview(strip);
    if (!preview.Start(0, m.data(), LengthOf(m))) {
        state.SkipWithError("the message has nothing to scroll");
        return;
    }
    Bitmap32 bitmap(kStripBitmapWidth, kStripBitmapHeight);
    for (auto _ : state) {
        strip.StepTicks.store(0); // a step is due on every pass
        const auto outcome = preview.Pass(0, 1);
        if (outcome.Changed) {
            RenderStrip(strip.StripBuffer, bitmap);
        }
        benchmark::DoNotOptimize(bitmap.Bits());
    }
}
BENCHMARK(BM_ScrollStepAndRender);

void BM_StaticLayoutAndRender(benchmark::State& state) {
    PreviewState strip;
    Prepare(strip);
    const Message m = MakeMessage(1);
    StripPreview preview(strip);
    if (!preview.Start(1, m.data(), LengthOf(m))) {
        state.SkipWithError("the message has nothing to lay out");
        return;
    }
    Bitmap32 bitmap(kStripBitmapWidth, kStripBitmapHeight);
    for (auto _ : state) {
        (void)preview.Pass(0, 1); // a static message changes the strip on its first pass only
        RenderStrip(strip.StripBuffer, bitmap); // rendered every pass here, to bound the cost
        benchmark::DoNotOptimize(bitmap.Bits());
    }
}
BENCHMARK(BM_StaticLayoutAndRender);

void BM_RenderStripOnly(benchmark::State& state) {
    StripBytes strip{};
    for (std::size_t i = 0; i < strip.size(); ++i) {
        strip[i] = static_cast<std::uint8_t>(i * 37);
    }
    Bitmap32 bitmap(kStripBitmapWidth, kStripBitmapHeight);
    for (auto _ : state) {
        RenderStrip(strip, bitmap);
        benchmark::DoNotOptimize(bitmap.Bits());
    }
}
BENCHMARK(BM_RenderStripOnly);

} // namespace

BENCHMARK_MAIN();

// ledsign preview: plays a message file on the strip preview without real time and prints the
// strip, optionally as a PNG picture and an animated GIF of one full cycle.
//
// A scrolling message's full cycle is the steps from the start until the read position has
// wrapped over the message's end cell and the blank of that end cell has moved fully in: the
// next step would take the message's first cell again.

#include "preview/Fonts.h"
#include "preview/StripPreview.h"
#include "preview/Utf8Files.h"
#include "tools/ledsign/Cli.h"
#include "tools/ledsign/Command.h"
#include "tools/ledsign/DeviceFiles.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef LEDSIGN_HAVE_PNG
#include <png.h>
#endif
#ifdef LEDSIGN_HAVE_GIF
#include <gif_lib.h>
#endif

namespace ledsign_tool {
namespace {

// Upper bound on the steps of one cycle: 512 cells of up to 16 characters, each held back at
// most a glyph width, with room to spare. Only a broken engine would reach it.
constexpr int kMaxCycleSteps = 512 * 16 * 16 * 2;

// Real step time: StepPeriod ticks of 12 ms.
constexpr int kStepMilliseconds = kDefaultStepPeriod * kTickMilliseconds;

struct Options {
    std::string File;
    std::optional<long> Steps;
    std::optional<LocalDateTime> At;
    std::string Png;
    std::string Gif;
};

constexpr long kMaxSteps = kMaxCycleSteps * 16L;

using Message = MessageBytes;
static_assert(std::tuple_size_v<Message> == kPreviewMessageBytes);

std::optional<LocalDateTime> ParseAt(const std::string& text) {
    // Exactly "YYYY-MM-DD HH:MM".
    if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':') {
        return std::nullopt;
    }
    auto number = [&text](std::size_t from, std::size_t count, int& out) {
        const char* first = text.data() + from;
        const char* last = first + count;
        for (const char* p = first; p != last; ++p) {
            if (*p < '0' || *p > '9') {
                return false;
            }
        }
        return std::from_chars(first, last, out).ec == std::errc{};
    };
    LocalDateTime t;
    if (!number(0, 4, t.Year) || !number(5, 2, t.Month) || !number(8, 2, t.Day) ||
        !number(11, 2, t.Hour) || !number(14, 2, t.Minute)) {
        return std::nullopt;
    }
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (t.Year % 4 == 0 && t.Year % 100 != 0) || t.Year % 400 == 0;
    if (t.Month < 1 || t.Month > 12 || t.Hour > 23 || t.Minute > 59 || t.Day < 1) {
        return std::nullopt;
    }
    const int days = (t.Month == 2 && !leap) ? 28 : kDays[t.Month - 1];
    if (t.Day > days) {
        return std::nullopt;
    }
    return t;
}

// Reads the message file to play as the other commands read one: what is no message file (a
// FIFO, which is not waited on, a device, a folder, an empty file) is refused with its reason;
// one of the wrong length plays as the editor would load it, with a warning.
bool ReadMessage(const std::string& name, Message& message) {
    LoadReport report;
    if (!ReadMessageFile(name.c_str(), message, report)) {
        std::fprintf(stderr, "ledsign preview: cannot read '%s': %s\n", name.c_str(),
                     DescribeLoadProblem(report).c_str());
        return false;
    }
    const std::string warning = FileSizeWarning(name, report, message.size(), "message", "played");
    if (!warning.empty()) {
        std::fprintf(stderr, "ledsign preview: warning: %s\n", warning.c_str());
    }
    return true;
}

// Plays `message` as the preview does and calls `frame` after every pass that changed the strip
// (each scroll step, or the static layout). A scrolling message makes `steps` steps, or one full
// cycle when `steps` is empty. Returns the number of steps made.
template <typename Frame>
long Play(PreviewState& strip, const Message& message, std::optional<long> steps,
          const FontSet& fonts, Frame frame) {
    ResetPreview(strip, fonts);
    ResetPreviewSettings(strip);
    // The preview takes the type byte as a signed byte, as the send action does: 0x80..0xFF are
    // negative types. NOLINTNEXTLINE(bugprone-signed-char-misuse): that sign extension is meant
    const auto type = static_cast<std::int16_t>(static_cast<std::int8_t>(message[1023]));
    std::uint16_t length = 0;
    while (length < message.size() && message[length] != 0) {
        ++length;
    }
    StripPreview preview(strip);
    if (!preview.Start(type, message.data(), length)) {
        return 0;
    }
    if (preview.Static()) {
        (void)preview.Pass(0, 1); // lays the whole message out; the frame shows it
        frame();
        return 0;
    }
    long done = 0;
    bool wrapped = false;
    for (;;) {
        if (steps ? done >= *steps
                  : (wrapped && preview.CharacterDue()) || done >= kMaxCycleSteps) {
            break;
        }
        while (strip.StepTicks.load() != 0) {
            PreviewTick(strip);
        }
        if (preview.Pass(0, 1).Stepped) {
            ++done;
            wrapped = wrapped || (preview.AtEnd() && preview.ReadPosition() == 0);
            frame();
        }
    }
    return done;
}

void PrintStrip(const StripBytes& strip) {
    for (int r = 0; r < kStripRows; ++r) {
        char line[kStripVisibleColumns + 2];
        for (int c = 0; c < kStripVisibleColumns; ++c) {
            line[c] = PixelAt(strip, static_cast<std::int16_t>(c), static_cast<std::int16_t>(r))
                          ? '#'
                          : '.';
        }
        line[kStripVisibleColumns] = '\n';
        line[kStripVisibleColumns + 1] = '\0';
        std::fputs(line, stdout);
    }
}

#ifdef LEDSIGN_HAVE_PNG
bool WritePng(const std::string& name, const Bitmap32& bitmap) {
    std::vector<std::uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(bitmap.Width()) * bitmap.Height() * 3);
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
            const Pixel p = bitmap.At(x, y);
            rgb.push_back(static_cast<std::uint8_t>(p >> 16));
            rgb.push_back(static_cast<std::uint8_t>(p >> 8));
            rgb.push_back(static_cast<std::uint8_t>(p));
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(bitmap.Width());
    image.height = static_cast<png_uint_32>(bitmap.Height());
    image.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&image, name.c_str(), 0, rgb.data(), 0, nullptr);
    if (!ok) {
        std::fprintf(stderr, "ledsign preview: cannot write %s: %s\n", name.c_str(), image.message);
    }
    png_image_free(&image);
    return ok != 0;
}
#endif

#ifdef LEDSIGN_HAVE_GIF
// Palette: the black gaps, unlit and lit dots.
constexpr Pixel kGifColours[] = {Rgb(0, 0, 0), kUnlitDot, kLitDot, Rgb(0, 0, 0)};

GifByteType GifIndex(Pixel p) {
    for (int i = 0; i < 3; ++i) {
        if (kGifColours[i] == p) {
            return static_cast<GifByteType>(i);
        }
    }
    return 0;
}

// GIF delays are whole hundredths: frame i lasts round((i + 1) x step) - round(i x step), so
// the animation's total time stays right however many frames it has.
int FrameDelayCs(std::size_t frame) {
    const long long endMs = static_cast<long long>(frame + 1) * kStepMilliseconds;
    const long long startMs = static_cast<long long>(frame) * kStepMilliseconds;
    return static_cast<int>((endMs + 5) / 10 - (startMs + 5) / 10);
}

int GifWrite(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* out = static_cast<std::FILE*>(gif->UserData);
    return static_cast<int>(std::fwrite(bytes, 1, static_cast<std::size_t>(count), out));
}

// A strip animation written to its file frame by frame, so that memory stays the same however
// long the animation is. Frame i is shown for FrameDelayCs(i). An animation of more than one
// frame loops for ever; a single frame is written as a plain picture, so the first frame is held
// back until it is known whether a second one follows.
class GifAnimation {
public:
    GifAnimation() = default;
    GifAnimation(const GifAnimation&) = delete;
    GifAnimation& operator=(const GifAnimation&) = delete;
    ~GifAnimation() { Abandon(); }

    // Creates `name`; false (with the reason on stderr) when it cannot be created.
    bool Open(const std::string& name) {
        name_ = name;
        // Through our own FILE so that the file gets the usual permissions (giflib's own open
        // makes it readable by its owner only).
        out_ = OpenUtf8File(name.c_str(), "wb");
        if (out_ == nullptr) {
            std::fprintf(stderr, "ledsign preview: cannot write %s\n", name.c_str());
            return false;
        }
        int error = 0;
        gif_ = EGifOpen(out_, GifWrite, &error);
        if (gif_ == nullptr) {
            std::fclose(out_);
            out_ = nullptr;
            std::fprintf(stderr, "ledsign preview: cannot write %s: %s\n", name.c_str(),
                         GifErrorString(error));
            return false;
        }
        EGifSetGifVersion(gif_, true);
        return true;
    }

    // Adds the next frame. After a write error the frames are dropped; Close reports it.
    void Add(const Bitmap32& frame) {
        if (!ok_ || gif_ == nullptr) {
            return;
        }
        if (frames_ == 0) {
            pending_ = frame;
        } else {
            if (frames_ == 1) {
                ok_ = WriteHeader(true) && WriteFrame(pending_, 0);
            }
            ok_ = ok_ && WriteFrame(frame, frames_);
        }
        ++frames_;
    }

    // Finishes the file; false (with a message on stderr) when any part could not be written.
    bool Close() {
        if (gif_ == nullptr) {
            return false;
        }
        if (ok_ && frames_ == 1) {
            ok_ = WriteHeader(false) && WriteFrame(pending_, 0);
        }
        int error = 0;
        if (EGifCloseFile(gif_, &error) != GIF_OK) {
            ok_ = false;
        }
        gif_ = nullptr;
        if (std::fclose(out_) != 0) {
            ok_ = false;
        }
        out_ = nullptr;
        if (!ok_) {
            std::fprintf(stderr, "ledsign preview: cannot write %s\n", name_.c_str());
        }
        return ok_;
    }

private:
    bool WriteHeader(bool loop) {
        GifColorType colours[4];
        for (int i = 0; i < 4; ++i) {
            colours[i].Red = static_cast<GifByteType>(kGifColours[i] >> 16);
            colours[i].Green = static_cast<GifByteType>(kGifColours[i] >> 8);
            colours[i].Blue = static_cast<GifByteType>(kGifColours[i]);
        }
        ColorMapObject* map = GifMakeMapObject(4, colours);
        bool ok = map != nullptr && EGifPutScreenDesc(gif_, kStripBitmapWidth, kStripBitmapHeight,
                                                      2, 0, map) == GIF_OK;
        if (map != nullptr) {
            GifFreeMapObject(map);
        }
        if (ok && loop) {
            static constexpr GifByteType kNetscape[] = {'N', 'E', 'T', 'S', 'C', 'A',
                                                        'P', 'E', '2', '.', '0'};
            static constexpr GifByteType kLoop[] = {1, 0, 0};
            ok = EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
                 EGifPutExtensionBlock(gif_, sizeof kNetscape, kNetscape) == GIF_OK &&
                 EGifPutExtensionBlock(gif_, sizeof kLoop, kLoop) == GIF_OK &&
                 EGifPutExtensionTrailer(gif_) == GIF_OK;
        }
        return ok;
    }

    bool WriteFrame(const Bitmap32& frame, std::size_t index) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.UserInputFlag = false;
        gcb.DelayTime = FrameDelayCs(index);
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType ext[4];
        const std::size_t extLength = EGifGCBToExtension(&gcb, ext);
        bool ok = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extLength),
                                   ext) == GIF_OK &&
                  EGifPutImageDesc(gif_, 0, 0, kStripBitmapWidth, kStripBitmapHeight, false,
                                   nullptr) == GIF_OK;
        for (int y = 0; ok && y < kStripBitmapHeight; ++y) {
            const Pixel* row = frame.Row(y);
            for (int x = 0; x < kStripBitmapWidth; ++x) {
                line_[static_cast<std::size_t>(x)] = GifIndex(row[x]);
            }
            ok = EGifPutLine(gif_, line_.data(), kStripBitmapWidth) == GIF_OK;
        }
        return ok;
    }

    // Closes without reporting, for an animation that was never finished.
    void Abandon() {
        if (gif_ != nullptr) {
            int error = 0;
            EGifCloseFile(gif_, &error);
            gif_ = nullptr;
        }
        if (out_ != nullptr) {
            std::fclose(out_);
            out_ = nullptr;
        }
    }

    std::string name_;
    std::FILE* out_ = nullptr;
    GifFileType* gif_ = nullptr;
    Bitmap32 pending_{kStripBitmapWidth, kStripBitmapHeight};
    std::array<GifByteType, kStripBitmapWidth> line_{};
    std::size_t frames_ = 0;
    bool ok_ = true;
};
#endif

int RunPreviewCommand(const Options& o) {
#ifndef LEDSIGN_HAVE_PNG
    if (!o.Png.empty()) {
        std::fprintf(stderr, "ledsign preview: --png is not available in this build\n");
        return kExitFailure;
    }
#endif
#ifndef LEDSIGN_HAVE_GIF
    if (!o.Gif.empty()) {
        std::fprintf(stderr, "ledsign preview: --gif is not available in this build\n");
        return kExitFailure;
    }
#endif
    Message message{};
    if (!ReadMessage(o.File, message)) {
        return kExitFailure;
    }
    // One fixed time for the whole run, so every frame shows the same fields.
    const LocalDateTime at = o.At ? *o.At : SystemLocalTime();
    FontSet fonts;
    for (const SkippedFontFile& skipped : LoadFonts(fonts).Skipped) {
        std::fprintf(stderr, "ledsign preview: font file skipped: %s\n",
                     DescribeSkippedFont(skipped).c_str());
    }
    PreviewState strip; // its font table refers to fonts
    strip.Clock = [at] { return at; };

    int exitCode = kExitOk;
#ifdef LEDSIGN_HAVE_GIF
    if (!o.Gif.empty()) {
        // Each frame goes to the file as it is made: a long message makes tens of thousands.
        GifAnimation animation;
        bool written = animation.Open(o.Gif);
        if (written) {
            Bitmap32 frame(kStripBitmapWidth, kStripBitmapHeight);
            bool anyFrame = false;
            Play(strip, message, std::nullopt, fonts, [&] {
                RenderStrip(strip.StripBuffer, frame);
                animation.Add(frame);
                anyFrame = true;
            });
            if (!anyFrame) {
                // An empty message is not played: the picture is the strip as it stands.
                RenderStrip(strip.StripBuffer, frame);
                animation.Add(frame);
            }
            written = animation.Close();
        }
        if (!written) {
            exitCode = kExitFailure;
        }
    }
#endif
    Play(strip, message, o.Steps, fonts, [] {});
    PrintStrip(strip.StripBuffer);
#ifdef LEDSIGN_HAVE_PNG
    if (!o.Png.empty()) {
        Bitmap32 bitmap(kStripBitmapWidth, kStripBitmapHeight);
        RenderStrip(strip.StripBuffer, bitmap);
        if (!WritePng(o.Png, bitmap)) {
            exitCode = kExitFailure;
        }
    }
#endif
    return exitCode;
}

CommandRun DefinePreview(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.footer("Plays the message file as the strip preview does, without waiting in real time,\n"
               "and prints the 64 visible columns of the 8 rows ('#' lit, '.' unlit).");
    app.add_option("FILE", o->File, "the message file (.kom) to play")->required();
    app.add_option_function<std::string>(
           "--steps", [o](const std::string& n) { o->Steps = std::stol(n); },
           "scroll steps to make (default: one full cycle, until the message has wrapped and "
           "the blank of its end has moved in); a static message is laid out once whatever N is")
        ->transform(DecimalIn(0, kMaxSteps));
    app.add_option_function<std::string>(
           "--at", [o](const std::string& t) { o->At = ParseAt(t); },
           "date and time for the live fields, \"YYYY-MM-DD HH:MM\" (default: now)")
        ->check(CLI::Validator(
            [](const std::string& t) {
                return ParseAt(t) ? std::string()
                                  : "needs a date and time \"YYYY-MM-DD HH:MM\", got \"" + t + "\"";
            },
            "TIME"));
    app.add_option("--png", o->Png, "the strip picture (448 x 56) after the steps");
    app.add_option("--gif", o->Gif, "an animation of one full cycle, 24 ms a step");
    return [o] { return RunPreviewCommand(*o); };
}

const CommandRegistration kRegistration({
    "preview",
    "play a message file on the 64 x 8 strip preview and print the dots ('#' lit, '.' unlit)",
    DefinePreview,
});

} // namespace
} // namespace ledsign_tool

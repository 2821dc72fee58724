#include "app/mainwindow/StripView.h"

#include "app/PreviewTicker.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kPreviewTickMs = 12;
const QColor kFrameGrey(128, 128, 128);

// Whether the visible columns (bytes 0..7 of each row) of two strips differ.
bool VisibleDotsDiffer(const StripBytes& a, const StripBytes& b) {
    for (int r = 0; r < kStripRows; ++r) {
        const std::size_t row = static_cast<std::size_t>(r * kStripStride);
        if (std::memcmp(a.data() + row, b.data() + row, kStripVisibleBytes) != 0) {
            return true;
        }
    }
    return false;
}

} // namespace

StripView::StripView(QWidget* parent)
    : QWidget(parent), picture_(kStripBitmapWidth, kStripBitmapHeight, QImage::Format_RGB32) {
    setFixedSize(kWidth, kHeight);
    // Every pixel is painted by paintEvent: the parent need not clear anything first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The gaps between the dots are black and are never painted again.
    picture_.fill(Qt::black);
    Render(shown_);
    ticker_ = std::make_unique<PreviewTicker>(std::chrono::milliseconds(kPreviewTickMs), state_,
                                              [this] { Pass(); });
}

StripView::~StripView() {
    Shutdown();
}

void StripView::Reset(const FontSet& fonts) {
    ResetPreview(state_, fonts);
    ResetPreviewSettings(state_);
    ClearStrip(state_);
    Show(state_.StripBuffer);
}

bool StripView::PlayMessage(std::int16_t type, const std::uint8_t* message, std::uint16_t length) {
    previewRunning_ = 1;
    lastKey_ = 0;
    ticker_->Stop();
    const bool running = preview_.Start(type, message, length);
    if (running) {
        ticker_->Start(preview_.Static());
        Pass();
    }
    return running;
}

void StripView::StopNow() {
    previewRunning_ = 0;
    if (preview_.Running()) {
        Pass();
    }
}

void StripView::Shutdown() {
    ticker_->Stop();
}

void StripView::Pass() {
    ticker_->PassDone();
    if (!preview_.Running()) {
        return;
    }
    const std::uint8_t key = lastKey_;
    lastKey_ = 0;
    const StripPreview::PassOutcome outcome = preview_.Pass(key, previewRunning_);
    if (outcome.Changed) {
        Show(state_.StripBuffer);
    }
    if (outcome.Finished) {
        ticker_->Stop();
        emit PreviewFinished(outcome.Result);
    }
}

void StripView::Show(const StripBytes& strip) {
    // A static message is laid out again on every pass, and a scroll step through blank
    // columns moves nothing visible: neither is worth a repaint.
    if (!VisibleDotsDiffer(strip, shown_)) {
        return;
    }
    Render(strip);
    shown_ = strip;
    ++repaints_;
    // Painted at once: a deferred update would wake the process a second time for each step.
    repaint(StripRect());
}

void StripView::Render(const StripBytes& strip) {
    // Each dot row is built once and copied to its six pixel lines; the seventh line and the
    // seventh pixel of each dot keep the black they were filled with.
    constexpr int kLineBytes = kStripBitmapWidth * static_cast<int>(sizeof(Pixel));
    for (int r = 0; r < kStripRows; ++r) {
        auto* first = reinterpret_cast<Pixel*>(picture_.scanLine(r * kDotPitch));
        const std::uint8_t* rowBytes = strip.data() + r * kStripStride;
        for (int c = 0; c < kStripVisibleColumns; ++c) {
            const bool lit = (rowBytes[c / 8] & (0x80u >> (c % 8))) != 0;
            Pixel* dot = first + c * kDotPitch;
            std::fill(dot, dot + kDotSize, lit ? kLitDot : kUnlitDot);
        }
        for (int line = 1; line < kDotSize; ++line) {
            std::memcpy(picture_.scanLine(r * kDotPitch + line), first, kLineBytes);
        }
    }
}

void StripView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect strip = StripRect();
    // Scroll steps repaint only the strip; the frame is painted when the window system asks.
    if (!strip.contains(event->rect())) {
        painter.fillRect(event->rect(), kFrameGrey);
    }
    const QRect target = event->rect() & strip;
    if (!target.isEmpty()) {
        painter.drawImage(target, picture_, target.translated(-kStripOrigin));
    }
}

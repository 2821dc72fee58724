#include "app/mainwindow/StripSurface.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cstring>

namespace {

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

StripSurface::StripSurface(QWidget* parent)
    : QWidget(parent), native_(NativeStripPainter::Available()) {
    setFixedSize(kStripBitmapWidth, kStripBitmapHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (native_) {
        // Its own window, painted by us alone; the ancestors stay in Qt's backing store.
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
    } else {
        FallBackToQPainter();
    }
}

StripSurface::~StripSurface() = default;

QPaintEngine* StripSurface::paintEngine() const {
    return native_ ? nullptr : QWidget::paintEngine();
}

NativeStripPainter* StripSurface::Painter() {
    // Dots are painted in device pixels: once the window is scaled (moved to a screen with
    // another device pixel ratio), QPainter takes over.
    if (painter_ && devicePixelRatioF() != 1.0) {
        painter_.reset();
        FallBackToQPainter();
        update();
    }
    if (native_ && !painter_ && internalWinId() != 0) {
        painter_ = NativeStripPainter::Create(*this);
        if (!painter_) {
            FallBackToQPainter();
            update();
        }
    }
    return painter_.get();
}

void StripSurface::FallBackToQPainter() {
    native_ = false;
    setAttribute(Qt::WA_PaintOnScreen, false);
    Render(shown_);
}

bool StripSurface::Show(const StripBytes& strip) {
    // A static message is laid out again on every pass, and a scroll step through blank
    // columns moves nothing visible: neither is worth a repaint.
    if (!VisibleDotsDiffer(strip, shown_)) {
        return false;
    }
    if (native_) {
        // A hidden window is painted whole when it is exposed.
        if (NativeStripPainter* painter = isVisible() ? Painter() : nullptr) {
            painter->Paint(strip, &shown_);
        }
    }
    if (!native_) {
        Render(strip);
    }
    shown_ = strip;
    if (!native_) {
        // Painted at once: a deferred update would wake the process a second time for each
        // step.
        repaint();
    }
    return true;
}

void StripSurface::Render(const StripBytes& strip) {
    if (picture_.isNull()) {
        picture_ = QImage(kStripBitmapWidth, kStripBitmapHeight, QImage::Format_RGB32);
        // The gaps between the dots are black and are never painted again.
        picture_.fill(Qt::black);
    }
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

void StripSurface::paintEvent(QPaintEvent* event) {
    // A grab or render of the widget redirects its painting elsewhere: it gets the picture.
    const bool toWindow = redirected(nullptr) == nullptr && sharedPainter() == nullptr;
    if (native_ && toWindow) {
        if (NativeStripPainter* painter = Painter()) {
            painter->Paint(shown_, nullptr);
            return;
        }
    }
    if (native_ && !toWindow) {
        Render(shown_);
    }
    if (!native_ || !toWindow) {
        QPainter painter(this);
        painter.drawImage(event->rect(), picture_, event->rect());
    }
}

bool StripSurface::event(QEvent* event) {
    // The painter draws on one native window; a new one gets a new painter.
    if (event->type() == QEvent::WinIdChange) {
        painter_.reset();
    }
    return QWidget::event(event);
}

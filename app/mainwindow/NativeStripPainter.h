#pragma once
// NativeStripPainter: paints the strip's dots straight onto the native window of a widget with
// the window system's own rectangle fills.
//
// Qt's backing store sends the whole strip picture to the window system for every scroll step
// and, before it may paint the same pixels again, waits for a round trip to the server; for a
// strip that changes forty times a second that is most of the preview's processor time. A few
// hundred small fill requests per step cost a fraction of that and need no reply. Where the
// platform offers no such drawing, Create returns nullptr and the widget paints with QPainter.

#include "preview/StripPreview.h"

#include <memory>

class QWidget;

class NativeStripPainter {
public:
    // Whether this platform can paint natively at all (decided once the application object
    // exists); a widget that wants native painting must then have its own native window.
    static bool Available();
    // A painter for `surface`'s native window, which must exist (the widget is created) and
    // is `kStripBitmapWidth` x `kStripBitmapHeight` pixels. Returns nullptr when the window
    // system or the window's pixel format is not supported, or the window is scaled (a device
    // pixel ratio other than 1). The painter refers to the window
    // and must be dropped before it is destroyed or replaced.
    static std::unique_ptr<NativeStripPainter> Create(const QWidget& surface);
    ~NativeStripPainter();
    NativeStripPainter(const NativeStripPainter&) = delete;
    NativeStripPainter& operator=(const NativeStripPainter&) = delete;

    // Paints the visible dots of `strip` that differ from `shown` and sends them on their way;
    // with `shown` null, paints the whole strip, the black gaps between the dots included. The
    // result looks exactly as RenderStrip's picture of `strip`.
    void Paint(const StripBytes& strip, const StripBytes* shown);

private:
    struct Native;
    explicit NativeStripPainter(std::unique_ptr<Native> native);
    std::unique_ptr<Native> native_;
};

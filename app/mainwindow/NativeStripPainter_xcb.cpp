// Native strip painting on the X Window System, over the application's own XCB connection.
#include "app/mainwindow/NativeStripPainter.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kDots = kStripRows * kStripVisibleColumns;

xcb_connection_t* Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The visual's description of `visualId`, or nullptr.
const xcb_visualtype_t* FindVisual(xcb_connection_t* connection, xcb_visualid_t visualId) {
    for (auto screen = xcb_setup_roots_iterator(xcb_get_setup(connection)); screen.rem;
         xcb_screen_next(&screen)) {
        for (auto depth = xcb_screen_allowed_depths_iterator(screen.data); depth.rem;
             xcb_depth_next(&depth)) {
            for (auto visual = xcb_depth_visuals_iterator(depth.data); visual.rem;
                 xcb_visualtype_next(&visual)) {
                if (visual.data->visual_id == visualId) {
                    return visual.data;
                }
            }
        }
    }
    return nullptr;
}

// An 8-bit channel value placed in the bits of `mask`, keeping its top bits when the mask is
// narrower than 8 bits.
std::uint32_t Channel(std::uint32_t value, std::uint32_t mask) {
    const int width = std::popcount(mask);
    const int shift = std::countr_zero(mask);
    const std::uint32_t scaled = width <= 8 ? value >> (8 - width) : value << (width - 8);
    return (scaled << shift) & mask;
}

// The pixel value of an RGB32 colour in a true-colour visual of `depth` bits; the bits of the
// depth that carry no colour (the alpha of a 32-bit visual) are set, so the pixel is opaque.
std::uint32_t PixelValue(Pixel colour, const xcb_visualtype_t& visual, std::uint8_t depth) {
    const std::uint32_t depthMask = depth >= 32 ? ~0u : (1u << depth) - 1u;
    const std::uint32_t colourMask = visual.red_mask | visual.green_mask | visual.blue_mask;
    return Channel((colour >> 16) & 0xFFu, visual.red_mask) |
           Channel((colour >> 8) & 0xFFu, visual.green_mask) |
           Channel(colour & 0xFFu, visual.blue_mask) | (depthMask & ~colourMask);
}

} // namespace

struct NativeStripPainter::Native {
    xcb_connection_t* Connection = nullptr;
    xcb_window_t Window = 0;
    xcb_gcontext_t Gap = 0;
    xcb_gcontext_t Lit = 0;
    xcb_gcontext_t Unlit = 0;
    // Filled anew for each paint; kept here so that painting allocates nothing.
    std::array<xcb_rectangle_t, kDots> LitRects{};
    std::array<xcb_rectangle_t, kDots> UnlitRects{};

    ~Native() {
        for (const xcb_gcontext_t gc : {Gap, Lit, Unlit}) {
            if (gc != 0) {
                xcb_free_gc(Connection, gc);
            }
        }
        xcb_flush(Connection);
    }

    xcb_gcontext_t MakeGc(std::uint32_t pixel) const {
        const xcb_gcontext_t gc = xcb_generate_id(Connection);
        // Fills never need exposure events: a window that was covered is painted again whole.
        const std::uint32_t values[] = {pixel, 0};
        xcb_create_gc(Connection, gc, Window, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES,
                      values);
        return gc;
    }
};

bool NativeStripPainter::Available() {
    return Connection() != nullptr;
}

std::unique_ptr<NativeStripPainter> NativeStripPainter::Create(const QWidget& surface) {
    xcb_connection_t* connection = Connection();
    const auto window = static_cast<xcb_window_t>(surface.internalWinId());
    // The dots are painted in device pixels: a scaled window is left to QPainter.
    if (connection == nullptr || window == 0 || surface.devicePixelRatioF() != 1.0) {
        return nullptr;
    }
    // One round trip, once per window: its visual decides the pixel values of the colours.
    xcb_generic_error_t* error = nullptr;
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, window), &error);
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    std::free(error);
    const xcb_visualtype_t* visual =
        attributes != nullptr ? FindVisual(connection, attributes->visual) : nullptr;
    const std::uint8_t depth = geometry != nullptr ? geometry->depth : 0;
    std::free(attributes);
    std::free(geometry);
    if (visual == nullptr || depth == 0 ||
        (visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR &&
         visual->_class != XCB_VISUAL_CLASS_DIRECT_COLOR)) {
        return nullptr;
    }
    auto native = std::make_unique<Native>();
    native->Connection = connection;
    native->Window = window;
    native->Gap = native->MakeGc(PixelValue(Rgb(0, 0, 0), *visual, depth));
    native->Lit = native->MakeGc(PixelValue(kLitDot, *visual, depth));
    native->Unlit = native->MakeGc(PixelValue(kUnlitDot, *visual, depth));
    return std::unique_ptr<NativeStripPainter>(new NativeStripPainter(std::move(native)));
}

NativeStripPainter::NativeStripPainter(std::unique_ptr<Native> native)
    : native_(std::move(native)) {}

NativeStripPainter::~NativeStripPainter() = default;

void NativeStripPainter::Paint(const StripBytes& strip, const StripBytes* shown) {
    Native& n = *native_;
    if (shown == nullptr) {
        const xcb_rectangle_t all{0, 0, kStripBitmapWidth, kStripBitmapHeight};
        xcb_poly_fill_rectangle(n.Connection, n.Window, n.Gap, 1, &all);
    }
    std::uint32_t lit = 0;
    std::uint32_t unlit = 0;
    for (int r = 0; r < kStripRows; ++r) {
        const std::uint8_t* row = strip.data() + r * kStripStride;
        const std::uint8_t* before = shown != nullptr ? shown->data() + r * kStripStride : nullptr;
        for (int c = 0; c < kStripVisibleColumns; ++c) {
            const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (c % 8));
            const bool on = (row[c / 8] & bit) != 0;
            if (before != nullptr && ((before[c / 8] & bit) != 0) == on) {
                continue;
            }
            const xcb_rectangle_t dot{static_cast<std::int16_t>(c * kDotPitch),
                                      static_cast<std::int16_t>(r * kDotPitch), kDotSize, kDotSize};
            if (on) {
                n.LitRects[lit++] = dot;
            } else {
                n.UnlitRects[unlit++] = dot;
            }
        }
    }
    if (lit > 0) {
        xcb_poly_fill_rectangle(n.Connection, n.Window, n.Lit, lit, n.LitRects.data());
    }
    if (unlit > 0) {
        xcb_poly_fill_rectangle(n.Connection, n.Window, n.Unlit, unlit, n.UnlitRects.data());
    }
    xcb_flush(n.Connection);
}

// The strip surface on a real X server: what reaches the screen, and what a grab of the widget
// gives, must be exactly the picture RenderStrip makes, whether the surface paints only the
// changed dots or the whole strip.

#include "app/mainwindow/NativeStripPainter.h"
#include "app/mainwindow/StripSurface.h"

#include <QScreen>
#include <QTest>
#include <QWidget>

namespace {

// Every visible row byte set to `pattern`, the hidden staging bytes to its complement.
StripBytes Filled(std::uint8_t pattern) {
    StripBytes strip{};
    for (int i = 0; i < kStripBytes; ++i) {
        strip[i] = i % kStripStride < kStripVisibleBytes ? pattern : ~pattern;
    }
    return strip;
}

// The surface's pixels as the X server holds them.
QImage OnScreen(const StripSurface& surface) {
    return surface.screen()
        ->grabWindow(surface.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The first pixel where `shown` differs from RenderStrip's picture of `strip`, or "" when none.
QByteArray FirstDifference(const QImage& shown, const StripBytes& strip) {
    Bitmap32 expected(kStripBitmapWidth, kStripBitmapHeight);
    RenderStrip(strip, expected);
    if (shown.size() != QSize(kStripBitmapWidth, kStripBitmapHeight)) {
        return "size";
    }
    for (int y = 0; y < kStripBitmapHeight; ++y) {
        for (int x = 0; x < kStripBitmapWidth; ++x) {
            if (shown.pixel(x, y) != expected.Row(y)[x]) {
                return QByteArray::number(x) + "," + QByteArray::number(y);
            }
        }
    }
    return "";
}

} // namespace

class NativeStripTest : public QObject {
    Q_OBJECT
private slots:
    void ScreenShowsTheRenderedPicture() {
        QVERIFY(NativeStripPainter::Available());
        QWidget window;
        window.resize(kStripBitmapWidth + 20, kStripBitmapHeight + 20);
        auto* surface = new StripSurface(&window);
        surface->move(10, 10);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(FirstDifference(OnScreen(*surface), StripBytes{}), QByteArray());

        // In turn, so that each strip is painted over the one before it.
        StripBytes scrolled = Filled(0xC3);
        scrolled[3 * kStripStride + 7] = 0x01; // one lit dot at column 63
        const StripBytes strips[] = {Filled(0xFF), Filled(0xA5), scrolled, Filled(0x00)};
        for (const StripBytes& strip : strips) {
            QVERIFY(surface->Show(strip));
            QCOMPARE(FirstDifference(OnScreen(*surface), strip), QByteArray());
            // A grab of the widget shows the same picture.
            QCOMPARE(FirstDifference(
                         surface->grab().toImage().convertToFormat(QImage::Format_RGB32), strip),
                     QByteArray());
        }
        // An exposure paints the whole strip again.
        surface->Show(Filled(0x5A));
        window.hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(FirstDifference(OnScreen(*surface), Filled(0x5A)), QByteArray());
    }
};

QTEST_MAIN(NativeStripTest)
#include "tst_nativestrip.moc"

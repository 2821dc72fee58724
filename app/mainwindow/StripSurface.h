#pragma once
// StripSurface: the 448 x 56 strip picture of the strip view, 64 x 8 dots of 6 x 6 pixels at a
// pitch of 7, the pixel column and row after each dot black.
//
// Where the platform allows it (NativeStripPainter) the surface has its own native window and
// paints only the dots that changed, straight onto it, bypassing the backing store. Elsewhere
// it renders each dot row once into a picture kept for the widget's life, copies it to the
// row's six pixel lines and repaints itself with QPainter. A grab or render of the widget
// always gets that picture.

#include "app/mainwindow/NativeStripPainter.h"
#include "preview/StripPreview.h"

#include <QImage>
#include <QWidget>

#include <memory>

class StripSurface : public QWidget {
    Q_OBJECT
public:
    explicit StripSurface(QWidget* parent = nullptr);
    ~StripSurface() override;

    // Shows the visible dots of `strip` at once, not at the next event loop pass, unless they
    // are already shown. Returns whether they differed.
    bool Show(const StripBytes& strip);

    // None when the surface paints natively: Qt must not paint over it.
    QPaintEngine* paintEngine() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The native painter for the current window, made on first use; nullptr until the window
    // exists. Falls back to QPainter for good when the window cannot be painted natively.
    NativeStripPainter* Painter();
    void FallBackToQPainter();
    void Render(const StripBytes& strip);

    bool native_;
    std::unique_ptr<NativeStripPainter> painter_;
    QImage picture_;     // the picture painted with QPainter: when not native, and for grabs
    StripBytes shown_{}; // the dots the surface shows
};

// Platforms without native strip painting: the strip is painted with QPainter.
#include "app/mainwindow/NativeStripPainter.h"

struct NativeStripPainter::Native {};

bool NativeStripPainter::Available() {
    return false;
}

std::unique_ptr<NativeStripPainter> NativeStripPainter::Create(const QWidget&) {
    return nullptr;
}

NativeStripPainter::NativeStripPainter(std::unique_ptr<Native> native)
    : native_(std::move(native)) {}

NativeStripPainter::~NativeStripPainter() = default;

void NativeStripPainter::Paint(const StripBytes&, const StripBytes*) {}

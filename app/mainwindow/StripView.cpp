#include "app/mainwindow/StripView.h"

#include "app/PreviewTicker.h"
#include "app/mainwindow/StripSurface.h"

#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr int kPreviewTickMs = 12;
const QColor kFrameGrey(128, 128, 128);

} // namespace

StripView::StripView(QWidget* parent) : QWidget(parent), surface_(new StripSurface(this)) {
    setFixedSize(kWidth, kHeight);
    // Every pixel is painted by paintEvent: the parent need not clear anything first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    surface_->move(kStripOrigin);
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
    if (surface_->Show(strip)) {
        ++repaints_;
    }
}

void StripView::paintEvent(QPaintEvent* event) {
    // The strip itself is the surface's: only the frame around it is painted here.
    QPainter painter(this);
    painter.fillRect(event->rect(), kFrameGrey);
}

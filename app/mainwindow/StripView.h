#pragma once
// StripView: the LED strip at the top of the main window and the preview that plays on it.
//
// The widget is 470 x 66 pixels of grey with the strip picture at (12, 5): 64 x 8 dots of
// 6 x 6 pixels at a pitch of 7, lit or unlit, the pixel column and row after each dot black.
// It plays one message at a time (PlayMessage), paced by a 12 ms tick on the window's own timer,
// and holds the two flags the window hands the preview: PreviewRunning (0 ends a running preview at
// its next pass) and LastKey (the last key pressed in the window; Escape, 27, stops the preview).
//
// A repaint costs little: a pass that leaves the visible dots as they were paints nothing; one
// that changes them paints only the strip (StripSurface), never the grey frame around it.

#include "preview/Fonts.h"
#include "preview/StripPreview.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class PreviewTicker;
class StripSurface;

class StripView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 470;
    static constexpr int kHeight = 66;
    // Where the strip picture stands in the widget.
    static constexpr QPoint kStripOrigin{12, 5};

    explicit StripView(QWidget* parent = nullptr);
    // Stops the ticker.
    ~StripView() override;

    // Sets the preview up over `fonts` (which must outlive the view) with its start-up
    // settings, and shows every dot unlit.
    void Reset(const FontSet& fonts);
    // The font table set up by Reset, shared by everything that draws glyphs in the editor.
    const FontInfoTable& FontTable() const { return state_.FontTable; }

    // Starts playing a message buffer (1024 bytes; the preview keeps its own copy): `type` is
    // its type byte read as signed, `length` the bytes before its first zero byte. Sets
    // PreviewRunning to 1 and LastKey to 0; a preview already running is replaced. Returns
    // whether the preview runs: an empty message does not play and leaves the strip as it is.
    bool PlayMessage(std::int16_t type, const std::uint8_t* message, std::uint16_t length);

    // PreviewRunning: a running preview ends, blanking the strip, at the first pass that finds
    // it 0.
    void SetPreviewRunning(std::uint16_t running) { previewRunning_ = running; }
    std::uint16_t PreviewRunning() const { return previewRunning_; }
    // Sets PreviewRunning to 0 and runs the pass that sees it now, so that the strip is blank
    // when this returns.
    void StopNow();
    // Stops the ticker.for good; no pass runs afterwards.
    void Shutdown();

    // LastKey, recorded by the window; the preview takes it (and resets it to 0) at each pass.
    void SetLastKey(std::uint8_t key) { lastKey_ = key; }
    std::uint8_t LastKey() const { return lastKey_; }

    bool Active() const { return preview_.Running(); }
    // Result of the last preview that ended: 27 = stopped by Escape, 0 = otherwise.
    int Result() const { return preview_.Result(); }
    // Times the strip picture was rendered and repainted because its dots changed.
    std::uint64_t Repaints() const { return repaints_; }

signals:
    // A preview has ended with `result` (27 = Escape, 0 = otherwise).
    void PreviewFinished(int result);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // One pass of the running preview, on the user-interface thread.
    void Pass();
    // Shows the visible dots of `strip` unless they are already shown.
    void Show(const StripBytes& strip);

    // The strip buffer, counters, settings, font table and clock the preview plays on.
    PreviewState state_;
    StripPreview preview_{state_};
    std::unique_ptr<PreviewTicker> ticker_;
    StripSurface* surface_; // the 448 x 56 strip picture, a child widget
    std::uint16_t previewRunning_ = 0;
    std::uint8_t lastKey_ = 0;
    std::uint64_t repaints_ = 0;
};

#pragma once
// ClientArea: the main window's area below the menu bar, and how it uses the room it gets.
//
// The designed area (708 x 378, the strip, the grid, the send button and the port selector)
// keeps its fixed positions at the top left whatever the window's size. The action panel stands
// to its right and takes all extra width and height, scrolling when its expanded categories do
// not fit. The status bar runs along the bottom. Below the grid, where the window has grown
// taller than the designed area, a short list of the editor's keys tells the operator what the
// keyboard can do without the panel.

#include <QSize>
#include <QWidget>

class QLabel;
class QScreen;
class QStatusBar;

class ClientArea : public QWidget {
    Q_OBJECT
public:
    // The designed area's size, and the panel's narrowest useful width beside it.
    static constexpr int kDesignedWidth = 708;
    static constexpr int kDesignedHeight = 378;
    static constexpr int kPanelLeft = 712;
    // Wide enough for the longest caption beside the scroll bar that a short window shows.
    static constexpr int kMinimumPanelWidth = 348;
    static constexpr int kStatusBarHeight = 22;
    // Room left on the screen for the title bar and frame (estimated, since the frame is not
    // known before the window is shown) and for a task bar.
    static constexpr int kTitleBarAllowance = 40;
    static constexpr int kTaskBarAllowance = 70;

    explicit ClientArea(QWidget* parent = nullptr);

    // The widgets laid out on every resize; each may be null until created. Not owned (they are
    // children of this area).
    void SetPanel(QWidget* panel) { panel_ = panel; }
    void SetStatusBar(QStatusBar* statusBar) { statusBar_ = statusBar; }
    // Creates the key list below the grid with `text` (one line per key).
    void SetKeyHelp(const QString& text);

    // The smallest size that keeps the designed area whole with the panel beside it.
    static QSize MinimumClientSize();
    // The size the area starts with on `screen` (may be null): as tall as the expanded panel
    // wants (`panelHeight`), but no taller than the screen leaves room for (menu bar of height
    // `menuBarHeight`, title bar, task bar), and never below the designed height.
    static QSize DefaultClientSize(int panelHeight, int menuBarHeight, const QScreen* screen);

    QSize sizeHint() const override { return sizeHint_; }
    QSize minimumSizeHint() const override { return MinimumClientSize(); }
    void SetSizeHint(const QSize& size);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayOut();

    QWidget* panel_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* keyHelp_ = nullptr;
    QSize sizeHint_ = MinimumClientSize();
};

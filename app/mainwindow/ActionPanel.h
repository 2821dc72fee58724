#pragma once
// ActionPanel: the column of commands at the right of the main window.
//
// A scroll area holding the category panel CategoryButtons1 with four categories: "Czcionki"
// (one button per font, each showing a sample line drawn in its own font), "Wstaw w komunikat",
// "Ustawienia komunikatu" and "Akcje". A click on a button hands its PanelCommand to the
// window; the panel itself only draws. Behind the sample of the current message's font lies a
// cyan gradient (the font mark); the type button is captioned after the current message's type;
// the load and the save buttons offer both kinds of file on their context menus
// (PopupMenuWczytaj, PopupMenuZapisz).
// Neither the panel nor its scroll area ever takes the keyboard focus.

#include "app/Icons.h"
#include "app/mainwindow/EditorCommands.h"
#include "messages/Ledmessagecon.h"
#include "preview/Fonts.h"

#include <QImage>
#include <QScrollArea>

#include <array>
#include <functional>

class CategoryButtons;
class QMenu;

// The categories of the panel and the buttons of "Akcje", by index.
constexpr int kFontsCategory = 0;
constexpr int kInsertCategory = 1;
constexpr int kSettingsCategory = 2;
constexpr int kActionsCategory = 3;
enum ActionItem : int {
    kTestItem,
    kClearItem,
    kLoadMessageItem,
    kLoadSetItem,
    kSaveMessageItem,
    kSaveSetItem,
    kSendMessageItem,
    kSendSetItem,
    kSendConfigurationItem,
    kSyncClockItem,
    kSyncFileItem,
    kShowMessageItem,
    kActionItemCount
};

class ActionPanel : public QScrollArea {
    Q_OBJECT
public:
    using Run = std::function<void(PanelCommand)>;

    // `current` is the message whose font is marked and whose type captions the type button;
    // `fonts` draws the samples; both must outlive the panel. `run` carries out the commands.
    // `icons` are the image list.
    ActionPanel(const CLEDMessageCon& current, const FontInfoTable& fonts,
                const std::array<QIcon, kIconCount>& icons, Run run, QWidget* parent = nullptr);

    CategoryButtons& Buttons() { return *buttons_; }

    // After the current message's font, type or whole buffer changed: the font mark and the
    // type caption follow it ("Rodaj komunikatu: przewijany" for type 0, "Rodaj komunikatu:
    // stojący" otherwise; the caption at start-up is "Rodzaj komunikatu: przewijany").
    void CurrentMessageChanged();

    // The 16 x 32 gradient stretched behind the marked sample.
    const QImage& FontHighlight() const { return fontHighlight_; }

private:
    void AddButtons(const std::array<QIcon, kIconCount>& icons);
    void AddContextMenus();
    // Paints the sample of font button `item` at one pixel per dot over `rect`, on the mark
    // when its font is the current message's.
    void DrawFontSample(QPainter& painter, int item, const QRect& rect);

    const CLEDMessageCon& current_;
    const FontInfoTable& fonts_;
    Run run_;
    CategoryButtons* buttons_;
    QImage fontHighlight_;
    // Each font's sample, drawn once per button size: only its dots are opaque.
    std::array<QImage, kFontCount> samples_;
};

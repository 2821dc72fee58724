#include "app/mainwindow/ActionPanel.h"

#include "app/widgets/CategoryButtons.h"

#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <vector>

namespace {

const QString kTypeScrolling = QStringLiteral("Rodaj komunikatu: przewijany");
const QString kTypeStatic = QStringLiteral("Rodaj komunikatu: stojący");
constexpr Pixel kSampleInk = Rgb(0, 100, 100);

// One button of the panel; `icon` -1 for none, `command` empty for a button that does nothing.
struct ButtonEntry {
    const char* caption;
    int icon;
    std::optional<PanelCommand> command;
    const char* hint = "";
};

struct CategoryEntry {
    const char* caption;
    QColor colour;
    QColor gradient;
    std::vector<ButtonEntry> buttons;
};

// Message 2 of the set is the copy of the last message sent: a set saved or sent after a send
// carries that message as its message 2.
constexpr const char* kSaveSetHint =
    "Zapisz zestaw komunikatów (komunikat 2 to ostatnio wysłany komunikat)";
constexpr const char* kSendSetHint = "Wyślij zestaw komunikatów do linijki świetlnej "
                                     "(komunikat 2 to ostatnio wysłany komunikat)";

std::array<CategoryEntry, 4> PanelTable() {
    using C = PanelCommand;
    const QColor teal(0, 128, 128), maroon(128, 0, 0), olive(128, 128, 0), lime(0, 255, 0);
    return {{
        {"Czcionki",
         QColor(244, 244, 244),
         teal,
         {{"", -1, C::Font1},
          {"", -1, C::Font2},
          {"", -1, C::Font3},
          {"", -1, C::Font4},
          {"", -1, C::Font5}}},
        {"Wstaw w komunikat",
         QColor(255, 234, 255),
         maroon,
         {{"Data (Rok/Miesiąc/Dzień)", -1, C::InsertDate, "Wstaw aktualną datę"},
          {"Czas (Godzina/Minuta)", -1, C::InsertTime, "Wstaw aktualną godzinę i minutę"},
          {"Temperatura", -1, C::InsertTemperature, "Wstaw temperaturę odczytaną z czujnika"},
          {"Znak specjalny", -1, C::InsertSpecialChar}}},
        {"Ustawienia komunikatu",
         QColor(234, 234, 255),
         olive,
         {{"Rodzaj komunikatu: przewijany", -1, C::ToggleType}}},
        {"Akcje",
         QColor(234, 234, 255),
         lime,
         {{"Testuj komunikat", 0, C::TestMessage},
          {"Skasuj komunikat", 1, C::ClearMessage},
          {"Wczytaj komunikat", 2, C::LoadMessage},
          {"Wczytaj zestaw komunikatów", 2, C::LoadSet},
          {"Zapisz komunikat", 3, C::SaveMessage},
          {"Zapisz zestaw komunikatów", 3, C::SaveSet, kSaveSetHint},
          {"Wyślij komunikat do linijki świetlnej", 4, C::SendMessage},
          {"Wyślij zestaw komunikatów do linijki świetlnej", 5, C::SendSet, kSendSetHint},
          {"Wyślij konfigurację do linijki świetlnej", 6, std::nullopt,
           "Polecenie niedostępne dla tej linijki świetlnej"},
          {"Synchronizuj zegar w linijce świetlnej", 5, C::SyncClock},
          {"Przejdź to trybu synchronizacji z plikiem", 6, C::SyncFile},
          {"Wyświetl na linijce bieżący komunikat", 5, C::ShowMessage}}},
    }};
}

// 16 x 32, row y in (0, 192 + 2y, 192 + 2y): from (0,192,192) at the top to (0,254,254).
QImage MakeFontHighlight() {
    QImage image(16, 32, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const int level = 192 + 2 * y;
        auto* row = reinterpret_cast<Pixel*>(image.scanLine(y));
        std::fill(row, row + image.width(),
                  Rgb(0, static_cast<std::uint8_t>(level), static_cast<std::uint8_t>(level)));
    }
    return image;
}

} // namespace

ActionPanel::ActionPanel(const CLEDMessageCon& current, const FontInfoTable& fonts,
                         const std::array<QIcon, kIconCount>& icons, Run run, QWidget* parent)
    : QScrollArea(parent), current_(current), fonts_(fonts), run_(std::move(run)),
      buttons_(new CategoryButtons()), fontHighlight_(MakeFontHighlight()) {
    setObjectName(QStringLiteral("PanelScroll"));
    buttons_->setObjectName(QStringLiteral("CategoryButtons1"));
    buttons_->SetButtonColours(QColor(242, 242, 242), QColor(214, 213, 217));
    buttons_->SetBackground(QColor(200, 200, 200), QColor(150, 150, 150));
    AddButtons(icons);
    AddContextMenus();
    buttons_->SetAfterDraw([this](QPainter& p, int category, int item, const QRect& r, bool) {
        if (category == kFontsCategory && item >= 0 && item < kFontCount) {
            DrawFontSample(p, item, r);
        }
    });

    // Clicks on the panel, its scroll bar or its empty space leave the keyboard with the grid:
    // every command here is a click, and the operator goes on typing after it.
    for (QWidget* part :
         {static_cast<QWidget*>(this), viewport(), static_cast<QWidget*>(verticalScrollBar()),
          static_cast<QWidget*>(horizontalScrollBar())}) {
        part->setFocusPolicy(Qt::NoFocus);
    }
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setWidget(buttons_);
}

void ActionPanel::AddButtons(const std::array<QIcon, kIconCount>& icons) {
    for (const CategoryEntry& c : PanelTable()) {
        const int category =
            buttons_->AddCategory(QString::fromUtf8(c.caption), c.colour, c.gradient);
        for (const ButtonEntry& b : c.buttons) {
            CategoryButtons::ClickFn click;
            if (b.command) {
                click = [this, command = *b.command] { run_(command); };
            }
            const QIcon icon = b.icon >= 0 ? icons[static_cast<std::size_t>(b.icon)] : QIcon();
            QString hint = QString::fromUtf8(b.hint);
            if (b.command && !ShortcutsOf(*b.command).isEmpty()) {
                hint =
                    WithShortcut(hint.isEmpty() ? QString::fromUtf8(b.caption) : hint, *b.command);
            }
            buttons_->AddButton(category, QString::fromUtf8(b.caption), icon, hint,
                                std::move(click));
        }
    }
}

void ActionPanel::AddContextMenus() {
    const auto addMenu = [this](const char* name, PanelCommand message, PanelCommand set,
                                std::initializer_list<int> items) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QString::fromLatin1(name));
        connect(menu->addAction(QStringLiteral("Komunikat")), &QAction::triggered, this,
                [this, message] { run_(message); });
        connect(menu->addAction(QStringLiteral("Zestaw komunikatow")), &QAction::triggered, this,
                [this, set] { run_(set); });
        for (const int item : items) {
            buttons_->SetContextMenu(kActionsCategory, item, menu);
        }
    };
    addMenu("PopupMenuWczytaj", PanelCommand::LoadMessage, PanelCommand::LoadSet,
            {kLoadMessageItem, kLoadSetItem});
    addMenu("PopupMenuZapisz", PanelCommand::SaveMessage, PanelCommand::SaveSet,
            {kSaveMessageItem, kSaveSetItem});
}

void ActionPanel::CurrentMessageChanged() {
    buttons_->SetCaption(kSettingsCategory, 0,
                         current_.GetType() == 0 ? kTypeScrolling : kTypeStatic);
    buttons_->update();
}

void ActionPanel::DrawFontSample(QPainter& painter, int item, const QRect& rect) {
    if (current_.GetFont() == item + 1) {
        painter.drawImage(rect.adjusted(4, 4, -4, -4), fontHighlight_);
    }
    QImage& sample = samples_[static_cast<std::size_t>(item)];
    if (sample.size() != rect.size()) {
        // Only the set dots are painted: the rest of the sample stays transparent.
        Bitmap32 dots(rect.width(), rect.height(), 0);
        DrawFontString(FontEntry(fonts_, item + 1), dots, kSampleInk, 4, 8,
                       kFontSpecs[static_cast<std::size_t>(item)].Sample);
        sample = QImage(reinterpret_cast<const uchar*>(dots.Bits()), dots.Width(), dots.Height(),
                        dots.Width() * 4, QImage::Format_ARGB32)
                     .copy();
    }
    painter.drawImage(rect.topLeft(), sample);
}

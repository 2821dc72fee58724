#include "app/mainwindow/MainMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <array>
#include <span>

namespace {

using C = PanelCommand;

// A menu item; a null caption is a separator. Accelerators are unique within each menu, counting
// the items "Plik" shares with the other menus.
struct Item {
    const char* objectName;
    const char* caption;
    PanelCommand command;
};

constexpr Item kSeparator{nullptr, nullptr, C::Font1};

constexpr std::array<Item, 5> kFileItems{{
    {"MenuWczytajKomunikat", "Wczytaj &komunikat…", C::LoadMessage},
    {"MenuWczytajZestaw", "Wczytaj &zestaw komunikatów…", C::LoadSet},
    {"MenuZapiszKomunikat", "Zapi&sz komunikat…", C::SaveMessage},
    {"MenuZapiszZestaw", "Zapisz zest&aw komunikatów…", C::SaveSet},
    kSeparator,
}};

constexpr std::array<Item, 10> kMessageItems{{
    kSeparator, // after the font submenu
    {"MenuWstawDate", "Wstaw &datę (Rok/Miesiąc/Dzień)", C::InsertDate},
    {"MenuWstawCzas", "Wstaw czas (&Godzina/Minuta)", C::InsertTime},
    {"MenuWstawTemperature", "Wstaw &temperaturę", C::InsertTemperature},
    {"MenuWstawZnak", "Wstaw &znak specjalny…", C::InsertSpecialChar},
    kSeparator,
    {"MenuRodzaj", "Zmień &rodzaj komunikatu (przewijany/stojący)", C::ToggleType},
    {"MenuSkasuj", "S&kasuj komunikat…", C::ClearMessage},
    kSeparator,
    {"MenuTestuj", "Testuj ko&munikat", C::TestMessage},
}};

constexpr std::array<Item, 5> kFontItems{{
    {"MenuCzcionka1", "&1] 5x7", C::Font1},
    {"MenuCzcionka2", "&2] 8x7", C::Font2},
    {"MenuCzcionka3", "&3] 8x8 cienka", C::Font3},
    {"MenuCzcionka4", "&4] 8x8 pogrubiona", C::Font4},
    {"MenuCzcionka5", "&5] 8x8 atari", C::Font5},
}};

constexpr std::array<Item, 6> kSignItems{{
    {"MenuWyslijKomunikat", "W&yślij komunikat do linijki świetlnej", C::SendMessage},
    {"MenuWyslijZestaw", "Wyślij &zestaw komunikatów do linijki świetlnej", C::SendSet},
    {"MenuSynchronizujZegar", "&Synchronizuj zegar w linijce świetlnej", C::SyncClock},
    {"MenuWyswietl", "Wyświetl na linijce &bieżący komunikat", C::ShowMessage},
    kSeparator,
    {"MenuTrybPliku", "&Tryb synchronizacji z plikiem…", C::SyncFile},
}};

QAction* MakeItem(QMenu& menu, const Item& item, const std::function<void(PanelCommand)>& run) {
    auto* action = new QAction(QString::fromUtf8(item.caption), &menu);
    action->setObjectName(QString::fromLatin1(item.objectName));
    action->setData(static_cast<int>(item.command));
    action->setShortcuts(ShortcutsOf(item.command));
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, &menu,
                     [run, command = item.command] { run(command); });
    return action;
}

void AddItems(QMenu& menu, std::span<const Item> items, QAction* before,
              const std::function<void(PanelCommand)>& run) {
    for (const Item& item : items) {
        if (item.caption == nullptr) {
            menu.insertSeparator(before);
        } else {
            menu.insertAction(before, MakeItem(menu, item, run));
        }
    }
}

} // namespace

void AddCommandMenus(QMenuBar& bar, QMenu& fileMenu, QAction& exitItem,
                     const std::function<void(PanelCommand)>& run) {
    AddItems(fileMenu, kFileItems, &exitItem, run);

    QMenu* message = bar.addMenu(QStringLiteral("&Komunikat"));
    message->setObjectName(QStringLiteral("MenuKomunikat"));
    QMenu* fonts = message->addMenu(QStringLiteral("&Czcionka"));
    fonts->setObjectName(QStringLiteral("MenuCzcionka"));
    AddItems(*fonts, kFontItems, nullptr, run);
    AddItems(*message, kMessageItems, nullptr, run);

    QMenu* sign = bar.addMenu(QStringLiteral("&Linijka"));
    sign->setObjectName(QStringLiteral("MenuLinijka"));
    AddItems(*sign, kSignItems, nullptr, run);

    // "Plik" lists every command that has a key, so one menu shows all the keys; the items are
    // shared, not copied, since two items on one key would leave the key ambiguous.
    for (const char* shared : {"MenuTestuj", "MenuWyslijKomunikat"}) {
        fileMenu.insertAction(&exitItem, bar.findChild<QAction*>(QString::fromLatin1(shared)));
    }
    fileMenu.insertSeparator(&exitItem);
}

QString KeyHelpText() {
    const auto key = [](const QKeySequence& keys) {
        return keys.toString(QKeySequence::NativeText);
    };
    const auto command = [&key](PanelCommand c) { return key(ShortcutsOf(c).first()); };
    const QString rows[][4] = {
        {command(C::SendMessage), QStringLiteral("wyślij komunikat do linijki"),
         command(C::LoadMessage), QStringLiteral("wczytaj komunikat")},
        {command(C::TestMessage), QStringLiteral("testuj komunikat na podglądzie"),
         command(C::SaveMessage), QStringLiteral("zapisz komunikat")},
        {key(QKeySequence(Qt::Key_Escape)), QStringLiteral("zatrzymaj podgląd"),
         command(C::LoadSet), QStringLiteral("wczytaj zestaw komunikatów")},
        {key(QKeySequence(Qt::CTRL | Qt::Key_V)), QStringLiteral("wklej tekst ze schowka"),
         command(C::SaveSet), QStringLiteral("zapisz zestaw komunikatów")},
        {key(QKeySequence(Qt::CTRL | Qt::Key_Z)), QStringLiteral("cofnij zmianę"),
         key(QKeySequence(Qt::CTRL | Qt::Key_Y)), QStringLiteral("ponów zmianę")},
        {key(ExitShortcut()), QStringLiteral("wyjdź z programu"), QStringLiteral("Alt"),
         QStringLiteral("menu z wszystkimi poleceniami")},
    };
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    for (const auto& row : rows) {
        html += QStringLiteral("<tr><td><b>%1</b></td><td>&nbsp;%2&nbsp;&nbsp;&nbsp;&nbsp;</td>"
                               "<td><b>%3</b></td><td>&nbsp;%4</td></tr>")
                    .arg(row[0].toHtmlEscaped(), row[1], row[2].toHtmlEscaped(), row[3]);
    }
    return html + QStringLiteral("</table>");
}

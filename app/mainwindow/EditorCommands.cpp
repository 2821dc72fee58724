#include "app/mainwindow/EditorCommands.h"

#include <array>

namespace {

using C = PanelCommand;

struct Shortcut {
    PanelCommand command;
    QKeyCombination primary;
    QKeyCombination alternative; // the same command on a second key, or none
};

// Enter on the keypad and on the main keyboard send alike; the first is shown, because the
// toolkit names the main keyboard's key "Return", which is not what the key says.
constexpr std::array<Shortcut, 6> kShortcuts{{
    {C::LoadMessage, Qt::CTRL | Qt::Key_O, {}},
    {C::SaveMessage, Qt::CTRL | Qt::Key_S, {}},
    {C::LoadSet, Qt::CTRL | Qt::SHIFT | Qt::Key_O, {}},
    {C::SaveSet, Qt::CTRL | Qt::SHIFT | Qt::Key_S, {}},
    {C::SendMessage, Qt::CTRL | Qt::Key_Enter, Qt::CTRL | Qt::Key_Return},
    {C::TestMessage, QKeyCombination(Qt::Key_F5), {}},
}};

} // namespace

QList<QKeySequence> ShortcutsOf(PanelCommand command) {
    QList<QKeySequence> keys;
    for (const Shortcut& s : kShortcuts) {
        if (s.command == command) {
            keys << QKeySequence(s.primary);
            if (s.alternative.key() != Qt::Key_unknown) {
                keys << QKeySequence(s.alternative);
            }
        }
    }
    return keys;
}

QKeySequence ExitShortcut() {
    return QKeySequence(Qt::CTRL | Qt::Key_Q);
}

QString WithShortcut(const QString& text, PanelCommand command) {
    const QList<QKeySequence> keys = ShortcutsOf(command);
    if (keys.isEmpty()) {
        return text;
    }
    return text + QStringLiteral(" (") + keys.first().toString(QKeySequence::NativeText) +
           QLatin1Char(')');
}

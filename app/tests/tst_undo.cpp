// "Cofnij" and "Ponów" through real key presses and clicks: every kind of change to message 1,
// up to a send to the software sign, walked back with Ctrl+Z and forward again with Ctrl+Y and
// Ctrl+Shift+Z.

#include "EditorFixture.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <vector>

#ifdef LEDSIGN_EMULATOR
#include "testsupport/SoftwareSign.h"
#endif

namespace {

using Bytes = QByteArray;

// What one undo step restores, and what shows it.
struct EditorState {
    Bytes message1;
    int cursor = 0;
    int font = 0;
    Bytes others; // messages 2..8
    bool captionFollowsType = false;

    static EditorState Of(EditorFixture& fx) {
        TForm1& f = fx.Form1();
        EditorState s{DataOf(fx.Message1()), fx.Cursor(), fx.Message1().GetFont(), {}, false};
        for (int k = 1; k < kMessageCount; ++k) {
            s.others += DataOf(f.Messages()[static_cast<std::size_t>(k)]);
        }
        const QString caption = f.Panel().Buttons().Caption(kSettingsCategory, 0);
        s.captionFollowsType =
            caption.endsWith(fx.Message1().GetType() == 0 ? QStringLiteral("przewijany")
                                                          : QStringLiteral("stojący"));
        return s;
    }
};

#ifdef LEDSIGN_EMULATOR // the files are sent to the software sign

// `bytes` as the text of a message in font `font`, the rest of the 1024 bytes zero.
Bytes MessageOf(const char* text, char font) {
    Bytes m(kMessageSize, '\0');
    for (int i = 0; text[i] != '\0'; ++i) {
        m[2 * i] = font;
        m[2 * i + 1] = text[i];
    }
    return m;
}

void WriteFile(const QString& path, const Bytes& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

#endif

struct Edit {
    const char* name;
    std::function<void(EditorFixture&)> run;
};

} // namespace

class UndoTest : public QObject {
    Q_OBJECT

private slots:
    void EveryChangeIsUndoneAndRedoneStepByStep() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QStringList editEntries;
        for (const QAction* menu : f.menuBar()->actions()) {
            if (menu->text() == QStringLiteral("&Edycja")) {
                for (const QAction* entry : menu->menu()->actions()) {
                    editEntries << entry->text();
                }
            }
        }
        QVERIFY(editEntries.contains(QStringLiteral("&Cofnij")));
        QVERIFY(editEntries.contains(QStringLiteral("&Ponów")));
#ifndef LEDSIGN_EMULATOR
        QSKIP("needs the software sign");
#else
        tool_tests::Sign sign(fx.Dir().toStdString());
        QVERIFY(!sign.Port().empty());
        Component<QComboBox>(f, "ComboBoxCOM").setEditText(QString::fromStdString(sign.Port()));
        const QString kom = fx.Dir() + "/one.kom";
        WriteFile(kom, MessageOf("plik", 3));
        const QString kzb = fx.Dir() + "/set.kzb";
        Bytes set;
        for (const char* text : {"jeden", "dwa", "trzy", "cztery", "piec", "szesc", "7", "8"}) {
            set += MessageOf(text, 2);
        }
        WriteFile(kzb, set);
        const auto type = [&fx](const char* text) { QTest::keyClicks(&fx.Grid(), text); };

        // Each row is one undo step.
        const std::vector<Edit> edits = {
            {"typing with Backspace",
             [&](EditorFixture& x) {
                 type("abc");
                 QTest::keyClick(&x.Grid(), Qt::Key_Backspace);
             }},
            {"paste",
             [](EditorFixture& x) {
                 QGuiApplication::clipboard()->setText(QStringLiteral("XY"));
                 QTest::keyClick(&x.Grid(), Qt::Key_V, Qt::ControlModifier);
             }},
            {"time field", [](EditorFixture& x) { ClickButton(x.Form1(), kInsertCategory, 1); }},
            // A font change is no step of its own: the next step restores it.
            {"type toggle, then font 2",
             [](EditorFixture& x) {
                 ClickButton(x.Form1(), kSettingsCategory, 0);
                 ClickButton(x.Form1(), kFontsCategory, 1);
             }},
            {"typing in font 2", [&](EditorFixture&) { type("z"); }},
            {"clear",
             [](EditorFixture& x) {
                 x.dialogs.answers.push_back(true);
                 ClickButton(x.Form1(), kActionsCategory, kClearItem);
             }},
            {"load message",
             [&](EditorFixture& x) {
                 x.dialogs.files.push_back(kom);
                 ClickButton(x.Form1(), kActionsCategory, kLoadMessageItem);
             }},
            {"load set",
             [&](EditorFixture& x) {
                 x.dialogs.files.push_back(kzb);
                 ClickButton(x.Form1(), kActionsCategory, kLoadSetItem);
             }},
            {"send",
             [](EditorFixture& x) {
                 QTest::mouseClick(&Component<QToolButton>(x.Form1(), "ToolButton14"),
                                   Qt::LeftButton);
             }},
        };

        std::vector<EditorState> states{EditorState::Of(fx)};
        for (const Edit& e : edits) {
            e.run(fx);
            states.push_back(EditorState::Of(fx));
            QVERIFY2(states.back().message1 != states[states.size() - 2].message1, e.name);
        }
        QCOMPARE(fx.dialogs.errors, QStringList());
        QCOMPARE(sign.Log().size(), 1u);
        QCOMPARE(fx.Text(), Bytes()); // the send emptied message 1

        const auto expectState = [&fx](const EditorState& want, const char* step) {
            const EditorState now = EditorState::Of(fx);
            QVERIFY2(now.message1 == want.message1, step);
            QVERIFY2(now.cursor == want.cursor, step);
            QVERIFY2(now.font == want.font, step);
            QVERIFY2(now.captionFollowsType, step);
            QVERIFY2(fx.Grid().hasFocus(), step);
        };
        for (std::size_t i = edits.size(); i-- > 0;) {
            QTest::keyClick(&fx.Grid(), Qt::Key_Z, Qt::ControlModifier);
            expectState(states[i], edits[i].name);
            if (QTest::currentTestFailed()) {
                return;
            }
        }
        // Undoing the set's load emptied messages 2..8 again, although the send had put the
        // sent message into message 2 since.
        QCOMPARE(EditorState::Of(fx).others, Bytes(7 * kMessageSize, '\0'));
        QTest::keyClick(&fx.Grid(), Qt::Key_Z, Qt::ControlModifier); // nothing left
        expectState(states[0], "after the first step");

        for (std::size_t i = 0; i < edits.size(); ++i) {
            const auto modifiers =
                i % 2 == 0 ? Qt::ControlModifier
                           : Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier);
            QTest::keyClick(&fx.Grid(), i % 2 == 0 ? Qt::Key_Y : Qt::Key_Z, modifiers);
            expectState(states[i + 1], edits[i].name);
            if (QTest::currentTestFailed()) {
                return;
            }
        }
        // Sending what the first undo brought back sends the same message again.
        QTest::keyClick(&fx.Grid(), Qt::Key_Z, Qt::ControlModifier);
        QTest::mouseClick(&Component<QToolButton>(f, "ToolButton14"), Qt::LeftButton);
        QCOMPARE(sign.Log().size(), 2u);
        QCOMPARE(sign.Log()[1], sign.Log()[0]);
#endif
    }
};

QTEST_MAIN(UndoTest)
#include "tst_undo.moc"

// The grid editor as the operator uses it from the keyboard: the grid keeps the keys across
// every command of the panel, only keys that stand for text make cells, the navigation keys
// reach the end of the text, and control codes are marked in the grid.

#include "EditorFixture.h"
#include "app/widgets/ControlCodeMarks.h"

#include <QComboBox>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

#ifdef LEDSIGN_EMULATOR
#include "testsupport/SoftwareSign.h"
#endif

namespace {

using Bytes = QByteArray;

// Message cells "LM" in font 4, as a message file and as message 1 of a set file.
Bytes LoadedMessage() {
    Bytes b(kMessageSize, '\0');
    b.replace(0, 4, Bytes("\x04L\x04M", 4));
    return b;
}

// Once `window` is shown and active (from inside its modal loop), runs `step` every 20 ms
// until it returns true: the synchronisation window refuses to close while its start runs.
// Waiting for the activation keeps a late activation event from making the window active
// after it has closed, which no operator could cause.
void WhileShown(QWidget& window, std::function<bool()> step) {
    auto* poll = new QTimer(&window);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, poll, [&window, poll, step] {
        if (window.isVisible() && window.isActiveWindow() && step()) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start();
}

// Clicks button (category, item) of the action panel with the mouse, scrolling to it first;
// category -1 clicks the "Wyślij" tool button.
void ClickCommand(TForm1& f, int category, int item) {
    if (category < 0) {
        QTest::mouseClick(&Component<QToolButton>(f, "ToolButton14"), Qt::LeftButton);
        return;
    }
    ClickButton(f, category, item);
}

// Types `text` as key presses delivered to whichever widget has the keyboard focus.
void TypeIntoFocus(const QString& text) {
    QTest::keyClicks(static_cast<QWidget*>(nullptr), text);
}

enum Port { NoPort, SignPort, MissingPort };
enum Window { NoWindow, PickHash, CancelTable, CloseSync };

} // namespace

class GridKeysTest : public QObject {
    Q_OBJECT

private slots:
    void EveryPanelCommandLeavesTheKeysWithTheGrid_data() {
        QTest::addColumn<int>("category");
        QTest::addColumn<int>("item");
        QTest::addColumn<int>("answer");   // the question's answer: -1 none asked, 0 No, 1 Yes
        QTest::addColumn<QString>("file"); // the file dialog's choice; "" cancels
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("window");
        QTest::addColumn<Bytes>("text"); // message 1 after "ab", the command and "xy"

        const auto row = [](const char* name, int category, int item, int answer,
                            const QString& file, Port port, Window window, const Bytes& text) {
            QTest::newRow(name) << category << item << answer << file << int(port) << int(window)
                                << text;
        };
        const int A = kActionsCategory;
        row("font 1", kFontsCategory, 0, -1, "", NoPort, NoWindow, "abxy");
        row("date", kInsertCategory, 0, -1, "", NoPort, NoWindow, "ab\xfexy");
        row("time", kInsertCategory, 1, -1, "", NoPort, NoWindow, "ab\xffxy");
        row("temperature", kInsertCategory, 2, -1, "", NoPort, NoWindow, "ab\xfaxy");
        row("character chosen", kInsertCategory, 3, -1, "", NoPort, PickHash, "ab#xy");
        row("character table left", kInsertCategory, 3, -1, "", NoPort, CancelTable, "abxy");
        row("type", kSettingsCategory, 0, -1, "", NoPort, NoWindow, "abxy");
        row("test", A, kTestItem, -1, "", NoPort, NoWindow, "abxy");
        row("clear yes", A, kClearItem, 1, "", NoPort, NoWindow, "xy");
        row("clear no", A, kClearItem, 0, "", NoPort, NoWindow, "abxy");
        row("load message", A, kLoadMessageItem, -1, "in.kom", NoPort, NoWindow, "LMxy");
        row("load message cancelled", A, kLoadMessageItem, -1, "", NoPort, NoWindow, "abxy");
        row("load set", A, kLoadSetItem, -1, "in.kzb", NoPort, NoWindow, "LMxy");
        row("load set cancelled", A, kLoadSetItem, -1, "", NoPort, NoWindow, "abxy");
        row("save message", A, kSaveMessageItem, -1, "out.kom", NoPort, NoWindow, "abxy");
        row("save message cancelled", A, kSaveMessageItem, -1, "", NoPort, NoWindow, "abxy");
        row("save set", A, kSaveSetItem, -1, "out.kzb", NoPort, NoWindow, "abxy");
        row("save set cancelled", A, kSaveSetItem, -1, "", NoPort, NoWindow, "abxy");
        row("send failed", A, kSendMessageItem, -1, "", MissingPort, NoWindow, "abxy");
        row("configuration", A, kSendConfigurationItem, -1, "", NoPort, NoWindow, "abxy");
        row("sync window", A, kSyncFileItem, -1, "", MissingPort, CloseSync, "abxy");
#ifdef LEDSIGN_EMULATOR
        row("send", A, kSendMessageItem, -1, "", SignPort, NoWindow, "xy");
        row("send button", -1, 0, -1, "", SignPort, NoWindow, "xy");
        row("send set", A, kSendSetItem, -1, "", SignPort, NoWindow, "abxy");
        row("clock", A, kSyncClockItem, -1, "", SignPort, NoWindow, "abxy");
        row("show", A, kShowMessageItem, -1, "", SignPort, NoWindow, "abxy");
        row("sync window with sign", A, kSyncFileItem, -1, "", SignPort, CloseSync, "abxy");
#endif
    }
    void EveryPanelCommandLeavesTheKeysWithTheGrid() {
        QFETCH(int, category);
        QFETCH(int, item);
        QFETCH(int, answer);
        QFETCH(QString, file);
        QFETCH(int, port);
        QFETCH(int, window);
        QFETCH(Bytes, text);
        EditorFixture fx;
        TForm1& f = fx.Form1();
#ifdef LEDSIGN_EMULATOR
        std::unique_ptr<tool_tests::Sign> sign;
        if (port == SignPort) {
            sign = std::make_unique<tool_tests::Sign>(fx.Dir().toStdString());
            QVERIFY(!sign->Port().empty());
            Component<QComboBox>(f, "ComboBoxCOM")
                .setEditText(QString::fromStdString(sign->Port()));
        }
#endif
        if (port == MissingPort) {
            Component<QComboBox>(f, "ComboBoxCOM").setEditText(fx.Dir() + "/no-such-tty");
        }
        if (answer >= 0) {
            fx.dialogs.answers.push_back(answer == 1);
        }
        if (!file.isEmpty()) {
            QFile out(fx.Dir() + "/" + file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(LoadedMessage().repeated(file.endsWith(".kzb") ? kMessageCount : 1));
            fx.dialogs.files.push_back(out.fileName());
        }
        TForm2& table = fx.Form2();
        TForm3& sync = fx.Form3();
        if (window == PickHash) { // code 35 is in column 3 of row 1
            WhileShown(table, [&table] {
                QTest::mouseDClick(table.DrawGrid1, Qt::LeftButton, {}, QPoint(3 * 17 + 8, 25));
                return true;
            });
        } else if (window == CancelTable) {
            WhileShown(table, [&table] {
                QTest::keyClick(table.DrawGrid1, Qt::Key_Escape);
                return true;
            });
        } else if (window == CloseSync) {
            WhileShown(sync, [&sync] { return sync.close(); });
        }
        TypeIntoFocus("ab");
        QCOMPARE(fx.Text(), Bytes("ab"));

        ClickCommand(f, category, item);

        QVERIFY(!table.isVisible() && !sync.isVisible());
        QTRY_VERIFY(fx.Grid().hasFocus());
        TypeIntoFocus("xy");
        QCOMPARE(fx.Text(), text);
        QVERIFY(fx.Grid().hasFocus());
        if (window != CloseSync) { // that window reports its own port failure
            QCOMPARE(fx.dialogs.errors.size(), port == MissingPort ? 1 : 0);
        }
        QVERIFY(fx.dialogs.answers.empty() && fx.dialogs.files.empty());
    }

    void KeysOfTheGrid_data() {
        QTest::addColumn<Bytes>("start"); // typed first
        QTest::addColumn<int>("from");    // cursor before the key
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("keyText"); // what the system reports the key types
        QTest::addColumn<Bytes>("text");
        QTest::addColumn<int>("cursor");

        const auto row = [](const char* name, const Bytes& start, int from, int key, int mods,
                            const QString& keyText, const Bytes& text, int cursor) {
            QTest::newRow(name) << start << from << key << mods << keyText << text << cursor;
        };
        const int ctrl = Qt::ControlModifier;
        const int alt = Qt::AltModifier;
        // Commands and Escape type nothing; Enter, Tab and AltGr letters (Ctrl+Alt) do.
        row("ctrl+z", "ab", 2, Qt::Key_Z, ctrl, "\x1a", "", 0); // undoes the typing of "ab"
        row("ctrl+s", "ab", 2, Qt::Key_S, ctrl, "\x13", "ab", 2);
        row("ctrl+c", "ab", 2, Qt::Key_C, ctrl, "\x03", "ab", 2);
        row("ctrl+a", "ab", 2, Qt::Key_A, ctrl, "\x01", "ab", 2);
        row("alt+x", "ab", 2, Qt::Key_X, alt, "x", "ab", 2);
        row("ctrl+alt control code", "ab", 2, Qt::Key_A, ctrl | alt, "\x01", "ab", 2);
        row("escape", "ab", 2, Qt::Key_Escape, 0, "\x1b", "ab", 2);
        row("altgr letter", "ab", 2, Qt::Key_A, ctrl | alt, "ą", "ab\xb9", 3);
        row("enter", "ab", 1, Qt::Key_Return, 0, "\r", "a\rb", 2);
        row("tab", "ab", 2, Qt::Key_Tab, 0, "\t", "ab\t", 3);
        row("shift+tab", "ab", 2, Qt::Key_Backtab, Qt::ShiftModifier, "", "ab", 2);
        // Navigation in 40 cells: row 0 full, row 1 ends at the first free cell, 40.
        const Bytes n40(40, 'n');
        row("home", n40, 37, Qt::Key_Home, 0, "", n40, 32);
        row("ctrl+home", n40, 37, Qt::Key_Home, ctrl, "", n40, 0);
        row("end of a short row", n40, 33, Qt::Key_End, 0, "", n40, 40);
        row("end of a full row", n40, 3, Qt::Key_End, 0, "", n40, 31);
        row("end of no text", "", 0, Qt::Key_End, 0, "", "", 0);
        row("ctrl+end", n40, 3, Qt::Key_End, ctrl, "", n40, 40);
        row("up", n40, 40, Qt::Key_Up, 0, "", n40, 8);
        row("down onto the text", n40, 8, Qt::Key_Down, 0, "", n40, 40);
        row("down beyond the text", n40, 20, Qt::Key_Down, 0, "", n40, 20);
        row("page down beyond the text", n40, 8, Qt::Key_PageDown, 0, "", n40, 8);
        row("page up", n40, 40, Qt::Key_PageUp, 0, "", n40, 8);
    }
    void KeysOfTheGrid() {
        QFETCH(Bytes, start);
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, keyText);
        QFETCH(Bytes, text);
        QFETCH(int, cursor);
        EditorFixture fx;
        QTest::keyClicks(&fx.Grid(), QString::fromLatin1(start));
        fx.Grid().SetCell(from % kGridColumns, from / kGridColumns);
        QCOMPARE(fx.Cursor(), from);

        QTest::sendKeyEvent(QTest::Click, static_cast<QWidget*>(nullptr), Qt::Key(key), keyText,
                            Qt::KeyboardModifiers(modifiers));

        QCOMPARE(fx.Text(), text);
        QCOMPARE(fx.Cursor(), cursor);
        QVERIFY(fx.Grid().hasFocus());
    }

    void EscapeStillReachesThePreview() {
        EditorFixture fx;
        fx.Form1().Strip().SetLastKey(0);
        QTest::keyClick(&fx.Grid(), Qt::Key_Escape);
        QCOMPARE(int(fx.Form1().Strip().LastKey()), 27);
    }

    void ControlCodesAreMarkedOverTheirCells() {
        EditorFixture fx;
        // The mark of each code: the pixels of the mark colour in its cell, off the cursor.
        const auto markOf = [&fx](std::uint8_t code) {
            const std::uint8_t cell[] = {4, code};
            fx.Message1().LoadFromBytes(cell);
            fx.Grid().SetCell(1, 0);
            const QImage shot = fx.Grid().grab(fx.Grid().CellRect(0, 0)).toImage();
            QImage mark(shot.size(), QImage::Format_Mono);
            mark.fill(0);
            for (int y = 0; y < shot.height(); ++y) {
                for (int x = 0; x < shot.width(); ++x) {
                    if ((shot.pixel(x, y) & 0xFFFFFF) == (kControlCodeMarkColour & 0xFFFFFF)) {
                        mark.setPixel(x, y, 1);
                    }
                }
            }
            return mark;
        };
        const QImage none = markOf('A');
        const QImage cr = markOf(13);
        const QImage lf = markOf(10);
        const QImage tab = markOf(9);
        const QImage dot = markOf(1);
        QCOMPARE(markOf(' '), none);
        QCOMPARE(markOf(31), dot);
        QCOMPARE(markOf(0), dot); // a code 0 cell is text too while its attribute is set
        const QList<QImage> distinct = {none, cr, lf, tab, dot};
        for (qsizetype i = 0; i < distinct.size(); ++i) {
            for (qsizetype j = i + 1; j < distinct.size(); ++j) {
                QVERIFY2(distinct[i] != distinct[j], qPrintable(QString("%1 %2").arg(i).arg(j)));
            }
        }
        // The mark lives only in the window: the message keeps its bytes.
        QCOMPARE(fx.Message1().GetData()[1], std::uint8_t{0});
    }
};

QTEST_MAIN(GridKeysTest)
#include "tst_gridkeys.moc"

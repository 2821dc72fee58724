// The main window as the operator meets it from the keyboard and across runs: shortcuts and
// their menus and tool tips, the folders and window size it remembers, the file named in its
// caption, and a size that fits small screens.

#include "EditorFixture.h"
#include "app/mainwindow/ClientArea.h"
#include "app/mainwindow/MainMenu.h"
#include "app/widgets/CategoryButtons.h"

#include <QComboBox>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

namespace {

const QString kTitle = QStringLiteral("Centrum sterowania linijką świetlną nr 380 wersja Welnar");

// `cells` cells "ab..." in font 4, then zeros; `count` such messages back to back.
QByteArray Messages(int cells, int count = 1) {
    QByteArray one(kMessageSize, '\0');
    for (int i = 0; i < cells; ++i) {
        one[2 * i] = 4;
        one[2 * i + 1] = static_cast<char>('a' + i);
    }
    return one.repeated(count);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The menu bar's action that `keys` triggers, or null.
QAction* MenuActionFor(TForm1& f, const QKeySequence& keys) {
    for (QAction* a : f.menuBar()->findChildren<QAction*>()) {
        if (a->shortcuts().contains(keys)) {
            return a;
        }
    }
    return nullptr;
}

} // namespace

class WindowShellTest : public QObject {
    Q_OBJECT

private slots:
    // Each shortcut, pressed in the grid, runs its command; the same keys stand in a menu item
    // and in the tool tip of the panel's button.
    void ShortcutsRunTheirCommands_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("item");     // the panel button of "Akcje" naming the keys, or -1
        QTest::addColumn<QString>("file"); // prepared and chosen in the dialog, or ""
        QTest::addColumn<QByteArray>("fileBytes"); // its content before (load) or after (save)
        QTest::addColumn<QString>("effect");
        const int ctrl = Qt::ControlModifier;
        const int ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
        QTest::newRow("Ctrl+O loads a message") << int(Qt::Key_O) << ctrl << int(kLoadMessageItem)
                                                << "m.kom" << Messages(2) << "text ab";
        QTest::newRow("Ctrl+S saves the message")
            << int(Qt::Key_S) << ctrl << int(kSaveMessageItem) << "m.kom" << Messages(1) << "saved";
        QTest::newRow("Ctrl+Shift+O loads a set")
            << int(Qt::Key_O) << ctrlShift << int(kLoadSetItem) << "s.kzb" << Messages(2, 8)
            << "text ab";
        QTest::newRow("Ctrl+Shift+S saves the set")
            << int(Qt::Key_S) << ctrlShift << int(kSaveSetItem) << "s.kzb"
            << (Messages(1) + Messages(0, 7)) << "saved";
        QTest::newRow("Ctrl+Enter sends")
            << int(Qt::Key_Enter) << int(ctrl | Qt::KeypadModifier) << int(kSendMessageItem) << ""
            << QByteArray() << "port error";
        QTest::newRow("Ctrl+Return sends")
            << int(Qt::Key_Return) << ctrl << -1 << "" << QByteArray() << "port error";
        QTest::newRow("F5 tests") << int(Qt::Key_F5) << 0 << int(kTestItem) << "" << QByteArray()
                                  << "plays";
        QTest::newRow("Ctrl+Q asks")
            << int(Qt::Key_Q) << ctrl << -1 << "" << QByteArray() << "asks";
    }
    void ShortcutsRunTheirCommands() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, item);
        QFETCH(QString, file);
        QFETCH(QByteArray, fileBytes);
        QFETCH(QString, effect);
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), "a");
        const QString noPort = fx.Dir() + "/no-port";
        Component<QComboBox>(f, "ComboBoxCOM").setEditText(noPort);
        const QString path = file.isEmpty() ? QString() : fx.Dir() + "/" + file;
        if (effect == "text ab") {
            QVERIFY(WriteFile(path, fileBytes));
        }
        if (!path.isEmpty()) {
            fx.dialogs.files = {path};
        }
        const auto mods = Qt::KeyboardModifiers(modifiers);
        const QKeySequence keys(QKeyCombination(mods & ~Qt::KeypadModifier, Qt::Key(key)));

        QTest::keyClick(&fx.Grid(), Qt::Key(key), mods);

        if (effect == "text ab") {
            QCOMPARE(fx.Text(), QByteArray("ab"));
        } else if (effect == "saved") {
            QCOMPARE(ReadWholeFile(path), fileBytes);
        } else if (effect == "port error") {
            QCOMPARE(fx.dialogs.errors, QStringList{"Nie mogę otworzyć portu " + noPort + " !"});
        } else if (effect == "plays") {
            QVERIFY(f.Strip().Active());
            QCOMPARE(fx.Text(), QByteArray("a"));
        } else { // "a" is unsaved: the question is whether to save it
            QCOMPARE(fx.dialogs.questions,
                     QStringList{"Komunikat nie został zapisany. Zapisać zmiany przed zamknięciem "
                                 "programu?"});
            QVERIFY(f.isVisible());
        }
        QVERIFY(MenuActionFor(f, keys) != nullptr);
        if (item >= 0) {
            const QString hint = f.Panel().Buttons().Hint(kActionsCategory, item);
            QVERIFY2(hint.endsWith("(" + keys.toString(QKeySequence::NativeText) + ")"),
                     qPrintable(hint));
        }
    }

    // The grid keeps the keyboard, so the menus are the keyboard's way to every panel command.
    void EveryPanelCommandIsInAMenu() {
        EditorFixture fx(std::nullopt, false);
        QSet<int> inMenus;
        for (QAction* a : fx.Form1().menuBar()->findChildren<QAction*>()) {
            if (a->data().isValid()) {
                inMenus << a->data().toInt();
            }
        }
        for (int c = int(PanelCommand::Font1); c <= int(PanelCommand::ShowMessage); ++c) {
            QVERIFY2(inMenus.contains(c), qPrintable(QString::number(c)));
        }
    }

    // Message files and set files each open in the folder last used for them, in this run and
    // the next; a folder that has gone is not offered.
    void FoldersAreRememberedPerKindAcrossRuns() {
        QTemporaryDir config;
        QTemporaryDir files;
        QVERIFY(QDir(files.path()).mkpath("messages") && QDir(files.path()).mkpath("sets"));
        const QString messages = files.filePath("messages");
        const QString sets = files.filePath("sets");
        {
            EditorFixture fx(std::nullopt, true, config.path());
            fx.dialogs.files = {messages + "/a.kom", sets + "/b.kzb"};
            QTest::keyClick(&fx.Grid(), Qt::Key_S, Qt::ControlModifier);
            QTest::keyClick(&fx.Grid(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
            QTest::keyClick(&fx.Grid(), Qt::Key_O, Qt::ControlModifier); // cancelled
            QCOMPARE(fx.dialogs.startFolders,
                     (QStringList{"", "", QDir::toNativeSeparators(messages)}));
        }
        EditorFixture next(std::nullopt, true, config.path());
        QTest::keyClick(&next.Grid(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(&next.Grid(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(next.dialogs.startFolders,
                 (QStringList{QDir::toNativeSeparators(sets), QDir::toNativeSeparators(messages)}));
        QVERIFY(QDir(messages).removeRecursively());
        QTest::keyClick(&next.Grid(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(next.dialogs.startFolders.last(), QString());
    }

    // The caption names the file last loaded or written, of either kind; a file that did not
    // load, or a cancelled dialog, leaves it as it was.
    void CaptionNamesTheLastFile_data() {
        QTest::addColumn<QStringList>("steps"); // "load:name" / "save:name" / "cancel"
        QTest::addColumn<QString>("caption");
        QTest::newRow("none") << QStringList{} << kTitle;
        QTest::newRow("message saved") << QStringList{"save:m.kom"} << kTitle + " - m.kom";
        QTest::newRow("set loaded after")
            << QStringList{"save:m.kom", "load:s.kzb"} << kTitle + " - s.kzb";
        QTest::newRow("missing file")
            << QStringList{"load:m.kom", "load:missing.kom"} << kTitle + " - m.kom";
        QTest::newRow("cancelled") << QStringList{"save:s.kzb", "cancel"} << kTitle + " - s.kzb";
    }
    void CaptionNamesTheLastFile() {
        QFETCH(QStringList, steps);
        QFETCH(QString, caption);
        EditorFixture fx;
        QVERIFY(WriteFile(fx.Dir() + "/m.kom", Messages(1)));
        QVERIFY(WriteFile(fx.Dir() + "/s.kzb", Messages(1, 8)));
        for (const QString& step : steps) {
            const QString name = step.section(':', 1);
            const bool set = name.endsWith(".kzb");
            fx.dialogs.files = {name.isEmpty() ? QString() : fx.Dir() + "/" + name};
            const Qt::KeyboardModifiers mods =
                set ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier;
            QTest::keyClick(&fx.Grid(), step.startsWith("save") ? Qt::Key_S : Qt::Key_O, mods);
        }
        QCOMPARE(fx.Form1().windowTitle(), caption);
    }

    // Smallest and starting sizes leave room for a title bar and a task bar on a 1366 x 768
    // screen at 100 % and at 125 % (1093 x 614 logical pixels); growing the window keeps the
    // designed area where it was and gives the room to the panel, which scrolls when it must.
    void WindowFitsSmallScreensAndGrowsThePanel() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        const QSize reserve(16, ClientArea::kTitleBarAllowance + ClientArea::kTaskBarAllowance);
        const QSize smallest = f.minimumSizeHint().expandedTo(f.minimumSize()) + reserve;
        QVERIFY2(smallest.width() <= 1093 && smallest.height() <= 614,
                 qPrintable(QString("%1x%2").arg(smallest.width()).arg(smallest.height())));
        const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
        QVERIFY(f.width() + reserve.width() <= std::max(room.width(), smallest.width()));
        QVERIFY(f.height() + reserve.height() <= std::max(room.height(), smallest.height()));

        auto* grid = f.findChild<QWidget*>("DrawGrid1");
        const QRect gridAt = grid->geometry();
        f.resize(f.minimumSize());
        QTRY_COMPARE(f.size(), f.minimumSize());
        QScrollBar* scroll = f.Panel().verticalScrollBar();
        QVERIFY(scroll->maximum() > 0); // the expanded panel scrolls at the smallest size
        CategoryButtons& buttons = f.Panel().Buttons();
        const int panelWidth = f.Panel().width();
        for (int c = 0; c < buttons.CategoryCount(); ++c) {
            QTest::mouseClick(&buttons, Qt::LeftButton, {}, buttons.HeaderRect(c).center());
        }
        QTRY_COMPARE(scroll->maximum(), 0); // collapsed, it fits

        f.resize(f.minimumSize() + QSize(200, 150));
        QTRY_COMPARE(f.Panel().width(), panelWidth + 200);
        QCOMPARE(grid->geometry(), gridAt);
        QVERIFY(f.maximumSize().width() > f.minimumSize().width());
    }

    void WindowSizeIsRememberedAcrossRuns() {
        QTemporaryDir config;
        QSize left;
        {
            EditorFixture fx(std::nullopt, true, config.path());
            // Taller only: the test platform's screen is narrower than the smallest window.
            left = fx.Form1().minimumSize() + QSize(0, 41);
            fx.Form1().resize(left);
            QTRY_COMPARE(fx.Form1().size(), left);
        }
        EditorFixture next(std::nullopt, false, config.path());
        QCOMPARE(next.Form1().size(), left);
    }
};

QTEST_MAIN(WindowShellTest)
#include "tst_windowshell.moc"

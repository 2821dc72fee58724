// The reusable parts of the windows: cell grid, category panel, key map and code page
// conversion, settings file, dialogs with the Polish translation.

#include "app/Dialogs.h"
#include "app/KeyMap.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "app/widgets/CategoryButtons.h"
#include "app/widgets/CellGrid.h"
#include "messages/Cp1250.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <vector>

namespace {

// A 32 x 16 grid whose cells up to `limit` (row x 32 + column) may be selected.
struct RuledGrid {
    explicit RuledGrid(int limit) : grid(32, 16, 17) {
        grid.SetSelectCellHandler([limit](int c, int r, bool& ok) { ok = r * 32 + c <= limit; });
        grid.resize(grid.sizeHint());
    }
    int Index() const { return grid.Row() * 32 + grid.Col(); }
    CellGrid grid;
};

} // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InstallPolishTranslation(*qApp); }

    // --- cell grid ---

    void GridMovesOnlyToCellsTheCheckAccepts() {
        RuledGrid g(40);
        g.grid.SetCol(5);
        QCOMPARE(g.Index(), 5);
        g.grid.SetRow(1); // 37
        QCOMPARE(g.Index(), 37);
        g.grid.SetCol(9); // 41: refused
        QCOMPARE(g.Index(), 37);
        g.grid.SetCol(40); // outside the grid
        QCOMPARE(g.Index(), 37);
        g.grid.SetRow(-1);
        QCOMPARE(g.Index(), 37);
        g.grid.SetCell(8, 1); // 40: accepted in one step
        QCOMPARE(g.Index(), 40);
        QVERIFY(!g.grid.MoveTo(0, 2));
        QCOMPARE(g.Index(), 40);
    }

    void GridNavigationKeys_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("expected");
        const int none = Qt::NoModifier;
        const int ctrl = Qt::ControlModifier;
        QTest::newRow("down") << 511 << 3 << int(Qt::Key_Down) << none << 35;
        QTest::newRow("down refused") << 34 << 3 << int(Qt::Key_Down) << none << 3;
        QTest::newRow("up") << 511 << 35 << int(Qt::Key_Up) << none << 3;
        QTest::newRow("up on row 0") << 511 << 3 << int(Qt::Key_Up) << none << 3;
        QTest::newRow("left") << 511 << 3 << int(Qt::Key_Left) << none << 2;
        QTest::newRow("left at column 0") << 511 << 32 << int(Qt::Key_Left) << none << 32;
        QTest::newRow("right") << 511 << 3 << int(Qt::Key_Right) << none << 4;
        QTest::newRow("right refused") << 3 << 3 << int(Qt::Key_Right) << none << 3;
        QTest::newRow("right at column 31") << 511 << 31 << int(Qt::Key_Right) << none << 31;
        QTest::newRow("home") << 511 << 40 << int(Qt::Key_Home) << none << 32;
        QTest::newRow("end") << 511 << 40 << int(Qt::Key_End) << none << 63;
        QTest::newRow("end at the limit") << 50 << 40 << int(Qt::Key_End) << none << 50;
        QTest::newRow("ctrl home") << 511 << 40 << int(Qt::Key_Home) << ctrl << 0;
        QTest::newRow("ctrl end") << 511 << 40 << int(Qt::Key_End) << ctrl << 511;
        QTest::newRow("page down") << 511 << 40 << int(Qt::Key_PageDown) << none << 488;
        QTest::newRow("page down refused") << 487 << 40 << int(Qt::Key_PageDown) << none << 40;
        QTest::newRow("page up") << 511 << 488 << int(Qt::Key_PageUp) << none << 8;
    }
    void GridNavigationKeys() {
        QFETCH(int, limit);
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, expected);
        RuledGrid g(limit);
        g.grid.SetCell(start % 32, start / 32);
        QCOMPARE(g.Index(), start);
        QTest::keyClick(&g.grid, static_cast<Qt::Key>(key),
                        static_cast<Qt::KeyboardModifiers>(modifiers));
        QCOMPARE(g.Index(), expected);
    }

    void ConsumedKeysSkipNavigationButStillTypeTheirCharacter() {
        RuledGrid g(511);
        std::vector<int> downs;
        std::vector<int> chars;
        g.grid.SetKeyDown([&downs](std::uint16_t& key, Qt::KeyboardModifiers) {
            downs.push_back(key);
            if (key == vk::Right || key == vk::Back) {
                key = 0;
            }
        });
        g.grid.SetKeyPress([&chars](std::uint8_t ch) { chars.push_back(ch); });
        QTest::keyClick(&g.grid, Qt::Key_Right);
        QCOMPARE(g.Index(), 0); // consumed: no navigation
        QTest::keyClick(&g.grid, Qt::Key_Down);
        QCOMPARE(g.Index(), 32);
        QTest::keyClick(&g.grid, Qt::Key_Backspace);
        QTest::keyClick(&g.grid, Qt::Key_Delete);
        QTest::keyClick(&g.grid, Qt::Key_A);
        QCOMPARE(downs, (std::vector<int>{vk::Right, vk::Down, vk::Back, vk::Delete, 'A'}));
        // Backspace still delivers its character 8; Delete types nothing.
        QCOMPARE(chars, (std::vector<int>{8, 'a'}));
    }

    void GridPaintsEachCellThroughTheCallbackOverBlack() {
        RuledGrid g(511);
        g.grid.SetCell(2, 1);
        int calls = 0;
        int selectedCalls = 0;
        g.grid.SetDrawCell([&](QPainter& p, int c, int r, const QRect& rect, bool selected) {
            ++calls;
            if (selected) {
                ++selectedCalls;
                QCOMPARE(c, 2);
                QCOMPARE(r, 1);
            }
            Bitmap32 cell(16, 16, Rgb(10, 20, 30));
            if (c == 0 && r == 0) {
                g.grid.CopyToSurface(cell, rect.left(), rect.top());
            }
            (void)p;
        });
        const QImage image = g.grid.grab().toImage();
        QCOMPARE(calls, 512);
        QCOMPARE(selectedCalls, 1);
        QCOMPARE(image.pixelColor(0, 0), QColor(10, 20, 30));
        QCOMPARE(image.pixelColor(15, 15), QColor(10, 20, 30));
        QCOMPARE(image.pixelColor(16, 16), QColor(0, 0, 0));
        QCOMPARE(image.pixelColor(20, 20), QColor(0, 0, 0));
    }

    void ClicksSelectAndDoubleClickActsOnTheCurrentCell() {
        RuledGrid g(40);
        std::vector<int> doubled;
        g.grid.SetDoubleClick([&](int c, int r) { doubled.push_back(r * 32 + c); });
        QTest::mouseClick(&g.grid, Qt::LeftButton, {}, g.grid.CellRect(4, 1).center());
        QCOMPARE(g.Index(), 36);
        QTest::mouseClick(&g.grid, Qt::LeftButton, {}, g.grid.CellRect(10, 1).center());
        QCOMPARE(g.Index(), 36);
        QTest::mouseDClick(&g.grid, Qt::LeftButton, {}, g.grid.CellRect(1, 0).center());
        QTest::mouseDClick(&g.grid, Qt::LeftButton, {}, g.grid.CellRect(0, 5).center());
        QCOMPARE(doubled, (std::vector<int>{1, 1}));
    }

    // --- category panel ---

    void PanelAddressesButtonsAndRunsTheirHandlers() {
        CategoryButtons panel;
        panel.resize(200, 400);
        std::vector<QString> clicked;
        const int a = panel.AddCategory("A", Qt::white, Qt::red);
        const int b = panel.AddCategory("B", Qt::white, Qt::blue);
        QCOMPARE(a, 0);
        QCOMPARE(b, 1);
        panel.AddButton(a, "a0", {}, "hint a0", [&] { clicked.push_back("a0"); });
        panel.AddButton(b, "b0", {}, {}, [&] { clicked.push_back("b0"); });
        QCOMPARE(panel.AddButton(b, "b1", {}, {}, [&] { clicked.push_back("b1"); }), 1);
        QCOMPARE(panel.AddButton(7, "nowhere"), -1);
        QCOMPARE(panel.FindCategory("B"), 1);
        QCOMPARE(panel.FindCategory("C"), -1);
        QCOMPARE(panel.Hint(0, 0), QStringLiteral("hint a0"));

        QTest::mouseClick(&panel, Qt::LeftButton, {}, panel.ButtonRect(1, 1).center());
        QTest::mouseClick(&panel, Qt::LeftButton, {}, panel.ButtonRect(0, 0).center());
        QCOMPARE(clicked, (std::vector<QString>{"b1", "a0"}));

        panel.SetCaption(1, 0, "renamed");
        QCOMPARE(panel.Caption(1, 0), QStringLiteral("renamed"));
        panel.SetCaption(1, 5, "ignored");
        QCOMPARE(panel.Caption(1, 5), QString());
        QVERIFY(!panel.Click(2, 0));
    }

    void HeaderClickCollapsesAndExpands() {
        CategoryButtons panel;
        panel.resize(200, 400);
        int clicks = 0;
        const int a = panel.AddCategory("A", Qt::white, Qt::red);
        panel.AddButton(a, "a0", {}, {}, [&] { ++clicks; });
        panel.AddButton(a, "a1");
        const int b = panel.AddCategory("B", Qt::white, Qt::red);
        panel.AddButton(b, "b0", {}, {}, [&] { clicks += 10; });
        const int expanded = panel.ContentHeight();
        const QRect b0 = panel.ButtonRect(1, 0);

        QTest::mouseClick(&panel, Qt::LeftButton, {}, panel.HeaderRect(0).center());
        QVERIFY(panel.Collapsed(0));
        QVERIFY(panel.ButtonRect(0, 0).isEmpty());
        QCOMPARE(panel.ContentHeight(), expanded - 2 * b0.height());
        // Category B moved up; its button is hit at its new place.
        QTest::mouseClick(&panel, Qt::LeftButton, {}, panel.ButtonRect(1, 0).center());
        QCOMPARE(clicks, 10);
        QVERIFY(panel.ButtonRect(1, 0).top() < b0.top());

        QTest::mouseClick(&panel, Qt::LeftButton, {}, panel.HeaderRect(0).center());
        QVERIFY(!panel.Collapsed(0));
        QCOMPARE(panel.ButtonRect(1, 0), b0);
    }

    void AfterDrawRunsForEveryVisibleButtonAndPaintsOverIt() {
        CategoryButtons panel;
        panel.resize(200, 200);
        const int a = panel.AddCategory("A", Qt::white, Qt::red);
        panel.AddButton(a, "a0");
        panel.AddButton(a, "a1");
        std::vector<int> drawn;
        panel.SetAfterDraw([&](QPainter& p, int c, int i, const QRect& r, bool) {
            drawn.push_back(c * 10 + i);
            p.fillRect(r.left() + 2, r.top() + 2, 3, 3, QColor(1, 2, 3));
        });
        const QImage image = panel.grab().toImage();
        QCOMPARE(drawn, (std::vector<int>{0, 1}));
        const QRect r = panel.ButtonRect(0, 1);
        QCOMPARE(image.pixelColor(r.left() + 3, r.top() + 3), QColor(1, 2, 3));
    }

    void ContextMenuBelongsToItsButtonOnly() {
        CategoryButtons panel;
        panel.resize(200, 300);
        const int a = panel.AddCategory("A", Qt::white, Qt::red);
        panel.AddButton(a, "a0");
        panel.AddButton(a, "a1");
        const int b = panel.AddCategory("B", Qt::white, Qt::red);
        panel.AddButton(b, "b0");
        QMenu menu;
        menu.addAction("x");
        panel.SetContextMenu(a, 1, &menu);
        panel.SetContextMenu(b, 5, &menu); // unknown: ignored
        QCOMPARE(panel.ContextMenu(a, 1), &menu);
        QCOMPARE(panel.ContextMenu(a, 0), nullptr);
        QCOMPARE(panel.ContextMenu(b, 5), nullptr);
        const auto ask = [&panel](const QPoint& at) {
            QContextMenuEvent e(QContextMenuEvent::Mouse, at, panel.mapToGlobal(at));
            QCoreApplication::sendEvent(&panel, &e);
            return e.isAccepted();
        };
        // Neither the header, the other buttons nor the empty space below offer it.
        QVERIFY(!ask(panel.HeaderRect(a).center()));
        QVERIFY(!ask(panel.ButtonRect(a, 0).center()));
        QVERIFY(!ask(panel.ButtonRect(b, 0).center()));
        QVERIFY(!ask(QPoint(10, 290)));
        QVERIFY(!menu.isVisible());
        QVERIFY(ask(panel.ButtonRect(a, 1).center()));
        QVERIFY(menu.isVisible());
        menu.hide();
        // Where a1 stood, B's button b0 lies while A is collapsed: no menu.
        const QPoint a1 = panel.ButtonRect(a, 1).center();
        panel.SetCollapsed(a, true);
        QVERIFY(!ask(a1));
        QVERIFY(!menu.isVisible());
        panel.SetContextMenu(a, 1, nullptr);
        QCOMPARE(panel.ContextMenu(a, 1), nullptr);
    }

    // --- key map and code page ---

    void VirtualKeyCodes_data() {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<int>("code");
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << 8;
        QTest::newRow("return") << int(Qt::Key_Return) << 13;
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << 13;
        QTest::newRow("escape") << int(Qt::Key_Escape) << 27;
        QTest::newRow("left") << int(Qt::Key_Left) << 37;
        QTest::newRow("up") << int(Qt::Key_Up) << 38;
        QTest::newRow("right") << int(Qt::Key_Right) << 39;
        QTest::newRow("down") << int(Qt::Key_Down) << 40;
        QTest::newRow("delete") << int(Qt::Key_Delete) << 46;
        QTest::newRow("home") << int(Qt::Key_Home) << 36;
        QTest::newRow("page down") << int(Qt::Key_PageDown) << 34;
        QTest::newRow("letter") << int(Qt::Key_Q) << int('Q');
        QTest::newRow("digit") << int(Qt::Key_7) << int('7');
        QTest::newRow("f1") << int(Qt::Key_F1) << 112;
        QTest::newRow("f12") << int(Qt::Key_F12) << 123;
        QTest::newRow("comma") << int(Qt::Key_Comma) << 188;
        QTest::newRow("no code") << int(Qt::Key_LaunchMail) << 0;
    }
    void VirtualKeyCodes() {
        QFETCH(int, qtKey);
        QFETCH(int, code);
        QCOMPARE(int(VirtualKeyOf(qtKey)), code);
    }

    void CharacterBytesOfKeyEvents_data() {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("letter") << int(Qt::Key_A) << "a" << QByteArray("a");
        QTest::newRow("enter") << int(Qt::Key_Return) << "\r" << QByteArray("\r");
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << "" << QByteArray("\r");
        QTest::newRow("escape") << int(Qt::Key_Escape) << "" << QByteArray("\x1b");
        QTest::newRow("delete") << int(Qt::Key_Delete) << "\x7f" << QByteArray();
        QTest::newRow("arrow") << int(Qt::Key_Left) << "" << QByteArray();
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << "\b" << QByteArray("\b");
        QTest::newRow("ctrl+a") << int(Qt::Key_A) << "\x01" << QByteArray("\x01");
        QTest::newRow("polish") << 0 << QStringLiteral("ą") << QByteArray("\xb9");
        QTest::newRow("euro") << 0 << QStringLiteral("€") << QByteArray("\x80");
        QTest::newRow("missing") << 0 << QStringLiteral("ß€Ж") << QByteArray("\xdf\x80?");
    }
    void CharacterBytesOfKeyEvents() {
        QFETCH(int, qtKey);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const QKeyEvent e(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
        const std::string got = CharBytesOf(e);
        QCOMPARE(QByteArray(got.data(), static_cast<qsizetype>(got.size())), bytes);
    }

    void CodePageConversionAgreesWithTheTableForEveryByte() {
        for (int b = 0; b < 256; ++b) {
            const char32_t cp = kCp1250ToUnicode[static_cast<std::size_t>(b)];
            if (cp == kNoCodePoint) {
                continue;
            }
            const QString text = FromCp1250(std::string(1, static_cast<char>(b)));
            QCOMPARE(text.toUcs4().value(0), static_cast<uint>(cp));
            const std::string back = ToCp1250(text);
            QCOMPARE(back.size(), std::size_t{1});
            QCOMPARE(static_cast<unsigned char>(back[0]), static_cast<unsigned char>(b));
        }
        // A character outside the Basic Multilingual Plane is one character: one '?'.
        QCOMPARE(ToCp1250(QString::fromUtf8("a\xF0\x9F\x98\x80z")), std::string("a?z"));
        QCOMPARE(FromCp1250(std::string("\x81")), QString(QChar(QChar::ReplacementCharacter)));
    }

    // --- settings file ---

    void TrimRemovesControlBytesAtBothEndsOnly() {
        QCOMPARE(TrimControl(std::string_view("\0 \t COM 3\r\n\x1f", 12)), std::string("COM 3"));
        QCOMPARE(TrimControl("   "), std::string());
        QCOMPARE(TrimControl("\xb9x\xb9"), std::string("\xb9x\xb9")); // bytes above 0x7F stay
    }

    void SettingLineRoundTrip_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << QByteArray("COM3\n") << QByteArray("COM3");
        QTest::newRow("no line end") << QByteArray("COM3") << QByteArray("COM3");
        QTest::newRow("zero byte ends the line")
            << QByteArray("COM3\0XYZ\n", 9) << QByteArray("COM3");
        QTest::newRow("second line ignored") << QByteArray("\n COM8") << QByteArray("");
        QTest::newRow("254 bytes") << QByteArray(254, 'a') + "bc" << QByteArray(254, 'a');
    }
    void SettingLineRoundTrip() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, line);
        QTemporaryDir dir;
        const std::string path = JoinStartDirectory(dir.path().toStdString(), "vtr.cfg");
        QCOMPARE(QDir::fromNativeSeparators(QString::fromStdString(path)), dir.filePath("vtr.cfg"));
        {
            QFile f(QString::fromStdString(path));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const auto read = ReadSettingLine(path);
        QVERIFY(read.has_value());
        QCOMPARE(QByteArray::fromStdString(*read), line);
        QVERIFY(WriteSettingLine(path, "  " + *read + " \r\n"));
        QFile f(QString::fromStdString(path));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), line + "\n");
    }

    void MissingOrUnwritableSettingsFile() {
        QTemporaryDir dir;
        QVERIFY(!ReadSettingLine(dir.filePath("none.cfg").toStdString()).has_value());
        QVERIFY(!WriteSettingLine(dir.filePath("no/such/dir/vtr.cfg").toStdString(), "COM1"));
    }

    // --- dialogs ---

    void PipeFiltersBecomeNameFilters() {
        QCOMPARE(
            ToNameFilters("Pojedynczy komunikat (*.kom)|*.kom|Zbiór komunikatów (*.kzb)|*.kzb"),
            (QStringList{"Pojedynczy komunikat (*.kom)", "Zbiór komunikatów (*.kzb)"}));
        QCOMPARE(ToNameFilters("Pliki tekstowe|*.txt"), QStringList{"Pliki tekstowe (*.txt)"});
        QCOMPARE(ToNameFilters("Wszystko"), QStringList{"Wszystko"});
    }

    void DefaultExtensionIsAddedOnlyWhenMissing() {
        QCOMPARE(WithDefaultExtension("/tmp/a", "kom"), QStringLiteral("/tmp/a.kom"));
        QCOMPARE(WithDefaultExtension("/tmp/a.", "kom"), QStringLiteral("/tmp/a.kom"));
        QCOMPARE(WithDefaultExtension("/tmp/a.kzb", "kom"), QStringLiteral("/tmp/a.kzb"));
        QCOMPARE(WithDefaultExtension("/tmp/x.d/a", "kom"), QStringLiteral("/tmp/x.d/a.kom"));
        QCOMPARE(WithDefaultExtension("", "kom"), QString());
    }

    void QuestionIsPolishWithYesAsDefault_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Tak") << true;
        QTest::newRow("Nie") << false;
    }
    void QuestionIsPolishWithYesAsDefault() {
        QFETCH(bool, yes);
        QtDialogs dialogs;
        QString title;
        QStringList buttons;
        QString defaultButton;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr);
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            title = box->windowTitle();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons()) {
                buttons << b->text().remove(QLatin1Char('&'));
            }
            defaultButton = box->defaultButton()->text().remove(QLatin1Char('&'));
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QCOMPARE(dialogs.Ask("Czy na pewno?"), yes);
        QCOMPARE(title, QStringLiteral("Pytanie"));
        QCOMPARE(icon, QMessageBox::Warning);
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"Nie", "Tak"}));
        QCOMPARE(defaultButton, QStringLiteral("Tak"));
    }

    void ErrorBoxIsTitledBladWithTheErrorIcon() {
        QtDialogs dialogs;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr);
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons()) {
                buttons << b->text().remove(QLatin1Char('&'));
            }
            box->button(QMessageBox::Ok)->click();
        });
        dialogs.Error("Nie mogę otworzyć portu COM3 !");
        QCOMPARE(title, QStringLiteral("Błąd"));
        QCOMPARE(text, QStringLiteral("Nie mogę otworzyć portu COM3 !"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, QStringList{"OK"});
    }

    void CancelOfTheStandardButtonsReadsAnuluj() {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')),
                 QStringLiteral("Anuluj"));
    }
};

QTEST_MAIN(WidgetsTest)
#include "tst_widgets.moc"

// The main window driven as the operator drives it: start-up, settings file, status bar,
// menu, grid editing with real key and mouse events, paste, field inserts and the preview.

#include "EditorFixture.h"
#include "app/KeyMap.h"
#include "app/syncwindow/TForm3.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstring>

namespace {

struct Cell {
    std::uint8_t attribute;
    std::uint8_t code;
};

Cell CellOf(CLEDMessageCon& m, int index) {
    return {m.GetData()[2 * index], m.GetData()[2 * index + 1]};
}

// The colour of pixel (x, y) of a widget as painted now.
QColor PixelOf(QWidget* w, int x, int y) {
    return w->grab().toImage().pixelColor(x, y);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    // --- start-up and layout ---

    void StartUpCreatesThreeWindowsAndShowsOnlyTheMain() {
        EditorFixture fx(std::nullopt, false);
        QCOMPARE(fx.Form1().windowTitle(),
                 QStringLiteral("Centrum sterowania linijką świetlną nr 380 wersja Welnar"));
        QCOMPARE(fx.Form1().DeviceAddress(), std::uint16_t{380});
        QVERIFY(!fx.Form2().isVisible());
        QCOMPARE(fx.Form2().windowTitle(), QStringLiteral("Tablica znaków"));
        QCOMPARE(&fx.Form1().CurrentMessage(), &fx.Form1().Messages()[0]);
        QCOMPARE(fx.Form1().CurrentMessageNumber(), std::uint16_t{1});
        QCOMPARE(fx.Form1().Strip().PreviewRunning(), std::uint16_t{0});
        QCOMPARE(QDir(QString::fromStdString(fx.Form1().StartDirectory())).canonicalPath(),
                 QDir(fx.Dir()).canonicalPath());
    }

    void TruncatedFontFileIsNamedInOneWarningAndNotUsed() {
        QTemporaryDir dir;
        UseUserConfig(dir.path());
        QFile empty(dir.filePath(QStringLiteral("font8x8b.fnt")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        ScriptedDialogs dialogs;
        EditorWindows windows = CreateEditorWindows(dialogs);
        QCOMPARE(dialogs.warnings,
                 QStringList{QStringLiteral("Pominięto plik czcionki %1: ma 0 B, a powinien mieć "
                                            "2048 B.")
                                 .arg(QDir::toNativeSeparators("./font8x8b.fnt"))});
        // Font 4 came from further down the search, not from the empty file.
        const std::uint8_t* rows = GlyphRows(FontEntry(windows.Form1->Strip().FontTable(), 4), 'A');
        const std::uint8_t* shipped = BuiltInFont(3).data() + 'A' * 8;
        QVERIFY(std::equal(rows, rows + 8, shipped));
        windows.Reset();
        QDir::setCurrent(previous);
    }

    void SynchronisationWindowHasItsCaptionAndSize() {
        EditorFixture fx(std::nullopt, false);
        TForm3& form3 = fx.Form3();
        QCOMPARE(form3.windowTitle(), QStringLiteral("Synchronizacja linijki z plikiem"));
        QCOMPARE(form3.size(), QSize(541, 138));
    }

    void ComponentsStandWhereDesigned_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("strip") << "ImageLinijka" << QRect(97, 1, 470, 66);
        QTest::newRow("grid") << "DrawGrid1" << QRect(8, 73, 549, 276);
        QTest::newRow("toolbar") << "ToolBar2" << QRect(563, 73, 137, 36);
        QTest::newRow("gradient") << "ImageBtnBackground" << QRect(563, 112, 137, 237);
    }
    void ComponentsStandWhereDesigned() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        EditorFixture fx(std::nullopt, false);
        auto* w = fx.Form1().findChild<QWidget*>(name);
        QVERIFY(w != nullptr);
        QCOMPARE(w->geometry(), geometry);
    }

    void FixedLayoutDetails() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QCOMPARE(Component<QLabel>(f, "Label4").text(), QStringLiteral("Numer portu COM"));
        QCOMPARE(Component<QLabel>(f, "Label4").pos(), QPoint(580, 132));
        QCOMPARE(Component<QComboBox>(f, "ComboBoxCOM").pos(), QPoint(580, 151));
        // Widened over the gradient behind it, never beyond it.
        QVERIFY(Component<PictureBox>(f, "ImageBtnBackground")
                    .geometry()
                    .contains(Component<QComboBox>(f, "ComboBoxCOM").geometry()));
        QVERIFY(Component<QComboBox>(f, "ComboBoxCOM").isEditable());
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(Component<QComboBox>(f, "ComboBoxCOM").itemText(i),
                     QStringLiteral("COM%1").arg(i + 1));
        }
        QCOMPARE(Component<QToolButton>(f, "ToolButton14").text(),
                 QString(17, QLatin1Char(' ')) + "Wyślij" + QString(16, QLatin1Char(' ')));
        QCOMPARE(Component<QToolButton>(f, "ToolButton14").size(), QSize(134, 36));
        QCOMPARE(Component<QLabel>(f, "StatusPanel").width(), 500);
        // The designed 378 pixels at least; the window can grow.
        QVERIFY(f.centralWidget()->size().height() >= 378);
        QVERIFY(f.maximumSize().height() > f.minimumSize().height());
        QCOMPARE(Component<CellGrid>(f, "DrawGrid1").ColCount(), 32);
        QCOMPARE(Component<CellGrid>(f, "DrawGrid1").RowCount(), 16);
        QCOMPARE(Component<CellGrid>(f, "DrawGrid1").CellSize(), 17);
        QCOMPARE(f.centralWidget()->palette().color(QPalette::Window), QColor(144, 144, 144));
        // Menu texts and the paste shortcut.
        const auto menus = f.menuBar()->actions();
        QCOMPARE(menus.size(), 4);
        QCOMPARE(menus[0]->text(), QStringLiteral("&Plik"));
        QCOMPARE(menus[1]->text(), QStringLiteral("&Edycja"));
        QCOMPARE(menus[2]->text(), QStringLiteral("&Komunikat"));
        QCOMPARE(menus[3]->text(), QStringLiteral("&Linijka"));
        QCOMPARE(Component<QAction>(f, "Wyjd1").text(), QStringLiteral("&Wyjdź"));
        QCOMPARE(Component<QAction>(f, "Wklej1").text(), QStringLiteral("&Wklej tekst ze schowka"));
        QCOMPARE(Component<QAction>(f, "Wklej1").shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
    }

    void PicturesArePaintedAtCreation() {
        EditorFixture fx(std::nullopt, false);
        TForm1& f = fx.Form1();
        const Bitmap32& back = Component<PictureBox>(f, "ImageBtnBackground").Picture();
        QCOMPARE(back.At(0, 0), Rgb(255, 255, 255));
        QCOMPARE(back.At(3, 100), Rgb(254, 254, 254));
        QCOMPARE(back.At(136, 236), Rgb(210, 210, 210));
        const QImage strip = f.Strip().grab().toImage();
        QCOMPARE(strip.pixel(11, 5), Rgb(128, 128, 128));
        QCOMPARE(strip.pixel(12, 5), kUnlitDot);    // first dot of the strip
        QCOMPARE(strip.pixel(18, 5), Rgb(0, 0, 0)); // the gap after a dot stays black
        QCOMPARE(strip.pixel(12 + 448, 5), Rgb(128, 128, 128));
        QCOMPARE(f.Panel().FontHighlight().pixel(0, 0), Rgb(0, 192, 192));
        QCOMPARE(f.Panel().FontHighlight().pixel(15, 31), Rgb(0, 254, 254));
    }

    // --- settings file ---

    void SettingsFileIsReadAndWrittenBack_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("missing") << false << QByteArray() << "COM1" << QByteArray("COM1\n");
        QTest::newRow("padded CRLF")
            << true << QByteArray("  COM7  \r\n") << "COM7" << QByteArray("COM7\n");
        QTest::newRow("beyond the list")
            << true << QByteArray("COM15") << "COM15" << QByteArray("COM15\n");
        QTest::newRow("empty") << true << QByteArray("") << "COM1" << QByteArray("COM1\n");
        QTest::newRow("blank line")
            << true << QByteArray(" \t\r\n") << "COM1" << QByteArray("COM1\n");
        QTest::newRow("only the first line") << true << QByteArray("/dev/ttyUSB0\nCOM2\n")
                                             << "/dev/ttyUSB0" << QByteArray("/dev/ttyUSB0\n");
        QTest::newRow("long line cut at 254")
            << true << QByteArray(300, 'P') << QString(254, QLatin1Char('P'))
            << QByteArray(254, 'P') + "\n";
    }
    void SettingsFileIsReadAndWrittenBack() {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        QFETCH(QString, port);
        QFETCH(QByteArray, written);
        EditorFixture fx(exists ? std::optional<QByteArray>(content) : std::nullopt, false);
        QCOMPARE(fx.Form1().PortName(), port);
        // Reading the file is not a change: nothing is written before the end.
        QCOMPARE(ReadWholeFile(fx.SettingsFile()).isNull(), !exists);
        const QString file = fx.SettingsFile();
        fx.Shutdown();
        QCOMPARE(ReadWholeFile(file), written);
    }

    void SettingsAreWrittenOnEveryChange() {
        EditorFixture fx;
        QComboBox* combo = &Component<QComboBox>(fx.Form1(), "ComboBoxCOM");
        combo->setCurrentIndex(2);
        QCOMPARE(ReadWholeFile(fx.SettingsFile()), QByteArray("COM3\n"));
        combo->setFocus();
        QTRY_VERIFY(combo->hasFocus());
        combo->lineEdit()->selectAll();
        // Typed text (no list entry starts with it, so nothing is completed).
        QTest::keyClicks(combo, "X");
        QCOMPARE(ReadWholeFile(fx.SettingsFile()), QByteArray("X\n"));
        QTest::keyClicks(combo, "7 ");
        QCOMPARE(ReadWholeFile(fx.SettingsFile()), QByteArray("X7\n"));
        QCOMPARE(fx.Form1().PortName(), QStringLiteral("X7 "));
    }

    void SettingsStayInTheStartDirectory() {
        // Outlives the fixture, whose end leaves this folder (Windows removes no current folder).
        QTemporaryDir elsewhere;
        EditorFixture fx(QByteArray("COM4\n"), false);
        QDir::setCurrent(elsewhere.path());
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM").setEditText(QStringLiteral("COM5"));
        QCOMPARE(ReadWholeFile(fx.SettingsFile()), QByteArray("COM5\n"));
        QVERIFY(!QFile::exists(elsewhere.filePath(QStringLiteral("vtr.cfg"))));
    }

    // --- status bar ---

    void StatusTextLivesOnePeriodFromItsLastChange() {
        EditorFixture fx(std::nullopt, false);
        TForm1& f = fx.Form1();
        f.SetStatusPeriod(300);
        f.show();
        QCOMPARE(f.StatusText(),
                 QStringLiteral("Wersja 1.20Kes, kompilacja 20090626. Program gotowy do pracy."));
        QTRY_COMPARE_WITH_TIMEOUT(f.StatusText(), QString(), 2000);
        QVERIFY(!Component<QTimer>(f, "Timer1").isActive());

        QElapsedTimer clock;
        clock.start();
        f.SetStatusText(QStringLiteral("pierwszy"));
        QTest::qWait(200);
        f.SetStatusText(QStringLiteral("drugi"));
        const qint64 restarted = clock.elapsed();
        QTest::qWait(200);
        // 400 ms after the first text, but only 200 ms after the second: still shown.
        if (clock.elapsed() - restarted < 290) {
            QCOMPARE(f.StatusText(), QStringLiteral("drugi"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(f.StatusText(), QString(), 2000);
        QVERIFY(clock.elapsed() - restarted >= 290);
    }

    void StatusPeriodIsFiveSecondsByDefault() {
        EditorFixture fx(std::nullopt, false);
        QCOMPARE(Component<QTimer>(fx.Form1(), "Timer1").interval(), 5000);
    }

    // --- menu ---

    void ExitAsksAndClosesOnlyOnYes() {
        EditorFixture fx;
        fx.dialogs.answers = {false};
        Component<QAction>(fx.Form1(), "Wyjd1").trigger();
        QCOMPARE(fx.dialogs.questions,
                 QStringList{QStringLiteral("Czy na pewno wyjść z programu?")});
        QVERIFY(fx.Form1().isVisible());
        fx.dialogs.answers = {true};
        Component<QAction>(fx.Form1(), "Wyjd1").trigger();
        QVERIFY(!fx.Form1().isVisible());
    }

    void CloseBoxAsksNothing() {
        EditorFixture fx;
        QVERIFY(fx.Form1().close());
        QVERIFY(fx.dialogs.questions.isEmpty());
    }

    // --- typing ---

    void TypingInsertsCellsInTheCurrentFont() {
        EditorFixture fx;
        QTest::keyClicks(&fx.Grid(), "xyz");
        QCOMPARE(fx.Text(), QByteArray("xyz"));
        QCOMPARE(CellOf(fx.Message1(), 0).attribute, std::uint8_t{4});
        QCOMPARE(fx.Cursor(), 3);
    }

    void InsertBackspaceAndDeleteInTheMiddle() {
        EditorFixture fx;
        QTest::keyClicks(&fx.Grid(), "ABC");
        QTest::mouseClick(&fx.Grid(), Qt::LeftButton, {}, fx.CellCentre(1));
        QCOMPARE(fx.Cursor(), 1);
        QTest::keyClicks(&fx.Grid(), "X");
        QCOMPARE(fx.Text(), QByteArray("AXBC"));
        QCOMPARE(fx.Cursor(), 2);
        QTest::keyClick(&fx.Grid(), Qt::Key_Backspace);
        QCOMPARE(fx.Text(), QByteArray("ABC"));
        QCOMPARE(fx.Cursor(), 1);
        QTest::keyClick(&fx.Grid(), Qt::Key_Delete);
        QCOMPARE(fx.Text(), QByteArray("AC"));
        QCOMPARE(fx.Cursor(), 1);
    }

    void KeysThatCannotActChangeNothing() {
        EditorFixture fx;
        QTest::keyClick(&fx.Grid(), Qt::Key_Backspace);
        QTest::keyClick(&fx.Grid(), Qt::Key_Left);
        QTest::keyClick(&fx.Grid(), Qt::Key_Delete);
        QTest::keyClick(&fx.Grid(), Qt::Key_Right);
        QCOMPARE(fx.Text(), QByteArray());
        QCOMPARE(fx.Cursor(), 0);
        QTest::keyClicks(&fx.Grid(), "ab");
        QTest::keyClick(&fx.Grid(), Qt::Key_Delete); // on the first free cell
        QTest::keyClick(&fx.Grid(), Qt::Key_Right);  // beyond the end
        QCOMPARE(fx.Text(), QByteArray("ab"));
        QCOMPARE(fx.Cursor(), 2);
    }

    void CursorWrapsAtRowEnds() {
        EditorFixture fx;
        QTest::keyClicks(&fx.Grid(), QString(32, QLatin1Char('m')));
        QCOMPARE(fx.Grid().Row(), 1);
        QCOMPARE(fx.Grid().Col(), 0);
        QTest::keyClick(&fx.Grid(), Qt::Key_Left);
        QCOMPARE(fx.Grid().Row(), 0);
        QCOMPARE(fx.Grid().Col(), 31);
        QTest::keyClick(&fx.Grid(), Qt::Key_Right);
        QCOMPARE(fx.Cursor(), 32);
        // Backspace on column 0 of row 1 removes cell 31 and goes to the end of row 0.
        QTest::keyClick(&fx.Grid(), Qt::Key_Backspace);
        QCOMPARE(fx.Text(), QByteArray(31, 'm'));
        QCOMPARE(fx.Grid().Row(), 0);
        QCOMPARE(fx.Grid().Col(), 31);
        // Ctrl does not change what Left does.
        QTest::keyClick(&fx.Grid(), Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(fx.Cursor(), 30);
    }

    void RightArrowOnFirstFreeCellInLastColumnStaysInItsRow() {
        EditorFixture fx;
        QTest::keyClicks(&fx.Grid(), QString(31, QLatin1Char('q')));
        QCOMPARE(fx.Grid().Col(), 31);
        QCOMPARE(fx.Grid().Row(), 0);
        QTest::keyClick(&fx.Grid(), Qt::Key_Right);
        // The column move to 0 passes the selection rule, the row move to 1 does not.
        QCOMPARE(fx.Grid().Col(), 0);
        QCOMPARE(fx.Grid().Row(), 0);
    }

    void ClicksBeyondTheEndAreRefused() {
        EditorFixture fx;
        QTest::keyClicks(&fx.Grid(), "abc");
        QTest::mouseClick(&fx.Grid(), Qt::LeftButton, {}, fx.CellCentre(0));
        QCOMPARE(fx.Cursor(), 0);
        QTest::mouseClick(&fx.Grid(), Qt::LeftButton, {}, fx.CellCentre(4));
        QCOMPARE(fx.Cursor(), 0);
        QTest::mouseClick(&fx.Grid(), Qt::LeftButton, {}, fx.CellCentre(40));
        QCOMPARE(fx.Cursor(), 0);
        QTest::mouseClick(&fx.Grid(), Qt::LeftButton, {}, fx.CellCentre(3));
        QCOMPARE(fx.Cursor(), 3);
    }

    void GridNavigationKeepsTheSelectionRule() {
        EditorFixture fx;
        QTest::keyClicks(&fx.Grid(), "abc");
        QTest::keyClick(&fx.Grid(), Qt::Key_Down);
        QCOMPARE(fx.Cursor(), 3);
        QTest::keyClick(&fx.Grid(), Qt::Key_End);
        QCOMPARE(fx.Cursor(), 3);
        QTest::keyClick(&fx.Grid(), Qt::Key_Home);
        QCOMPARE(fx.Cursor(), 0);
        QTest::keyClicks(&fx.Grid(), QString(40, QLatin1Char('n')));
        QCOMPARE(fx.Cursor(), 40);
        QTest::keyClick(&fx.Grid(), Qt::Key_Up);
        QCOMPARE(fx.Cursor(), 8);
        QTest::keyClick(&fx.Grid(), Qt::Key_Down);
        QCOMPARE(fx.Cursor(), 40);
        QTest::keyClick(&fx.Grid(), Qt::Key_PageDown); // row 15 lies beyond the text
        QCOMPARE(fx.Cursor(), 40);
        QTest::keyClick(&fx.Grid(), Qt::Key_PageUp);
        QCOMPARE(fx.Cursor(), 8);
    }

    void EnterIsInsertedAsACharacterEscapeIsNot() {
        EditorFixture fx;
        QTest::keyClick(&fx.Grid(), Qt::Key_Return);
        QTest::keyClick(&fx.Grid(), Qt::Key_Escape);
        QCOMPARE(fx.Text(), QByteArray("\r"));
    }

    void PolishLettersAreTypedInCodePage1250() {
        EditorFixture fx;
        for (const QChar c : QStringLiteral("żółć")) {
            QTest::sendKeyEvent(QTest::Click, &fx.Grid(), Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        }
        QCOMPARE(fx.Text(), QByteArray("\xbf\xf3\xb3\xe6"));
    }

    void KeysAreRecordedForThePreview_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("recorded");
        QTest::newRow("escape") << int(Qt::Key_Escape) << 27;
        QTest::newRow("enter") << int(Qt::Key_Return) << 10;
        QTest::newRow("left") << int(Qt::Key_Left) << 30;
        QTest::newRow("up") << int(Qt::Key_Up) << 31;
        QTest::newRow("right") << int(Qt::Key_Right) << 28;
        QTest::newRow("down") << int(Qt::Key_Down) << 29;
        QTest::newRow("letter") << int(Qt::Key_K) << int('K');
        QTest::newRow("f2") << int(Qt::Key_F2) << 113;
    }
    void KeysAreRecordedForThePreview() {
        QFETCH(int, key);
        QFETCH(int, recorded);
        EditorFixture fx;
        fx.Form1().Strip().SetLastKey(0);
        QTest::keyClick(&fx.Grid(), static_cast<Qt::Key>(key));
        QCOMPARE(int(fx.Form1().Strip().LastKey()), recorded);
        // The combo box's keys are recorded too, before the combo box sees them.
        fx.Form1().Strip().SetLastKey(0);
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM").setFocus();
        QTRY_VERIFY(Component<QComboBox>(fx.Form1(), "ComboBoxCOM").hasFocus());
        QTest::keyClick(&Component<QComboBox>(fx.Form1(), "ComboBoxCOM"),
                        static_cast<Qt::Key>(key));
        QCOMPARE(int(fx.Form1().Strip().LastKey()), recorded);
    }

    // --- paste ---

    void PasteOfTwoLinesGivesSixCells() {
        EditorFixture fx;
        QGuiApplication::clipboard()->setText(QStringLiteral("ab\r\ncd"));
        Component<QAction>(fx.Form1(), "Wklej1").trigger();
        QCOMPARE(fx.Text(), QByteArray("ab\r\ncd"));
        QCOMPARE(fx.Cursor(), 6);
    }

    void PasteByShortcut() {
        EditorFixture fx;
        QGuiApplication::clipboard()->setText(QStringLiteral("Łódź\t中"));
        QTest::keyClick(&fx.Grid(), Qt::Key_V, Qt::ControlModifier);
        // Tab stays code 9; a character code page 1250 lacks becomes '?'.
        QCOMPARE(fx.Text(), QByteArray("\xa3\xf3\x64\x9f\t?"));
    }

    void PasteOf600CharactersKeepsTheLastInCell499() {
        EditorFixture fx;
        QString text;
        for (int i = 0; i < 600; ++i) {
            text.append(QChar('a' + i % 26));
        }
        QGuiApplication::clipboard()->setText(text);
        fx.Form1().Paste();
        const QByteArray cells = fx.Text();
        QCOMPARE(cells.size(), 500);
        QCOMPARE(cells.left(499), text.left(499).toLatin1());
        QCOMPARE(cells.at(499), text.at(599).toLatin1());
        QCOMPARE(fx.Cursor(), 499);
    }

    void PasteOfEmptyClipboardInsertsNothing() {
        EditorFixture fx;
        QGuiApplication::clipboard()->clear();
        fx.Form1().Paste();
        QCOMPARE(fx.Text(), QByteArray());
    }

    // --- inserts ---

    void FieldInsertsUseTheCurrentFont_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<int>("attribute");
        QTest::addColumn<int>("code");
        QTest::newRow("date") << 0 << 0x22 << 0xFE;
        QTest::newRow("time") << 1 << 0x12 << 0xFF;
        QTest::newRow("temperature") << 2 << 0x32 << 0xFA;
    }
    void FieldInsertsUseTheCurrentFont() {
        QFETCH(int, item);
        QFETCH(int, attribute);
        QFETCH(int, code);
        EditorFixture fx;
        QTest::keyClicks(&fx.Grid(), "ab");
        QTest::mouseClick(&fx.Grid(), Qt::LeftButton, {}, fx.CellCentre(1));
        // Font 2 chosen on the panel, then the field's button clicked with the mouse.
        CategoryButtons* panel = &fx.Form1().Panel().Buttons();
        QTest::mouseClick(panel, Qt::LeftButton, {}, panel->ButtonRect(0, 1).center());
        QCOMPARE(fx.Message1().GetFont(), 2);
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM").setFocus();
        QTest::mouseClick(panel, Qt::LeftButton, {}, panel->ButtonRect(1, item).center());
        const Cell cell = CellOf(fx.Message1(), 1);
        QCOMPARE(int(cell.attribute), attribute);
        QCOMPARE(int(cell.code), code);
        QCOMPARE(fx.Text().size(), 3);
        QCOMPARE(fx.Cursor(), 2);
        QTRY_VERIFY(fx.Grid().hasFocus());
    }

    void FieldIsDrawnGreenAndTheCursorGreyOnlyWithFocus() {
        EditorFixture fx;
        fx.Form1().RunCommand(PanelCommand::InsertDate);
        QTRY_VERIFY(fx.Grid().hasFocus());
        // Cell 0 is the date field's glyph: somewhere in it a green dot, nothing light grey.
        const QImage image = fx.Grid().grab().toImage();
        bool green = false;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                green = green || image.pixelColor(x, y) == QColor(0, 255, 0);
            }
        }
        QVERIFY(green);
        // The cursor, on the first free cell 1: grey with the focus, black without it; the 17th
        // pixel row and column stay black.
        QCOMPARE(image.pixelColor(17 + 8, 8), QColor(128, 128, 128));
        QCOMPARE(image.pixelColor(17 + 16, 8), QColor(0, 0, 0));
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM").setFocus();
        QTRY_VERIFY(!fx.Grid().hasFocus());
        QCOMPARE(PixelOf(&fx.Grid(), 17 + 8, 8), QColor(0, 0, 0));
    }

    void LoadedShorterMessagePullsTheCursorBack() {
        EditorFixture fx;
        QTest::keyClicks(&fx.Grid(), QString(40, QLatin1Char('w')));
        QCOMPARE(fx.Cursor(), 40);
        // A shorter message arrives in the buffer (as a load does) ...
        std::uint8_t* data = fx.Message1().GetData();
        std::memset(data, 0, kMessageSize);
        data[0] = 4;
        data[1] = 'k';
        fx.Form1().MessageLoaded();
        QCOMPARE(fx.Cursor(), 1);
        QTest::keyClicks(&fx.Grid(), "z");
        QCOMPARE(fx.Text(), QByteArray("kz"));
        // ... while a cursor inside the text stays where it is.
        QTest::mouseClick(&fx.Grid(), Qt::LeftButton, {}, fx.CellCentre(1));
        fx.Form1().MessageLoaded();
        QCOMPARE(fx.Cursor(), 1);
    }

    // --- preview ---

    void PreviewScrollsAndEscapeStopsIt() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        std::uint8_t* m2 = f.Messages()[1].GetData();
        m2[0] = 4;
        m2[1] = 'A';
        QSignalSpy finished(&f.Strip(), &StripView::PreviewFinished);
        QVERIFY(f.PlayMessage2());
        QVERIFY(f.Strip().Active());
        // The glyph enters the strip at its right end within a few dozen ticks.
        const auto lit = [&f] {
            const QImage strip = f.Strip().grab().toImage();
            for (int c = 0; c < 64; ++c) {
                for (int r = 0; r < 8; ++r) {
                    if (strip.pixel(12 + 7 * c, 5 + 7 * r) == kLitDot) {
                        return true;
                    }
                }
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(lit(), 3000);
        // And keeps moving: every step that changes the dots repaints the strip.
        QTRY_VERIFY(f.Strip().Repaints() > 8);
        QTest::keyClick(&fx.Grid(), Qt::Key_Escape);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 27);
        QVERIFY(!f.Strip().Active());
        QVERIFY(!lit());
        // Escape is a command, not text: the grid stays empty.
        QCOMPARE(fx.Text(), QByteArray());
    }

    void ClosingTheWindowStopsThePreview() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        std::uint8_t* m2 = f.Messages()[1].GetData();
        m2[0] = 4;
        m2[1] = 'B';
        m2[1023] = 1; // static
        QVERIFY(f.PlayMessage2());
        QTRY_VERIFY(f.Strip().Repaints() >= 1);
        // Laid out again every 8 ticks, the same dots are not painted again.
        QTest::qWait(300);
        QCOMPARE(f.Strip().Repaints(), std::uint64_t{1});
        QVERIFY(f.close());
        QCOMPARE(f.Strip().PreviewRunning(), std::uint16_t{0});
        QVERIFY(!f.Strip().Active());
        QCOMPARE(f.Strip().Result(), 0);
    }

    void EmptyMessageDoesNotPlay() {
        EditorFixture fx(std::nullopt, false);
        QVERIFY(!fx.Form1().PlayMessage2());
        QVERIFY(!fx.Form1().Strip().Active());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

// The action panel of the main window: its categories and buttons, the font samples and the
// mark of the chosen font, the type toggle, clearing, the four file commands with their dialogs
// and the pop-up menus of the load and save buttons.

#include "EditorFixture.h"
#include "messages/MessageFiles.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <array>

namespace {

using Bytes = QByteArray;

void SetData(CLEDMessageCon& m, const Bytes& bytes) {
    // Copies what there is: a fixed count would read past the end of a shorter array (GCC's
    // -O3 warns of that), and a whole message is what every caller must pass.
    if (bytes.size() != static_cast<qsizetype>(kMessageSize)) {
        qFatal("SetData: %lld bytes instead of a whole message",
               static_cast<long long>(bytes.size()));
    }
    std::copy(bytes.cbegin(), bytes.cend(), m.GetData());
}

// A message of `length` cells in `font` whose codes start at `first`, of type `type`.
Bytes Pattern(int font, char first, int length, int type = 0) {
    Bytes b(kMessageSize, '\0');
    for (int i = 0; i < length; ++i) {
        b[2 * i] = static_cast<char>(font);
        b[2 * i + 1] = static_cast<char>(first + i % 26);
    }
    b[kMessageSize - 1] = static_cast<char>(type);
    return b;
}

void WriteFile(const QString& path, const Bytes& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList Captions(CategoryButtons& panel, int category) {
    QStringList out;
    for (int i = 0; i < panel.ItemCount(category); ++i) {
        out << panel.Caption(category, i);
    }
    return out;
}

// Asks for the context menu of button (category, item) as a right click does.
QMenu* OpenContextMenu(TForm1& f, int category, int item) {
    CategoryButtons* panel = &f.Panel().Buttons();
    const QPoint at = panel->ButtonRect(category, item).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, panel->mapToGlobal(at));
    QCoreApplication::sendEvent(panel, &event);
    for (QMenu* m :
         {&Component<QMenu>(f, "PopupMenuWczytaj"), &Component<QMenu>(f, "PopupMenuZapisz")}) {
        if (m->isVisible()) {
            return m;
        }
    }
    return nullptr;
}

bool Near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

const QColor kMarkTop(0, 192, 192);
const QColor kSampleInk(0, 100, 100);

// Whether the font mark lies behind font button `item`: the top-left corner of the shrunk
// rectangle shows the top of the gradient.
bool Marked(TForm1& f, const QImage& panel, int item) {
    const QRect r = f.Panel().Buttons().ButtonRect(kFontsCategory, item);
    return Near(panel.pixelColor(r.left() + 4, r.top() + 4), kMarkTop, 3) &&
           Near(panel.pixelColor(r.right() - 4, r.top() + 4), kMarkTop, 3);
}

const QString kTypeStart = QStringLiteral("Rodzaj komunikatu: przewijany");
const QString kTypeScrolling = QStringLiteral("Rodaj komunikatu: przewijany");
const QString kTypeStatic = QStringLiteral("Rodaj komunikatu: stojący");

} // namespace

class ActionPanelTest : public QObject {
    Q_OBJECT

private slots:
    // --- the panel's content ---

    void CategoriesInOrderWithTheirButtons() {
        EditorFixture fx(std::nullopt, false);
        CategoryButtons& panel = fx.Form1().Panel().Buttons();
        QCOMPARE(panel.CategoryCount(), 4);
        const QStringList categories = {"Czcionki", "Wstaw w komunikat", "Ustawienia komunikatu",
                                        "Akcje"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(panel.CategoryCaption(i), categories[i]);
            QVERIFY(!panel.Collapsed(i));
        }
        QCOMPARE(Captions(panel, kFontsCategory), QStringList(5, QString()));
        QCOMPARE(Captions(panel, kInsertCategory),
                 (QStringList{"Data (Rok/Miesiąc/Dzień)", "Czas (Godzina/Minuta)", "Temperatura",
                              "Znak specjalny"}));
        QCOMPARE(panel.Hint(kInsertCategory, 0), QStringLiteral("Wstaw aktualną datę"));
        QCOMPARE(panel.Hint(kInsertCategory, 1), QStringLiteral("Wstaw aktualną godzinę i minutę"));
        QCOMPARE(panel.Hint(kInsertCategory, 2),
                 QStringLiteral("Wstaw temperaturę odczytaną z czujnika"));
        QCOMPARE(Captions(panel, kSettingsCategory), QStringList{kTypeStart});
        QCOMPARE(Captions(panel, kActionsCategory),
                 (QStringList{"Testuj komunikat", "Skasuj komunikat", "Wczytaj komunikat",
                              "Wczytaj zestaw komunikatów", "Zapisz komunikat",
                              "Zapisz zestaw komunikatów", "Wyślij komunikat do linijki świetlnej",
                              "Wyślij zestaw komunikatów do linijki świetlnej",
                              "Wyślij konfigurację do linijki świetlnej",
                              "Synchronizuj zegar w linijce świetlnej",
                              "Przejdź to trybu synchronizacji z plikiem",
                              "Wyświetl na linijce bieżący komunikat"}));
    }

    void ActionIconsComeFromTheImageList() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        const std::array<int, kActionItemCount> icons = {0, 1, 2, 2, 3, 3, 4, 5, 6, 5, 6, 5};
        const QImage panel = f.Panel().Buttons().grab().toImage();
        for (int item = 0; item < kActionItemCount; ++item) {
            // The icon is painted 4 pixels into the button face, vertically centred.
            const QRect r = f.Panel().Buttons().ButtonRect(kActionsCategory, item);
            // The button without an action is drawn disabled, its icon too.
            const QIcon::Mode mode =
                item == kSendConfigurationItem ? QIcon::Disabled : QIcon::Normal;
            const QImage expected = f.Icons()[static_cast<std::size_t>(icons[item])]
                                        .pixmap(QSize(16, 16), mode)
                                        .toImage()
                                        .convertToFormat(QImage::Format_ARGB32);
            const QRect face = r.adjusted(1, 1, -1, -1);
            const QImage painted =
                panel.copy(face.left() + 4, face.top() + (face.height() - 16) / 2, 16, 16);
            int opaque = 0;
            int same = 0;
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    if (expected.pixelColor(x, y).alpha() == 255) {
                        ++opaque;
                        same += painted.pixelColor(x, y).rgb() == expected.pixelColor(x, y).rgb()
                                    ? 1
                                    : 0;
                    }
                }
            }
            QVERIFY2(
                opaque > 10 && same == opaque,
                qPrintable(QStringLiteral("item %1: %2 of %3").arg(item).arg(same).arg(opaque)));
        }
        QCOMPARE(Component<QToolButton>(f, "ToolButton14").icon().cacheKey(),
                 f.Icons()[4].cacheKey());
    }

    void HeadersShowTheirColours_data() {
        QTest::addColumn<int>("category");
        QTest::addColumn<QColor>("left");
        QTest::addColumn<QColor>("right");
        QTest::newRow("fonts") << 0 << QColor(244, 244, 244) << QColor(0, 128, 128);
        QTest::newRow("insert") << 1 << QColor(255, 234, 255) << QColor(128, 0, 0);
        QTest::newRow("settings") << 2 << QColor(234, 234, 255) << QColor(128, 128, 0);
        QTest::newRow("actions") << 3 << QColor(234, 234, 255) << QColor(0, 255, 0);
    }
    void HeadersShowTheirColours() {
        QFETCH(int, category);
        QFETCH(QColor, left);
        QFETCH(QColor, right);
        EditorFixture fx;
        CategoryButtons& panel = fx.Form1().Panel().Buttons();
        const QImage image = panel.grab().toImage();
        const QRect h = panel.HeaderRect(category);
        QVERIFY(Near(image.pixelColor(h.left(), h.top() + 1), left, 3));
        QVERIFY(Near(image.pixelColor(h.right(), h.top() + 1), right, 3));
    }

    // --- font buttons ---

    void FontSamplesAreDrawnDotForDotInTheirFonts() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        const QImage image = f.Panel().Buttons().grab().toImage();
        for (int item = 0; item < kFontCount; ++item) {
            const QRect r = f.Panel().Buttons().ButtonRect(kFontsCategory, item);
            QVERIFY(r.width() >= 4 + 24 * 8);
            Bitmap32 expected(r.width(), r.height(), 0);
            DrawFontString(FontEntry(f.Strip().FontTable(), item + 1), expected, Rgb(0, 100, 100),
                           4, 8, kFontSpecs[static_cast<std::size_t>(item)].Sample);
            int dots = 0;
            for (int y = 0; y < r.height(); ++y) {
                for (int x = 0; x < r.width(); ++x) {
                    const bool set = expected.At(x, y) != 0;
                    const bool ink = image.pixelColor(r.left() + x, r.top() + y) == kSampleInk;
                    QVERIFY2(
                        set == ink,
                        qPrintable(QStringLiteral("font %1 at %2,%3").arg(item + 1).arg(x).arg(y)));
                    dots += set ? 1 : 0;
                }
            }
            QVERIFY(dots > 50);
        }
        QCOMPARE(QString::fromLatin1(kFontSpecs[0].Sample), "1] 5x7 ABCDE abcde 12345");
        QCOMPARE(QString::fromLatin1(kFontSpecs[4].Sample), "5] 8x8 ABCDE abcde 12345");
    }

    void FontButtonMovesTheMarkAndSetsTheNextCellsFont() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        const auto marks = [&f] {
            const QImage image = f.Panel().Buttons().grab().toImage();
            QList<int> out;
            for (int i = 0; i < kFontCount; ++i) {
                if (Marked(f, image, i)) {
                    out << i + 1;
                }
            }
            return out;
        };
        QCOMPARE(marks(), QList<int>{4});
        ClickButton(f, kFontsCategory, 1);
        QCOMPARE(marks(), QList<int>{2});
        QTRY_VERIFY(fx.Grid().hasFocus());
        QTest::keyClicks(&fx.Grid(), "q");
        QCOMPARE(int(fx.Message1().GetData()[0]), 2);
        ClickButton(f, kFontsCategory, 4);
        QCOMPARE(marks(), QList<int>{5});
        QTest::keyClicks(&fx.Grid(), "r");
        QCOMPARE(int(fx.Message1().GetData()[2]), 5);
    }

    // --- message type ---

    void TypeToggleCaptionsAndTypeByte() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        CategoryButtons& panel = f.Panel().Buttons();
        const std::uint8_t* data = fx.Message1().GetData();
        QCOMPARE(panel.Caption(kSettingsCategory, 0), kTypeStart);
        const QStringList captions = {kTypeStatic, kTypeScrolling, kTypeStatic};
        for (int i = 0; i < captions.size(); ++i) {
            ClickButton(f, kSettingsCategory, 0);
            QCOMPARE(panel.Caption(kSettingsCategory, 0), captions[i]);
            QCOMPARE(int(data[1023]), i % 2 == 0 ? 1 : 0);
        }
    }

    // --- clear ---

    void ClearAsksAndClearsOnlyOnYes() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        ClickButton(f, kFontsCategory, 1);
        QTest::keyClicks(&fx.Grid(), "abc");
        ClickButton(f, kSettingsCategory, 0);
        const Bytes before = DataOf(fx.Message1());

        fx.dialogs.answers = {false};
        ClickButton(f, kActionsCategory, kClearItem);
        QCOMPARE(fx.dialogs.questions, QStringList{"Czy na pewno skasować komunikat?"});
        QCOMPARE(DataOf(fx.Message1()), before);
        QCOMPARE(fx.Message1().GetFont(), 2);
        QCOMPARE(f.Panel().Buttons().Caption(kSettingsCategory, 0), kTypeStatic);

        fx.dialogs.answers = {true};
        ClickButton(f, kActionsCategory, kClearItem);
        QCOMPARE(fx.dialogs.questions.size(), 2);
        QCOMPARE(DataOf(fx.Message1()), Bytes(kMessageSize, '\0'));
        QCOMPARE(fx.Cursor(), 0);
        QCOMPARE(fx.Message1().GetFont(), 4);
        // The caption follows the cleared (scrolling) message, the mark its font.
        QCOMPARE(f.Panel().Buttons().Caption(kSettingsCategory, 0), kTypeScrolling);
        QVERIFY(Marked(f, f.Panel().Buttons().grab().toImage(), 3));
    }

    // --- message files ---

    void LoadMessageReplacesMessageOneAndFollowsIt() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), QString(40, QLatin1Char('w')));
        const Bytes file = Pattern(3, 'k', 5, 1);
        WriteFile(fx.Dir() + "/one.kom", file);
        // Typed without the extension: the default one is added.
        fx.dialogs.files = {fx.Dir() + "/one"};
        ClickButton(f, kActionsCategory, kLoadMessageItem);
        QCOMPARE(fx.dialogs.filters, QStringList{"Pojedynczy komunikat (*.kom)|*.kom / kom"});
        QCOMPARE(DataOf(fx.Message1()), file);
        QCOMPARE(fx.Cursor(), 5); // pulled back from 40 to the first free cell
        QCOMPARE(f.Panel().Buttons().Caption(kSettingsCategory, 0), kTypeStatic);
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void LoadThatFailsSaysSoAndChangesNothing_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("file");
        for (const auto& [item, kind] :
             {std::pair{int(kLoadMessageItem), "message"}, std::pair{int(kLoadSetItem), "set"}}) {
            for (const char* file : {"missing.kom", "empty.kom", "folder.kom"}) {
                QTest::newRow((std::string(kind) + " " + file).c_str()) << item << QString(file);
            }
        }
    }
    void LoadThatFailsSaysSoAndChangesNothing() {
        QFETCH(int, item);
        QFETCH(QString, file);
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), "abc");
        for (int i = 1; i < kMessageCount; ++i) {
            SetData(f.Messages()[static_cast<std::size_t>(i)], Pattern(3, 'C', i + 1));
        }
        std::array<Bytes, kMessageCount> before;
        for (int i = 0; i < kMessageCount; ++i) {
            before[static_cast<std::size_t>(i)] = DataOf(f.Messages()[static_cast<std::size_t>(i)]);
        }
        WriteFile(fx.Dir() + "/empty.kom", Bytes());
        QVERIFY(QDir(fx.Dir()).mkdir("folder.kom"));
        const QString name = fx.Dir() + "/" + file;
        fx.dialogs.files = {name};
        ClickButton(f, kActionsCategory, item);
        QCOMPARE(fx.dialogs.errors, QStringList{"Nie mogę wczytać pliku " + name + " !"});
        for (int i = 0; i < kMessageCount; ++i) {
            QCOMPARE(DataOf(f.Messages()[static_cast<std::size_t>(i)]),
                     before[static_cast<std::size_t>(i)]);
        }
        QCOMPARE(fx.Cursor(), 3);
        QCOMPARE(f.Panel().Buttons().Caption(kSettingsCategory, 0), kTypeStart);
    }

    void SaveMessageWritesOneMessageWhateverTheFilter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("no extension") << "saved"
                                      << "saved.kom";
        QTest::newRow("kom") << "a.kom"
                             << "a.kom";
        QTest::newRow("kzb filter") << "b.kzb"
                                    << "b.kzb";
    }
    void SaveMessageWritesOneMessageWhateverTheFilter() {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), "Zapis");
        ClickButton(f, kSettingsCategory, 0);
        fx.dialogs.files = {fx.Dir() + "/" + typed};
        ClickButton(f, kActionsCategory, kSaveMessageItem);
        QCOMPARE(fx.dialogs.filters,
                 QStringList{"Pojedynczy komunikat (*.kom)|*.kom|Zbiór komunikatów (*.kzb)|*.kzb "
                             "/ kom"});
        QCOMPARE(ReadWholeFile(fx.Dir() + "/" + written), DataOf(fx.Message1()));
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void SetSavedAndLoadedAgainIsRestoredByteForByte() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        std::array<Bytes, kMessageCount> originals;
        for (int i = 0; i < kMessageCount; ++i) {
            originals[static_cast<std::size_t>(i)] = Pattern(1 + i % 5, 'a' + i, 10 + 7 * i, i % 2);
            SetData(f.Messages()[static_cast<std::size_t>(i)],
                    originals[static_cast<std::size_t>(i)]);
        }
        fx.dialogs.files = {fx.Dir() + "/set"};
        ClickButton(f, kActionsCategory, kSaveSetItem);
        const Bytes file = ReadWholeFile(fx.Dir() + "/set.kzb");
        QCOMPARE(file.size(), kMessageSetSize);
        for (int i = 0; i < kMessageCount; ++i) {
            QCOMPARE(file.mid(i * kMessageSize, kMessageSize),
                     originals[static_cast<std::size_t>(i)]);
            SetData(f.Messages()[static_cast<std::size_t>(i)], Pattern(4, 'z', 3));
        }
        fx.dialogs.files = {fx.Dir() + "/set.kzb"};
        ClickButton(f, kActionsCategory, kLoadSetItem);
        for (int i = 0; i < kMessageCount; ++i) {
            QCOMPARE(DataOf(f.Messages()[static_cast<std::size_t>(i)]),
                     originals[static_cast<std::size_t>(i)]);
        }
        QCOMPARE(fx.dialogs.filters, (QStringList{"Zbiór komunikatów (*.kzb)|*.kzb / kzb",
                                                  "Zbiór komunikatów (*.kzb)|*.kzb / kzb"}));
        QCOMPARE(f.Panel().Buttons().Caption(kSettingsCategory, 0), kTypeScrolling);
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void ShortSetFileReplacesOnlyMessageOne() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), QString(20, QLatin1Char('s')));
        for (int i = 1; i < kMessageCount; ++i) {
            SetData(f.Messages()[static_cast<std::size_t>(i)], Pattern(2, 'A' + i, i));
        }
        const Bytes one = Pattern(5, 'm', 4, 1);
        WriteFile(fx.Dir() + "/short.kzb", one);
        fx.dialogs.files = {fx.Dir() + "/short.kzb"};
        ClickButton(f, kActionsCategory, kLoadSetItem);
        QCOMPARE(DataOf(f.Messages()[0]), one);
        QCOMPARE(fx.Cursor(), 4);
        for (int i = 1; i < kMessageCount; ++i) {
            QCOMPARE(DataOf(f.Messages()[static_cast<std::size_t>(i)]), Pattern(2, 'A' + i, i));
        }
    }

    void CancelledDialogsChangeNothing_data() {
        QTest::addColumn<int>("item");
        QTest::newRow("load message") << int(kLoadMessageItem);
        QTest::newRow("load set") << int(kLoadSetItem);
        QTest::newRow("save message") << int(kSaveMessageItem);
        QTest::newRow("save set") << int(kSaveSetItem);
    }
    void CancelledDialogsChangeNothing() {
        QFETCH(int, item);
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), "keep");
        for (int i = 1; i < kMessageCount; ++i) {
            SetData(f.Messages()[static_cast<std::size_t>(i)], Pattern(3, 'C', i + 1));
        }
        std::array<Bytes, kMessageCount> before;
        for (int i = 0; i < kMessageCount; ++i) {
            before[static_cast<std::size_t>(i)] = DataOf(f.Messages()[static_cast<std::size_t>(i)]);
        }
        const QStringList files = QDir(fx.Dir()).entryList(QDir::Files);
        fx.dialogs.files.clear(); // cancel
        ClickButton(f, kActionsCategory, item);
        QCOMPARE(fx.dialogs.filters.size(), 1);
        for (int i = 0; i < kMessageCount; ++i) {
            QCOMPARE(DataOf(f.Messages()[static_cast<std::size_t>(i)]),
                     before[static_cast<std::size_t>(i)]);
        }
        QCOMPARE(QDir(fx.Dir()).entryList(QDir::Files), files);
        QCOMPARE(fx.Cursor(), 4);
        QCOMPARE(f.Panel().Buttons().Caption(kSettingsCategory, 0), kTypeStart);
        QVERIFY(fx.dialogs.errors.isEmpty());
    }

    void SaveThatFailsSaysSoAndKeepsTheOldFile_data() {
        QTest::addColumn<int>("item");
        QTest::newRow("message") << int(kSaveMessageItem);
        QTest::newRow("set") << int(kSaveSetItem);
    }
    void SaveThatFailsSaysSoAndKeepsTheOldFile() {
        QFETCH(int, item);
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), "lost?");
        const QStringList files = QDir(fx.Dir()).entryList(QDir::Files);
        // No such directory.
        const QString nowhere = fx.Dir() + "/no/such/dir/x.kom";
        fx.dialogs.files = {nowhere};
        ClickButton(f, kActionsCategory, item);
        QCOMPARE(fx.dialogs.errors, QStringList{"Nie mogę zapisać pliku " + nowhere + " !"});
        // The target is a directory holding a file: the replacement cannot take its place,
        // and what was there stays.
        const QString target = fx.Dir() + "/taken.kzb";
        QVERIFY(QDir(fx.Dir()).mkdir("taken.kzb"));
        WriteFile(target + "/inside", "old");
        fx.dialogs.files = {target};
        ClickButton(f, kActionsCategory, item);
        QCOMPARE(fx.dialogs.errors.size(), 2);
        QCOMPARE(fx.dialogs.errors.at(1), "Nie mogę zapisać pliku " + target + " !");
        QCOMPARE(ReadWholeFile(target + "/inside"), Bytes("old"));
        // Nothing left behind beside it.
        QCOMPARE(QDir(fx.Dir()).entryList(QDir::Files), files);
    }

    // --- pop-up menus ---

    void LoadAndSaveButtonsOfferTheirPopUpMenus_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<bool>("load");
        QTest::newRow("load message") << int(kLoadMessageItem) << true;
        QTest::newRow("load set") << int(kLoadSetItem) << true;
        QTest::newRow("save message") << int(kSaveMessageItem) << false;
        QTest::newRow("save set") << int(kSaveSetItem) << false;
    }
    void LoadAndSaveButtonsOfferTheirPopUpMenus() {
        QFETCH(int, item);
        QFETCH(bool, load);
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QMenu* menu = OpenContextMenu(f, kActionsCategory, item);
        QCOMPARE(menu, load ? &Component<QMenu>(f, "PopupMenuWczytaj")
                            : &Component<QMenu>(f, "PopupMenuZapisz"));
        const auto actions = menu->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0]->text(), QStringLiteral("Komunikat"));
        QCOMPARE(actions[1]->text(), QStringLiteral("Zestaw komunikatow"));
        menu->hide();
        // Each entry runs the matching command (its dialog, cancelled here).
        actions[0]->trigger();
        actions[1]->trigger();
        const QString message = load ? "Pojedynczy komunikat (*.kom)|*.kom / kom"
                                     : "Pojedynczy komunikat (*.kom)|*.kom|Zbiór komunikatów "
                                       "(*.kzb)|*.kzb / kom";
        QCOMPARE(fx.dialogs.filters,
                 (QStringList{message, "Zbiór komunikatów (*.kzb)|*.kzb / kzb"}));
    }

    void OtherButtonsOfferNoMenu() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        for (const auto& [category, item] :
             {std::pair{kFontsCategory, 0}, std::pair{kActionsCategory, int(kClearItem)},
              std::pair{kActionsCategory, int(kSendMessageItem)}}) {
            QCOMPARE(OpenContextMenu(f, category, item), nullptr);
        }
    }

    // --- "Testuj komunikat" and the button without an action ---

    // The test plays message 1 on the strip and changes no message, file or port; the
    // configuration button does nothing at all.
    void TestPlaysAndConfigurationDoesNothing() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), "nic");
        Bytes set;
        for (CLEDMessageCon& m : f.Messages()) {
            set += DataOf(m);
        }
        const QString status = f.StatusText();
        const QStringList files = QDir(fx.Dir()).entryList(QDir::Files);
        ClickButton(f, kActionsCategory, kTestItem);
        QVERIFY(f.Strip().Active());
        ClickButton(f, kActionsCategory, kSendConfigurationItem);
        Bytes after;
        for (CLEDMessageCon& m : f.Messages()) {
            after += DataOf(m);
        }
        QCOMPARE(after, set);
        QVERIFY(fx.FocusGrid());
        QTest::keyClick(&fx.Grid(), Qt::Key_Escape);
        QTRY_VERIFY(!f.Strip().Active());
        QCOMPARE(f.Strip().Result(), 27);
        QCOMPARE(f.StatusText(), status);
        QVERIFY(fx.dialogs.errors.isEmpty());
        QVERIFY(fx.dialogs.questions.isEmpty());
        QVERIFY(fx.dialogs.filters.isEmpty());
        QCOMPARE(QDir(fx.Dir()).entryList(QDir::Files), files);
    }

    // --- the synchronisation window ---

    void SyncButtonShowsTheSynchronisationWindowModally() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        TForm3& form3 = fx.Form3();
        bool seenModal = false;
        QTimer closer;
        closer.setInterval(50);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (form3.isVisible()) {
                seenModal = seenModal || QApplication::activeModalWidget() == &form3;
                form3.close();
            }
        });
        closer.start();
        ClickButton(f, kActionsCategory, kSyncFileItem);
        closer.stop();
        QVERIFY(seenModal);
        QVERIFY(!form3.isVisible());
    }
};

QTEST_MAIN(ActionPanelTest)
#include "tst_actionpanel.moc"

// The character table (TForm2) on its own and as the main window's "Znak specjalny" uses it.

#include "EditorFixture.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs `step` once the table is shown modally (from inside its exec()).
void WhenTableShown(TForm2& table, std::function<void()> step) {
    auto* poll = new QTimer(&table);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [&table, poll, step] {
        if (table.isVisible()) {
            poll->stop();
            poll->deleteLater();
            step();
        }
    });
    poll->start();
}

QPoint TableCell(int col, int row) {
    return QPoint(col * 17 + 8, row * 17 + 8);
}

} // namespace

class CharTableTest : public QObject {
    Q_OBJECT

private slots:
    void WindowIsAToolWindowOfTheDesignedSize() {
        EditorFixture fx(std::nullopt, false);
        TForm2& t = fx.Form2();
        QCOMPARE(t.windowTitle(), QStringLiteral("Tablica znaków"));
        QCOMPARE(t.size(), QSize(673, 138));
        QVERIFY(t.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(t.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
        QCOMPARE(t.DrawGrid1->geometry(), QRect(0, -1, 549, 138));
        QCOMPARE(t.DrawGrid1->ColCount(), 32);
        QCOMPARE(t.DrawGrid1->RowCount(), 8);
        QCOMPARE(t.CategoryButtons1->geometry(), QRect(552, 0, 121, 137));
        QCOMPARE(t.CategoryButtons1->CategoryCaption(0), QStringLiteral("Akcje:"));
        QCOMPARE(t.CategoryButtons1->Caption(0, 0), QStringLiteral("Wybierz znak"));
        QCOMPARE(t.CategoryButtons1->Caption(0, 1), QStringLiteral("Anuluj"));
        QCOMPARE(t.FontNumber, std::uint8_t{1});
        QCOMPARE(t.ChosenChar, std::uint8_t{0});
    }

    void GlyphsAreYellowOnGreyUnderTheSelectionAndOnBlackElsewhere_data() {
        QTest::addColumn<int>("font");
        QTest::addColumn<int>("glyphRows");
        QTest::newRow("5x7") << 1 << 14;
        QTest::newRow("8x7") << 2 << 14;
        QTest::newRow("8x8") << 4 << 16;
    }
    void GlyphsAreYellowOnGreyUnderTheSelectionAndOnBlackElsewhere() {
        QFETCH(int, font);
        QFETCH(int, glyphRows);
        EditorFixture fx(std::nullopt, false);
        TForm2& t = fx.Form2();
        t.FontNumber = static_cast<std::uint8_t>(font);
        t.DrawGrid1->MoveTo(1, 2); // code 65, 'A'
        const QImage image = t.DrawGrid1->grab().toImage();
        const FontInfo& info = FontEntry(fx.Form1().Strip().FontTable(), font);
        const std::uint8_t* a = GlyphRows(info, 65);
        const std::uint8_t* b = GlyphRows(info, 66);
        QVERIFY(a != nullptr);
        const QPoint selected(17, 34);
        const QPoint plain(34, 34);
        for (int y = 0; y < 17; ++y) {
            for (int x = 0; x < 17; ++x) {
                QColor wantSelected(0, 0, 0);
                QColor wantPlain(0, 0, 0);
                if (x < 16 && y < glyphRows) {
                    const bool dotA = a[y / 2] & (0x80 >> (x / 2));
                    const bool dotB = b[y / 2] & (0x80 >> (x / 2));
                    wantSelected = dotA ? QColor(240, 240, 0) : QColor(128, 128, 128);
                    wantPlain = dotB ? QColor(240, 240, 0) : QColor(0, 0, 0);
                }
                QCOMPARE(image.pixelColor(selected + QPoint(x, y)), wantSelected);
                QCOMPARE(image.pixelColor(plain + QPoint(x, y)), wantPlain);
            }
        }
    }

    void DoubleClickOnColumn1Row2InsertsCode65() {
        EditorFixture fx;
        TForm2& t = fx.Form2();
        WhenTableShown(
            t, [&t] { QTest::mouseDClick(t.DrawGrid1, Qt::LeftButton, {}, TableCell(1, 2)); });
        fx.Form1().RunCommand(PanelCommand::InsertSpecialChar);
        QVERIFY(!t.isVisible());
        QCOMPARE(fx.Text(), QByteArray("A"));
        QCOMPARE(fx.Message1().GetData()[0], std::uint8_t{4});
        QCOMPARE(fx.Cursor(), 1);
        // The grid takes the focus back (it gets it as soon as its window is active again).
        QCOMPARE(fx.Form1().focusWidget(), &fx.Grid());
    }

    void TableShowsTheFontOfTheMessage() {
        EditorFixture fx;
        fx.Form1().RunCommand(PanelCommand::Font3);
        TForm2& t = fx.Form2();
        int shownFont = 0;
        WhenTableShown(t, [&t, &shownFont] {
            shownFont = t.FontNumber;
            t.CategoryButtons1->Click(0, 1);
        });
        fx.Form1().RunCommand(PanelCommand::InsertSpecialChar);
        QCOMPARE(shownFont, 3);
    }

    void ChoosingWithTheButtonKeepsTheSelectionForTheNextShowing() {
        EditorFixture fx;
        TForm2& t = fx.Form2();
        WhenTableShown(t, [&t] {
            QTest::mouseClick(t.DrawGrid1, Qt::LeftButton, {}, TableCell(3, 1)); // code 35
            t.CategoryButtons1->Click(0, 0);
        });
        fx.Form1().RunCommand(PanelCommand::InsertSpecialChar);
        QCOMPARE(fx.Text(), QByteArray("#"));
        // Shown again: "Wybierz znak" at once chooses the same cell.
        WhenTableShown(t, [&t] {
            QTest::mouseClick(t.CategoryButtons1, Qt::LeftButton, {},
                              t.CategoryButtons1->ButtonRect(0, 0).center());
        });
        fx.Form1().RunCommand(PanelCommand::InsertSpecialChar);
        QCOMPARE(fx.Text(), QByteArray("##"));
    }

    void FirstChoiceWithoutMovingIsCode0AndInsertsNothing() {
        EditorFixture fx;
        TForm2& t = fx.Form2();
        WhenTableShown(t, [&t] { t.CategoryButtons1->Click(0, 0); });
        fx.Form1().RunCommand(PanelCommand::InsertSpecialChar);
        QCOMPARE(t.ChosenChar, std::uint8_t{0});
        QCOMPARE(fx.Text(), QByteArray());
    }

    // Each way of leaving without a choice, after an earlier choice of 'A'.
    void LeavingWithoutChoiceInsertsNothing_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Anuluj") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close box") << 2;
    }
    void LeavingWithoutChoiceInsertsNothing() {
        QFETCH(int, way);
        EditorFixture fx;
        TForm2& t = fx.Form2();
        WhenTableShown(
            t, [&t] { QTest::mouseDClick(t.DrawGrid1, Qt::LeftButton, {}, TableCell(1, 2)); });
        fx.Form1().RunCommand(PanelCommand::InsertSpecialChar);
        QCOMPARE(fx.Text(), QByteArray("A"));
        WhenTableShown(t, [&t, way] {
            switch (way) {
            case 0:
                QTest::mouseClick(t.CategoryButtons1, Qt::LeftButton, {},
                                  t.CategoryButtons1->ButtonRect(0, 1).center());
                break;
            case 1:
                QTest::keyClick(t.DrawGrid1, Qt::Key_Escape);
                break;
            default:
                t.close();
                break;
            }
        });
        fx.Form1().RunCommand(PanelCommand::InsertSpecialChar);
        QVERIFY(!t.isVisible());
        QCOMPARE(t.ChosenChar, std::uint8_t{0});
        QCOMPARE(fx.Text(), QByteArray("A"));
    }

    void ArrowKeysMoveTheSelectionAndEnterChoosesNothing() {
        EditorFixture fx;
        TForm2& t = fx.Form2();
        int col = -1;
        int row = -1;
        WhenTableShown(t, [&] {
            QTest::keyClick(t.DrawGrid1, Qt::Key_Right);
            QTest::keyClick(t.DrawGrid1, Qt::Key_Down);
            QTest::keyClick(t.DrawGrid1, Qt::Key_Down);
            QTest::keyClick(t.DrawGrid1, Qt::Key_Return);
            col = t.DrawGrid1->Col();
            row = t.DrawGrid1->Row();
            const bool stillShown = t.isVisible();
            t.CategoryButtons1->Click(0, 0);
            QVERIFY(stillShown);
        });
        fx.Form1().RunCommand(PanelCommand::InsertSpecialChar);
        QCOMPARE(col, 1);
        QCOMPARE(row, 2);
        QCOMPARE(fx.Text(), QByteArray("A"));
    }

    void TableIsCentredOverTheMainWindow() {
        EditorFixture fx;
        TForm2& t = fx.Form2();
        QPoint tableCentre;
        WhenTableShown(t, [&t, &tableCentre] {
            tableCentre = t.frameGeometry().center();
            t.CategoryButtons1->Click(0, 1);
        });
        fx.Form1().RunCommand(PanelCommand::InsertSpecialChar);
        const QPoint mainCentre = fx.Form1().frameGeometry().center();
        QVERIFY((tableCentre - mainCentre).manhattanLength() <= 2);
    }
};

QTEST_MAIN(CharTableTest)
#include "tst_chartable.moc"

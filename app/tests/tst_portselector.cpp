// The port box as the operator uses it: the list it offers, its refresh when it opens, what a
// choice leaves in the box and in vtr.cfg, and how a long port name shows.

#include "EditorFixture.h"
#include "app/mainwindow/PortSelector.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTest>

namespace {

const QString kByIdPath =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

PortSelector& Box(EditorFixture& fx) {
    return Component<PortSelector>(fx.Form1(), "ComboBoxCOM");
}

} // namespace

class PortSelectorTest : public QObject {
    Q_OBJECT

private slots:
    void ListsComPortsFirstThenTheSystemsPortsDescribed() {
        const std::vector<PortChoice> system = {
            {"/dev/ttyUSB0", "FT232R USB UART"}, {"/dev/ttyS0", ""},
            {"COM3", "USB Serial Port"},         {"COM4", ""}, // already listed as it is
            {"/dev/ttyUSB0", "FT232R USB UART"}, {kByIdPath, "/dev/ttyUSB0"},
        };
        PortSelector box([&system] { return system; });
        QStringList expected;
        for (int i = 1; i <= 10; ++i) {
            expected << QStringLiteral("COM%1").arg(i);
        }
        expected << QStringLiteral("/dev/ttyUSB0 — FT232R USB UART") << "/dev/ttyS0"
                 << QStringLiteral("COM3 — USB Serial Port") << kByIdPath + " — /dev/ttyUSB0";
        QStringList labels;
        for (int i = 0; i < box.count(); ++i) {
            labels << box.itemData(i, PortSelector::kLabelRole).toString();
            // The item itself is the bare path: choosing it puts nothing else into the box.
            const QString path = labels.last().section(QStringLiteral(" — "), 0, 0);
            QCOMPARE(box.itemText(i), path);
            QCOMPARE(box.itemData(i).toString(), path);
        }
        QCOMPARE(labels, expected);
        QCOMPARE(box.currentText(), QStringLiteral("COM1"));
    }

    void OpeningTheListRefreshesItWithoutWritingTheSettings() {
        EditorFixture fx(QByteArray("/dev/typed-by-hand\n"));
        std::vector<PortChoice> system = {{"/dev/ttyS0", ""}};
        Box(fx).SetPortLister([&system] { return system; });
        QFile::remove(fx.SettingsFile());
        system.push_back({kByIdPath, "/dev/ttyUSB0"}); // an adapter plugged in meanwhile

        QTest::mouseClick(&Box(fx), Qt::LeftButton, {},
                          QPoint(Box(fx).width() - 5, Box(fx).height() / 2));
        QAbstractItemView* list = Box(fx).view();
        QTRY_VERIFY(list->isVisible());
        QCOMPARE(Box(fx).count(), 12);
        QCOMPARE(Box(fx).itemText(11), kByIdPath);
        QCOMPARE(Box(fx).currentText(), QStringLiteral("/dev/typed-by-hand"));
        QVERIFY(!QFile::exists(fx.SettingsFile()));
        // The list is wide enough for its longest entry.
        QVERIFY(list->viewport()->width() >=
                list->fontMetrics().horizontalAdvance(kByIdPath + " — /dev/ttyUSB0"));

        // The new adapter chosen from the list with the keys: only its path is kept.
        QTest::keyClick(list, Qt::Key_End);
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(!list->isVisible());
        QCOMPARE(Box(fx).currentText(), kByIdPath);
        QCOMPARE(ReadWholeFile(fx.SettingsFile()), kByIdPath.toUtf8() + "\n");
    }

    // After Enter in the box, Escape on its list or a choice from it, the next letter typed
    // goes into the message, not into the port name and vtr.cfg.
    void TheGridHasTheKeysOnceThePortIsGiven_data() {
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("port");
        QTest::newRow("Enter") << 0 << "/dev/ttyS1";
        QTest::newRow("Escape on the list") << 1 << "/dev/ttyS1";
        QTest::newRow("chosen from the list") << 2 << "COM2";
    }
    void TheGridHasTheKeysOnceThePortIsGiven() {
        QFETCH(int, how);
        QFETCH(QString, port);
        EditorFixture fx;
        PortSelector& box = Box(fx);
        box.lineEdit()->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(box.lineEdit()->hasFocus());
        box.lineEdit()->selectAll();
        QTest::keyClicks(box.lineEdit(), "/dev/ttyS1");
        switch (how) {
        case 0:
            QTest::keyClick(box.lineEdit(), Qt::Key_Return);
            break;
        case 1:
            box.showPopup();
            QTRY_VERIFY(box.view()->isVisible());
            QTest::keyClick(box.view(), Qt::Key_Escape);
            break;
        default:
            box.showPopup();
            QTRY_VERIFY(box.view()->isVisible());
            box.view()->setCurrentIndex(box.model()->index(1, 0));
            QTest::keyClick(box.view(), Qt::Key_Return);
            break;
        }
        QTRY_VERIFY(fx.Grid().hasFocus());
        QTest::keyClicks(QApplication::focusWidget(), "x");
        QCOMPARE(fx.Text(), QByteArray("x"));
        QCOMPARE(box.currentText(), port);
        QCOMPARE(ReadWholeFile(fx.SettingsFile()), port.toUtf8() + "\n");
    }

    void LongNamesKeepTheirEndsInViewAndWholeInTheTooltip_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("elided");
        QTest::newRow("short COM") << "COM3" << false;
        QTest::newRow("USB adapter") << "/dev/ttyUSB0" << false;
        QTest::newRow("by-id name") << kByIdPath << true;
    }
    void LongNamesKeepTheirEndsInViewAndWholeInTheTooltip() {
        QFETCH(QString, port);
        QFETCH(bool, elided);
        // Loaded from vtr.cfg, and typed into the box: the tooltip follows both.
        for (const bool typed : {false, true}) {
            EditorFixture fx(typed ? QByteArray("COM1\n") : port.toUtf8() + "\n");
            if (typed) {
                Box(fx).setFocus();
                QTRY_VERIFY(Box(fx).hasFocus());
                Box(fx).lineEdit()->selectAll();
                QTest::keyClicks(&Box(fx), port);
                QCOMPARE(Box(fx).currentText(), port);
                QVERIFY(fx.FocusGrid());
            }
            QCOMPARE(Box(fx).toolTip(), port);
            const QString shown = Box(fx).ShownText();
            if (!elided) {
                QCOMPARE(shown, port);
                continue;
            }
            QVERIFY(shown.size() < port.size());
            QVERIFY(shown.contains(QChar(0x2026)));
            QVERIFY(shown.startsWith(QStringLiteral("/dev/")));
            QVERIFY(shown.endsWith(QStringLiteral("port0")));
        }
    }
};

QTEST_MAIN(PortSelectorTest)
#include "tst_portselector.moc"

// The main window's four send actions driven through its buttons against the software sign
// (ledsign-emulator) on a pseudo-terminal: what the sign receives, what the operator is shown,
// that the window keeps running during a transaction, and that every path gives the port back.

#include "EditorFixture.h"

#include <QComboBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QLabel>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#ifdef LEDSIGN_EMULATOR
#include "testsupport/SoftwareSign.h"
#endif

namespace {

using Bytes = QByteArray;

#ifdef LEDSIGN_EMULATOR

void UsePort(TForm1& f, const std::string& port) {
    Component<QComboBox>(f, "ComboBoxCOM").setEditText(QString::fromStdString(port));
}

using tool_tests::Sign;

// One request as the emulator logs it.
std::string Request(int command, int slot, const Bytes& payload) {
    return tool_tests::RequestLine(command, slot,
                                   test_files::Bytes(payload.begin(), payload.end()));
}

using tool_tests::PortFree;

#endif

} // namespace

class SendWindowTest : public QObject {
    Q_OBJECT

private slots:
    void PortThatCannotBeOpenedIsNamed_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("status");
        QTest::newRow("message") << int(kSendMessageItem) << "Wysyłam komunikat numer 1";
        QTest::newRow("set") << int(kSendSetItem) << "";
        QTest::newRow("clock") << int(kSyncClockItem) << "";
        QTest::newRow("show") << int(kShowMessageItem) << "Uruchamiam komunikat numer 1";
    }
    void PortThatCannotBeOpenedIsNamed() {
        QFETCH(int, item);
        QFETCH(QString, status);
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), "abc");
        const Bytes before = DataOf(fx.Message1());
        const QString port = fx.Dir() + "/no-such-tty";
        Component<QComboBox>(f, "ComboBoxCOM").setEditText(port);
        Component<QLabel>(f, "StatusPanel").clear();
        fx.dialogs.answers.push_back(true); // the set: sent although it empties slots
        ClickButton(f, kActionsCategory, item);
        QCOMPARE(fx.dialogs.errors, QStringList{"Nie mogę otworzyć portu " + port + " !"});
        QCOMPARE(fx.dialogs.reasons,
                 QStringList{QStringLiteral("nie znaleziono")}); // the box's secondary text
        QCOMPARE(f.StatusText(), status);
        QCOMPARE(DataOf(fx.Message1()), before);
        QVERIFY(!QFile::exists(fx.Dir() + "/temp_msg.bin"));
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    }

#ifdef LEDSIGN_EMULATOR
    void SendMessageReachesSlotNineAndPlaysOnTheStrip() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        Sign sign(fx.Dir().toStdString());
        QVERIFY(!sign.Port().empty());
        UsePort(f, sign.Port());
        QTest::keyClicks(&fx.Grid(), "Hej!");
        ClickButton(f, kSettingsCategory, 0); // static
        ClickButton(f, kFontsCategory, 1);
        const Bytes sent = DataOf(fx.Message1());
        QCOMPARE(int(sent[1023]), 1);

        QTest::mouseClick(&Component<QToolButton>(f, "ToolButton14"), Qt::LeftButton);

        QCOMPARE(sign.Log(), std::vector<std::string>{Request(0x15, 9, sent)});
        QVERIFY(fx.dialogs.errors.isEmpty());
        QCOMPARE(f.StatusText(), QStringLiteral("Komunikat został wysłany."));
        QCOMPARE(fx.Text(), Bytes());
        QCOMPARE(fx.Cursor(), 0);
        QCOMPARE(ReadWholeFile(fx.Dir() + "/temp_msg.bin"), sent);
        QCOMPARE(DataOf(f.Messages()[1]), sent);
        QCOMPARE(f.Strip().PreviewRunning(), std::uint16_t{1});
        QVERIFY(f.Strip().Active());
        // The cleared message is scrolling again, in font 4.
        QCOMPARE(f.Panel().Buttons().Caption(kSettingsCategory, 0),
                 QStringLiteral("Rodaj komunikatu: przewijany"));
        QCOMPARE(fx.Message1().GetFont(), 4);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QVERIFY(PortFree(sign.Port()));

        // The panel's entry sends the same way; the next send stops the running preview first.
        QTest::keyClicks(&fx.Grid(), "2");
        const Bytes second = DataOf(fx.Message1());
        ClickButton(f, kActionsCategory, kSendMessageItem);
        QCOMPARE(sign.Log().size(), 2u);
        QCOMPARE(sign.Log().back(), Request(0x15, 9, second));
        QCOMPARE(DataOf(f.Messages()[1]), second);
        QVERIFY(f.Strip().Active());
    }

    void SendSetStoresEightSlotsInOrder() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        Sign sign(fx.Dir().toStdString());
        UsePort(f, sign.Port());
        std::vector<std::string> expected;
        for (int k = 0; k < kMessageCount; ++k) {
            std::uint8_t* d = f.Messages()[static_cast<std::size_t>(k)].GetData();
            d[0] = static_cast<std::uint8_t>(1 + k % 5);
            d[1] = static_cast<std::uint8_t>('1' + k);
            d[1023] = static_cast<std::uint8_t>(k % 2);
            expected.push_back(
                Request(k + 1, k + 1, DataOf(f.Messages()[static_cast<std::size_t>(k)])));
        }
        ClickButton(f, kActionsCategory, kSendSetItem);
        QCOMPARE(sign.Log(), expected);
        QVERIFY(fx.dialogs.errors.isEmpty());
        QCOMPARE(f.StatusText(), QStringLiteral("Zestaw komunikatów został wysłany."));
        QVERIFY(PortFree(sign.Port()));
    }

    void RefusingSignStopsTheSetAtMessageOneAndGivesThePortBack() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        Sign sign(fx.Dir().toStdString(), {"--refuse"});
        UsePort(f, sign.Port());
        QTest::keyClicks(&fx.Grid(), "x");
        fx.dialogs.answers.push_back(true); // sent although it empties slots 2..8
        ClickButton(f, kActionsCategory, kSendSetItem);
        QCOMPARE(fx.dialogs.errors,
                 QStringList{QStringLiteral("Nie mogę wysłać komunikatu numer 1 do linijki!")});
        QCOMPARE(sign.Log(), std::vector<std::string>{Request(1, 1, DataOf(f.Messages()[0]))});
        QVERIFY(PortFree(sign.Port()));
        // The next actions open the port again and fail only at the sign.
        ClickButton(f, kActionsCategory, kSyncClockItem);
        QVERIFY(!f.StatusText().startsWith(QStringLiteral("Zegar"))); // no success claimed
        QTest::mouseClick(&Component<QToolButton>(f, "ToolButton14"), Qt::LeftButton);
        QCOMPARE(fx.dialogs.errors,
                 (QStringList{"Nie mogę wysłać komunikatu numer 1 do linijki!",
                              "Nie mogę zsynchronizować zegara w linijce świetlnej!",
                              "Nie mogę wysłać komunikatu do linijki!"}));
        QCOMPARE(sign.Log().size(), 3u);
        QCOMPARE(fx.Text(), Bytes("x")); // a failed send clears nothing
        QVERIFY(!QFile::exists(fx.Dir() + "/temp_msg.bin"));
        QVERIFY(PortFree(sign.Port()));
    }

    void ClockAndShowReachTheSign() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        Sign sign(fx.Dir().toStdString());
        UsePort(f, sign.Port());
        const std::time_t before = std::time(nullptr);
        ClickButton(f, kActionsCategory, kSyncClockItem);
        QCOMPARE(f.StatusText(),
                 QStringLiteral("Zegar w linijce świetlnej został zsynchronizowany."));
        ClickButton(f, kActionsCategory, kShowMessageItem);
        QVERIFY(fx.dialogs.errors.isEmpty());
        QCOMPARE(f.StatusText(), QStringLiteral("Linijka wyświetla komunikat numer 1."));
        const std::vector<std::string> requests = sign.Log();
        QCOMPARE(requests.size(), 2u);
        std::tm local{};
        localtime_r(&before, &local);
        char date[16];
        std::snprintf(date, sizeof date, "%02X%02X%02X", (local.tm_year + 1900 - 2000) & 0xFF,
                      local.tm_mon + 1, local.tm_mday);
        QVERIFY2(requests[0].rfind("cmd=11 ", 0) == 0, requests[0].c_str());
        QVERIFY2(requests[0].find(" len=6 data=" + std::string(date)) != std::string::npos,
                 requests[0].c_str());
        QCOMPARE(requests[1], Request(0x16, 1, {}));
        QVERIFY(PortFree(sign.Port()));
    }

    // A sign that never answers: the window keeps running its event loop under a busy cursor
    // for the whole wait, and the error comes after the 51 polls.
    void SilentSignFailsAfterTheWaitWhileTheWindowKeepsRunning() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        Sign sign(fx.Dir().toStdString(), {"--silent"});
        UsePort(f, sign.Port());
        QTest::keyClicks(&fx.Grid(), "cisza");
        const Bytes before = DataOf(fx.Message1());
        int ticks = 0;
        int busyTicks = 0;
        QTimer probe;
        probe.setInterval(100);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            ++ticks;
            const QCursor* c = QGuiApplication::overrideCursor();
            if (c != nullptr && c->shape() == Qt::BusyCursor) {
                ++busyTicks;
            }
        });
        probe.start();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(&Component<QToolButton>(f, "ToolButton14"), Qt::LeftButton);
        const qint64 elapsed = clock.elapsed();
        probe.stop();
        QCOMPARE(fx.dialogs.errors, QStringList{"Nie mogę wysłać komunikatu do linijki!"});
        QVERIFY2(elapsed >= 4500 && elapsed < 9000, qPrintable(QString::number(elapsed)));
        // Timers ran throughout the transaction, all of it under the busy cursor.
        QVERIFY2(ticks >= 30, qPrintable(QString::number(ticks)));
        QVERIFY(busyTicks >= ticks - 2);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QCOMPARE(DataOf(fx.Message1()), before);
        QCOMPARE(sign.Log().size(), 1u);
        QVERIFY(PortFree(sign.Port()));
    }
#endif
};

QTEST_MAIN(SendWindowTest)
#include "tst_sendwindow.moc"

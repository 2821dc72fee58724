// The file synchronisation window (TForm3): its components, its settings file, and the mode it
// runs against the software sign on a pseudo-terminal.

#include "EditorFixture.h"
#include "app/Dialogs.h"
#include "app/TransactionWait.h"
#include "app/syncwindow/TForm3.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifdef LEDSIGN_EMULATOR
#include "testsupport/SoftwareSign.h"
#endif

namespace {

const QString kStatus = QStringLiteral("STATUS:");

QString Status(const char* utf8) {
    return kStatus + QString::fromUtf8(utf8);
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.write(bytes);
    }
}

// Shows `form` (non-modally, as exec() would show it) and waits for the start to end.
int ShowAndStart(TForm3& form) {
    QSignalSpy started(&form, &TForm3::StartFinished);
    form.show();
    if (!started.wait(15000)) {
        return -1;
    }
    return started.at(0).at(0).toInt();
}

#ifdef LEDSIGN_EMULATOR

using tool_tests::Sign;
using tool_tests::Slot9Line;

const std::string kBlankLine = Slot9Line("", 0, 0);

using tool_tests::PortFree;

#endif

} // namespace

class SyncWindowTest : public QObject {
    Q_OBJECT

private slots:
    void ComponentsAsDesigned() {
        EditorFixture fx(std::nullopt, false);
        TForm3& f = fx.Form3();
        QCOMPARE(f.windowTitle(), QStringLiteral("Synchronizacja linijki z plikiem"));
        QCOMPARE(f.size(), QSize(541, 138));
        QVERIFY(f.isModal());
        QCOMPARE(f.palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(f.Label1->text(), QStringLiteral("Nazwa pliku z danymi:"));
        QCOMPARE(f.Label1->pos(), QPoint(8, 16));
        QVERIFY(f.Label1->font().bold());
        QCOMPARE(f.Label1->font().pixelSize(), 13);
        QCOMPARE(f.Label1->palette().color(QPalette::WindowText), QColor(0, 255, 0));
        QCOMPARE(f.EditPlik->text(), QStringLiteral("dane.txt"));
        QVERIFY(f.EditPlik->isReadOnly());
        QCOMPARE(f.EditPlik->geometry(), QRect(8, 38, 401, 21));
        QCOMPARE(f.EditPlik->palette().color(QPalette::Text), QColor(0, 255, 255));
        QCOMPARE(f.EditPlik->palette().color(QPalette::Base), QColor(128, 128, 128));
        QCOMPARE(f.LabelStatus->text(), kStatus);
        QCOMPARE(f.LabelStatus->pos(), QPoint(8, 80));
        QVERIFY(f.LabelStatus->font().bold());
        QCOMPARE(f.CategoryButtons1->geometry(), QRect(420, 0, 121, 137));
        QCOMPARE(f.CategoryButtons1->CategoryCount(), 1);
        QCOMPARE(f.CategoryButtons1->CategoryCaption(0), QStringLiteral("Akcje:"));
        QCOMPARE(f.CategoryButtons1->ItemCount(0), 2);
        QCOMPARE(f.CategoryButtons1->Caption(0, 0), QStringLiteral("Wybierz plik"));
        QCOMPARE(f.CategoryButtons1->Caption(0, 1), QString::fromUtf8("Wyjdź z trybu"));
        QCOMPARE(f.TimerSynchro->interval(), 1000);
        QVERIFY(!f.TimerSynchro->isActive());
        QCOMPARE(f.Timer1->interval(), 5000);
        QVERIFY(!f.Sync().SyncActive());
        QCOMPARE(ToNameFilters(QString::fromUtf8(kDataFileFilter)),
                 (QStringList{QStringLiteral("Pliki tekstowe (*.txt)"),
                              QStringLiteral("Wszystkie pliki (*.*)")}));
    }

    void SettingsReadAtCreationAndWrittenOnClose_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("shown");
        QTest::newRow("missing") << false << QByteArray() << QStringLiteral("dane.txt");
        QTest::newRow("empty") << true << QByteArray() << QStringLiteral("dane.txt");
        QTest::newRow("blank line") << true << QByteArray("  \t\r\n") << QStringLiteral("dane.txt");
        QTest::newRow("crlf name")
            << true << QByteArray(" pomiary.txt \r\ninne\n") << QStringLiteral("pomiary.txt");
        QTest::newRow("long name")
            << true << QByteArray(300, 'a') << QString(254, QLatin1Char('a'));
        QTest::newRow("utf-8 name")
            << true << QByteArray("dane \xc5\x82.txt\n") << QString::fromUtf8("dane ł.txt");
    }
    void SettingsReadAtCreationAndWrittenOnClose() {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        QFETCH(QString, shown);
        EditorFixture fx(std::nullopt, false);
        const QString cfg = fx.Dir() + QStringLiteral("/as.cfg");
        if (exists) {
            WriteFile(cfg, content);
        }
        TForm3 form(SyncContextOf(fx.Form1()), fx.dialogs);
        QCOMPARE(form.EditPlik->text(), shown);
        form.SetStatusPeriod(60000);
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM")
            .setEditText(fx.Dir() + QStringLiteral("/no-such-port"));
        QCOMPARE(ShowAndStart(form), 1);
        form.CategoryButtons1->Click(0, 1);
        QVERIFY(!form.isVisible());
        QCOMPARE(ReadWholeFile(cfg), shown.toUtf8() + '\n');
    }

    void PortErrorNamesThePortAndExitOnlyCloses() {
        EditorFixture fx(std::nullopt, false);
        TForm3& form = fx.Form3();
        form.SetStatusPeriod(60000);
        const QString port = fx.Dir() + QStringLiteral("/ttyNONE");
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM").setEditText(port);
        QCOMPARE(ShowAndStart(form), 1);
        QCOMPARE(form.LabelStatus->text(), Status("Nie mogę otworzyć portu ") + port + " !");
        QCOMPARE(form.LabelStatus->toolTip(), QStringLiteral("nie znaleziono"));
        QCOMPARE(form.frameGeometry().topLeft(), form.screen()->availableGeometry().topLeft());
        QVERIFY(!form.TimerSynchro->isActive());
        form.CategoryButtons1->Click(0, 1);
        QVERIFY(!form.isVisible());
        QVERIFY(!form.Sync().SyncActive());
    }

    void StatusFallsBackAfterItsPeriod() {
        EditorFixture fx(std::nullopt, false);
        TForm3& form = fx.Form3();
        form.SetStatusPeriod(1000);
        form.ShowStatus(QStringLiteral("A"));
        QCOMPARE(form.LabelStatus->text(), QStringLiteral("STATUS:A"));
        QTest::qWait(600);
        form.ShowStatus(QStringLiteral("B")); // restarts the period
        QTest::qWait(600);
        QCOMPARE(form.LabelStatus->text(), QStringLiteral("STATUS:B"));
        QTRY_COMPARE_WITH_TIMEOUT(form.LabelStatus->text(), kStatus, 3000);
        QVERIFY(!form.Timer1->isActive());
    }

    void TransactionsRunOffTheWindowThreadWhileTimersFire() {
        int ticks = 0;
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start();
        const std::thread::id window = std::this_thread::get_id();
        std::atomic<bool> elsewhere{false};
        const int result = RunWhileRepainting([&] {
            elsewhere = std::this_thread::get_id() != window;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return 42;
        });
        QCOMPARE(result, 42);
        QVERIFY(elsewhere);
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        // A call that ends before the wait begins does not leave the wait hanging.
        QCOMPARE(RunWhileRepainting([] { return 7; }), 7);
    }

#ifdef LEDSIGN_EMULATOR
    void RewrittenFileIsSentOnTheNextTick() {
        EditorFixture fx(std::nullopt, false);
        Sign sign(fx.Dir().toStdString());
        QVERIFY(!sign.Port().empty());
        TForm3& form = fx.Form3();
        form.SetStatusPeriod(60000);
        form.SetSyncInterval(50);
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM")
            .setEditText(QString::fromStdString(sign.Port()));
        QCOMPARE(ShowAndStart(form), 0);
        QVERIFY(form.Sync().SyncActive());
        QVERIFY(form.TimerSynchro->isActive());
        QCOMPARE(form.LabelStatus->text(), Status("Synchronizuję czas w linijce"));
        WriteFile(fx.Dir() + QStringLiteral("/dane.txt"), "1 4 Temperatura 21C\n");
        QTRY_COMPARE_WITH_TIMEOUT(form.LabelStatus->text(), Status("OK"), 10000);
        WriteFile(fx.Dir() + QStringLiteral("/dane.txt"), "0 2 Druga wersja\n");
        QTRY_COMPARE_WITH_TIMEOUT(sign.Slot9Log().size(), std::size_t{2}, 10000);
        QTest::qWait(300); // unchanged file: nothing more is sent
        form.CategoryButtons1->Click(0, 1);
        QVERIFY(!form.isVisible());
        QVERIFY(!form.TimerSynchro->isActive());
        const std::vector<std::string> log = sign.Log();
        QCOMPARE(log.size(), std::size_t{4});
        QVERIFY(log[0].rfind("cmd=11 ", 0) == 0);
        QCOMPARE(log[1], Slot9Line("Temperatura 21C ", 4, 0));
        QCOMPARE(log[2], Slot9Line("Druga wersja ", 2, 1));
        QCOMPARE(log[3], kBlankLine);
        QVERIFY(PortFree(sign.Port()));
        QCOMPARE(ReadWholeFile(fx.Dir() + QStringLiteral("/as.cfg")), QByteArray("dane.txt\n"));
    }

    // Every way of closing the window leaves the mode as "Wyjdź z trybu" does.
    void EveryCloseLeavesTheMode_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Wyjdz z trybu") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("Escape") << 2;
    }
    void EveryCloseLeavesTheMode() {
        QFETCH(int, how);
        EditorFixture fx(std::nullopt, false);
        Sign sign(fx.Dir().toStdString());
        TForm3& form = fx.Form3();
        form.SetStatusPeriod(60000);
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM")
            .setEditText(QString::fromStdString(sign.Port()));
        QCOMPARE(ShowAndStart(form), 0);
        QVERIFY(!PortFree(sign.Port()));
        switch (how) {
        case 0:
            QVERIFY(form.CategoryButtons1->Click(0, 1));
            break;
        case 1:
            QVERIFY(form.close());
            break;
        default:
            QTest::keyClick(&form, Qt::Key_Escape);
            break;
        }
        QVERIFY(!form.isVisible());
        QVERIFY(!form.Sync().SyncActive());
        QVERIFY(!form.TimerSynchro->isActive());
        QCOMPARE(sign.Slot9Log(), std::vector<std::string>{kBlankLine});
        QVERIFY(PortFree(sign.Port()));
        QCOMPARE(ReadWholeFile(fx.Dir() + QStringLiteral("/as.cfg")), QByteArray("dane.txt\n"));
        // Shown again, the mode starts again on the released port.
        QCOMPARE(ShowAndStart(form), 0);
        form.CategoryButtons1->Click(0, 1);
        QCOMPARE(sign.Slot9Log().size(), std::size_t{2});
    }

    void RefusedClockReleasesThePort() {
        EditorFixture fx(std::nullopt, false);
        Sign sign(fx.Dir().toStdString(), {"--refuse"});
        TForm3& form = fx.Form3();
        form.SetStatusPeriod(60000);
        form.SetSyncInterval(20);
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM")
            .setEditText(QString::fromStdString(sign.Port()));
        QCOMPARE(ShowAndStart(form), 1);
        QCOMPARE(form.LabelStatus->text(), Status("Nie moge zsynchronizowac czasu w linijce!"));
        QCOMPARE(form.LabelStatus->toolTip(), QStringLiteral("linijka odrzuciła polecenie"));
        QVERIFY(!form.Sync().SyncActive());
        QVERIFY(!form.TimerSynchro->isActive());
        QVERIFY(PortFree(sign.Port()));
        form.CategoryButtons1->Click(0, 1);
        QCOMPARE(sign.Log().size(), std::size_t{1}); // the clock only, no blank message
    }

    void SendFailureKeepsTheMode() {
        EditorFixture fx(std::nullopt, false);
        Sign sign(fx.Dir().toStdString());
        TForm3& form = fx.Form3();
        form.SetStatusPeriod(60000);
        form.SetSyncInterval(20);
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM")
            .setEditText(QString::fromStdString(sign.Port()));
        QCOMPARE(ShowAndStart(form), 0);
        sign.Process().Kill();
        WriteFile(fx.Dir() + QStringLiteral("/dane.txt"), "1 1 X\n");
        QTRY_COMPARE_WITH_TIMEOUT(form.LabelStatus->text(),
                                  Status("Błąd podczas wysyłania komunikatu!"), 15000);
        QVERIFY(form.Sync().SyncActive());
        QVERIFY(form.TimerSynchro->isActive());
        QVERIFY(form.isVisible());
    }

    void ChosenFileIsSentAtOnce() {
        EditorFixture fx(std::nullopt, false);
        Sign sign(fx.Dir().toStdString());
        TForm3& form = fx.Form3();
        form.SetStatusPeriod(60000);
        form.SetSyncInterval(3600 * 1000); // only the choice sends
        const QString first = fx.Dir() + QStringLiteral("/dane.txt");
        const QString chosen = fx.Dir() + QStringLiteral("/inny.txt");
        WriteFile(chosen, "0 3 Wybrany\n");
        WriteFile(first, "1 1 Pierwszy\n"); // newer than the chosen file
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM")
            .setEditText(QString::fromStdString(sign.Port()));
        QCOMPARE(ShowAndStart(form), 0);

        // Cancelled: nothing changes, nothing is sent.
        form.CategoryButtons1->Click(0, 0);
        QCOMPARE(form.EditPlik->text(), QStringLiteral("dane.txt"));
        QCOMPARE(fx.dialogs.filters,
                 QStringList{QString::fromUtf8(kDataFileFilter) + QStringLiteral(" / ")});
        QVERIFY(sign.Slot9Log().empty());

        fx.dialogs.files.push_back(chosen);
        form.CategoryButtons1->Click(0, 0);
        QCOMPARE(form.EditPlik->text(), chosen);
        QCOMPARE(form.LabelStatus->text(), Status("OK"));
        QCOMPARE(sign.Slot9Log(), std::vector<std::string>{Slot9Line("Wybrany ", 3, 1)});
        // Chosen again: sent again although unchanged.
        fx.dialogs.files.push_back(chosen);
        form.CategoryButtons1->Click(0, 0);
        QCOMPARE(sign.Slot9Log().size(), std::size_t{2});

        form.CategoryButtons1->Click(0, 1);
        QCOMPARE(ReadWholeFile(fx.Dir() + QStringLiteral("/as.cfg")), chosen.toUtf8() + '\n');
        // The next window reads the chosen name back.
        TForm3 again(SyncContextOf(fx.Form1()), fx.dialogs);
        QCOMPARE(again.EditPlik->text(), chosen);
    }

    // A slow sign: the window keeps running its timers during each transaction, skips polling
    // ticks and refuses closes that come then, and sends a version written during a send on a
    // later tick.
    void TicksDuringATransactionAreSkippedNotLost() {
        EditorFixture fx(std::nullopt, false);
        Sign sign(fx.Dir().toStdString(), {"--delay", "800"});
        TForm3& form = fx.Form3();
        form.SetStatusPeriod(300);
        form.SetSyncInterval(20);
        const QString data = fx.Dir() + QStringLiteral("/dane.txt");
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM")
            .setEditText(QString::fromStdString(sign.Port()));

        // Watches the window from inside its waits.
        bool fellBackDuringWait = false;
        bool rewritten = false;
        bool closeRefused = false;
        QTimer watcher;
        watcher.setInterval(10);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (!form.InTransaction()) {
                return;
            }
            if (form.LabelStatus->text() == kStatus) {
                fellBackDuringWait = true;
            }
            if (form.LabelStatus->text() == Status("Wysyłam komunikat") && !rewritten) {
                WriteFile(data, "1 2 Druga wersja pliku\n");
                rewritten = true;
                // A tick and a close arriving now must neither use the busy port nor lose the
                // new version.
                form.TimerSynchroTimer();
                closeRefused = form.close() == false && form.isVisible();
            }
        });
        watcher.start();

        QCOMPARE(ShowAndStart(form), 0);
        WriteFile(data, "1 1 Pierwsza\n");
        QTRY_COMPARE_WITH_TIMEOUT(sign.Slot9Log().size(), std::size_t{2}, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!form.InTransaction(), 5000);
        watcher.stop();
        QVERIFY(rewritten);
        QVERIFY(fellBackDuringWait);
        QVERIFY(closeRefused);
        QVERIFY(form.isVisible());
        QCOMPARE(sign.Slot9Log(),
                 (std::vector<std::string>{Slot9Line("Pierwsza ", 1, 0),
                                           Slot9Line("Druga wersja pliku ", 2, 0)}));
        form.CategoryButtons1->Click(0, 1);
        QCOMPARE(sign.Slot9Log().back(), kBlankLine);
        QVERIFY(PortFree(sign.Port()));
    }
#endif
};

QTEST_MAIN(SyncWindowTest)
#include "tst_syncwindow.moc"

// The synchronisation window when the sign goes away during the mode and comes back on the same
// port: it notices, says since when and why, reopens the port on its own and sends the data
// file again. Waits in real time for the backoff's first probe (2 s).

#include "EditorFixture.h"
#include "app/syncwindow/TForm3.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#ifdef LEDSIGN_EMULATOR
#include "testsupport/SoftwareSign.h"
#endif

namespace {

[[maybe_unused]] void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class SyncRecoveryTest : public QObject {
    Q_OBJECT

private slots:
    void ALostSignIsPickedUpAgainWhenItReturns() {
#ifndef LEDSIGN_EMULATOR
        QSKIP("needs the software sign");
#else
        using tool_tests::Sign;
        using tool_tests::Slot9Line;
        EditorFixture fx(std::nullopt, false);
        const std::string line = fx.Dir().toStdString() + "/sign"; // both runs of the sign
        auto first = std::make_unique<Sign>(fx.Dir().toStdString(),
                                            std::vector<std::string>{"--link", line}, "first");
        QVERIFY(!first->Port().empty());
        TForm3& form = fx.Form3();
        form.SetStatusPeriod(60000);
        form.SetSyncInterval(50);
        Component<QComboBox>(fx.Form1(), "ComboBoxCOM").setEditText(QString::fromStdString(line));
        QSignalSpy started(&form, &TForm3::StartFinished);
        form.show();
        QVERIFY(started.wait(15000));
        QCOMPARE(started.at(0).at(0).toInt(), 0);
        QCOMPARE(form.LabelLine->text(), QStringLiteral("Linijka odpowiada."));

        const QString data = fx.Dir() + "/dane.txt";
        WriteFile(data, "1 4 Raz\n");
        QTRY_COMPARE_WITH_TIMEOUT(first->Slot9Log().size(), std::size_t{1}, 10000);

        first.reset(); // the sign's program ends: the line hangs up
        WriteFile(data, "1 4 Dwa\n");
        QTRY_VERIFY_WITH_TIMEOUT(form.LabelLine->text().startsWith("Brak linijki od "), 15000);
        QCOMPARE(form.LabelStatus->text(),
                 QStringLiteral("STATUS:") +
                     QString::fromUtf8("Błąd podczas wysyłania komunikatu!"));
        QVERIFY(!form.SignConnected());
        QVERIFY(form.Sync().SyncActive());
        const QString lost = form.LabelLine->toolTip();
        QVERIFY2(lost.contains(QStringLiteral("; ponawiam połączenie.")), qPrintable(lost));
        QVERIFY2(!lost.contains(QStringLiteral("(brak odpowiedzi)")),
                 qPrintable(lost)); // the reason

        Sign second(fx.Dir().toStdString(), {"--link", line}, "second");
        QVERIFY(!second.Port().empty());
        QTRY_COMPARE_WITH_TIMEOUT(second.Slot9Log().size(), std::size_t{1}, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(form.LabelLine->text().startsWith("Linijka znów odpowiada od "),
                                 5000);
        QVERIFY(form.SignConnected());
        // The probe's clock set, then the version the lost sign never got.
        const std::vector<std::string> log = second.Log();
        QCOMPARE(log.size(), std::size_t{2});
        QVERIFY(log[0].rfind("cmd=11 ", 0) == 0);
        QCOMPARE(log[1], Slot9Line("Dwa ", 4, 0));

        form.CategoryButtons1->Click(0, 1);
        QVERIFY(!form.isVisible());
        QCOMPARE(second.Slot9Log().back(), Slot9Line("", 0, 0));
        QCOMPARE(form.LabelLine->text(), QString());
#endif
    }
};

QTEST_MAIN(SyncRecoveryTest)
#include "tst_syncrecovery.moc"

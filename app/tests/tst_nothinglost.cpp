// No work lost without a question: the save dialog's question before replacing a file, the
// modified mark and the question before closing, the question before a set that would empty
// slots is sent, the recent files, and a file named on the command line.

#include "EditorFixture.h"
#include "app/Dialogs.h"
#include "app/Startup.h"
#include "app/mainwindow/ActionPanel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

#ifdef LEDSIGN_EMULATOR
#include "testsupport/SoftwareSign.h"
#endif

namespace {

const QString kTitle = QStringLiteral("Centrum sterowania linijką świetlną nr 380 wersja Welnar");

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// One message whose cells spell `text` in font 4.
QByteArray MessageOf(const QByteArray& text) {
    QByteArray bytes(kMessageSize, '\0');
    for (qsizetype i = 0; i < text.size(); ++i) {
        bytes[2 * i] = 4;
        bytes[2 * i + 1] = text[i];
    }
    return bytes;
}

void Run(TForm1& f, PanelCommand command) {
    f.RunCommand(command);
}

QStringList RecentItems(TForm1& f) {
    QStringList items;
    for (QAction* a : Component<QMenu>(f, "MenuOstatniePliki").actions()) {
        items << a->text();
    }
    return items;
}

} // namespace

class NothingLostTest : public QObject {
    Q_OBJECT

private slots:
    // The real save dialog, on a file that exists: it asks before replacing it, and answered
    // No it stays open.
    void SaveDialogAsksBeforeReplacingAFile() {
        QTemporaryDir dir;
        const QString existing = dir.filePath("promo.kom");
        QVERIFY(WriteFile(existing, MessageOf("Promocja dnia")));
        QString question;
        bool accepted = false;
        bool stayedOpen = false;
        QTimer driver;
        driver.setInterval(20);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                question = box->text();
                box->button(QMessageBox::No)->click();
            } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                if (!accepted) {
                    accepted = true;
                    dialog->selectFile(existing);
                    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                } else if (!question.isEmpty()) {
                    stayedOpen = true;
                    dialog->reject();
                }
            }
        });
        driver.start();
        QtDialogs dialogs;
        const QString chosen = dialogs.SaveFile(nullptr, QString::fromUtf8(kMessageFilter),
                                                QStringLiteral("kom"), existing);
        QVERIFY2(question.contains("promo.kom"), qPrintable(question));
        QVERIFY(stayedOpen);
        QCOMPARE(chosen, QString());
        QCOMPARE(ReadWholeFile(existing), MessageOf("Promocja dnia"));
    }

    // Saved, then typed on: the save dialog opens on the file saved; the caption marks the
    // change and an undo back to the saved text clears the mark.
    void ModifiedMarkFollowsTheSavedState() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QCOMPARE(f.windowTitle(), kTitle);
        QTest::keyClicks(&fx.Grid(), "Promocja dnia");
        QVERIFY(f.Modified());
        QCOMPARE(f.windowTitle(), kTitle + "*");
        const QString promo = fx.Dir() + "/promo.kom";
        fx.dialogs.files = {promo};
        QTest::keyClick(&fx.Grid(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!f.Modified());
        QCOMPARE(f.windowTitle(), kTitle + " - promo.kom");
        QTest::keyClicks(&fx.Grid(), "!");
        QCOMPARE(f.windowTitle(), kTitle + " - promo.kom*");
        QTest::keyClick(&fx.Grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.windowTitle(), kTitle + " - promo.kom");
        Run(f, PanelCommand::SaveMessage); // cancelled
        QCOMPARE(fx.dialogs.startFolders.last(), promo);

        // A set loaded: the set is the document, and the question names it.
        const QString set = fx.Dir() + "/zestaw.kzb";
        QVERIFY(WriteFile(set, MessageOf("A").repeated(kMessageCount)));
        QVERIFY(f.OpenFile(set));
        QCOMPARE(f.windowTitle(), kTitle + " - zestaw.kzb");
        QTest::keyClicks(&fx.Grid(), "B");
        fx.dialogs.saveAnswers = {SaveAnswer::Cancel};
        QVERIFY(!f.close());
        QVERIFY(fx.dialogs.questions.last().startsWith("Zestaw komunikatów zestaw.kzb"));
    }

    // Each way of closing with unsaved work asks first; without any, only "Wyjdź" asks, with
    // the general question.
    void ClosingWithUnsavedWorkAsks_data() {
        QTest::addColumn<bool>("viaExit");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QByteArray>("fileAfter");
        for (const bool viaExit : {false, true}) {
            const char* how = viaExit ? "Wyjdź" : "close box";
            QTest::addRow("%s, Anuluj", how)
                << viaExit << int(SaveAnswer::Cancel) << false << MessageOf("stary");
            QTest::addRow("%s, Nie zapisuj", how)
                << viaExit << int(SaveAnswer::Discard) << true << MessageOf("stary");
            QTest::addRow("%s, Zapisz", how)
                << viaExit << int(SaveAnswer::Save) << true << MessageOf("nowystary");
        }
    }
    void ClosingWithUnsavedWorkAsks() {
        QFETCH(bool, viaExit);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(QByteArray, fileAfter);
        EditorFixture fx;
        TForm1& f = fx.Form1();
        const QString file = fx.Dir() + "/m.kom";
        QVERIFY(WriteFile(file, MessageOf("stary")));
        QVERIFY(f.OpenFile(file));
        if (viaExit) {
            fx.dialogs.answers = {false};
            Component<QAction>(f, "Wyjd1").trigger();
            QCOMPARE(fx.dialogs.questions, QStringList{"Czy na pewno wyjść z programu?"});
            QVERIFY(f.isVisible());
            fx.dialogs.questions.clear();
        } else {
            QVERIFY(f.close()); // nothing changed: no question
            QVERIFY(fx.dialogs.questions.isEmpty());
            f.show();
            QVERIFY(fx.FocusGrid());
        }
        QTest::keyClicks(&fx.Grid(), "nowy");
        fx.dialogs.saveAnswers = {static_cast<SaveAnswer>(answer)};
        if (viaExit) {
            Component<QAction>(f, "Wyjd1").trigger();
        } else {
            f.close();
        }
        QCOMPARE(fx.dialogs.questions,
                 QStringList{"Komunikat m.kom został zmieniony. Zapisać zmiany przed zamknięciem "
                             "programu?"});
        QCOMPARE(f.isVisible(), !closed);
        QCOMPARE(ReadWholeFile(file), fileAfter);
    }

    // Unsaved work that has no file yet: "Zapisz" opens the save dialog, and cancelling it
    // keeps the window open.
    void SavingUntitledWorkUsesTheDialog() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        QTest::keyClicks(&fx.Grid(), "abc");
        fx.dialogs.saveAnswers = {SaveAnswer::Save, SaveAnswer::Save};
        QVERIFY(!f.close()); // the dialog cancelled
        QVERIFY(f.isVisible());
        const QString name = fx.Dir() + "/nowy.kom";
        fx.dialogs.files = {name};
        QVERIFY(f.close());
        QCOMPARE(ReadWholeFile(name), MessageOf("abc"));
    }

    // Without a set of the operator's, sending the set asks first, naming the slots it would
    // empty; a set loaded in this run is sent without a question.
    void SendingTheSetAsksBeforeEmptyingSlots() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        const QString port = fx.Dir() + "/no-such-tty";
        Component<QComboBox>(f, "ComboBoxCOM").setEditText(port);
        QTest::keyClicks(&fx.Grid(), "abc");
        fx.dialogs.answers = {false};
        Run(f, PanelCommand::SendSet);
        QCOMPARE(fx.dialogs.questions,
                 QStringList{"Nie wczytano ani nie zapisano zestawu komunikatów. Wysłanie zestawu "
                             "opróżni w linijce komunikaty numer 2, 3, 4, 5, 6, 7, 8. Wysłać "
                             "zestaw?"});
        QVERIFY(fx.dialogs.errors.isEmpty()); // not sent
        fx.dialogs.answers = {true};
        Run(f, PanelCommand::SendSet);
        QCOMPARE(fx.dialogs.errors, QStringList{"Nie mogę otworzyć portu " + port + " !"});

        const QString set = fx.Dir() + "/zestaw.kzb";
        QVERIFY(WriteFile(set, MessageOf("A").repeated(2) + QByteArray(6 * kMessageSize, '\0')));
        QVERIFY(f.OpenFile(set));
        fx.dialogs.questions.clear();
        Run(f, PanelCommand::SendSet);
        QVERIFY(fx.dialogs.questions.isEmpty());
        QCOMPARE(fx.dialogs.errors.size(), 2);
    }

#ifdef LEDSIGN_EMULATOR
    // A send is no modification: the grid is emptied, the mark cleared and the caption names
    // no file, since the grid no longer holds it.
    void SendClearsTheMarkAndTheFileName() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        tool_tests::Sign sign(fx.Dir().toStdString());
        QVERIFY(!sign.Port().empty());
        Component<QComboBox>(f, "ComboBoxCOM").setEditText(QString::fromStdString(sign.Port()));
        const QString file = fx.Dir() + "/promo.kom";
        QVERIFY(WriteFile(file, MessageOf("Promocja dnia")));
        QVERIFY(f.OpenFile(file));
        QTest::keyClicks(&fx.Grid(), "!");
        QCOMPARE(f.windowTitle(), kTitle + " - promo.kom*");
        Run(f, PanelCommand::SendMessage);
        QVERIFY(fx.dialogs.errors.isEmpty());
        QCOMPARE(fx.Text(), QByteArray());
        QVERIFY(!f.Modified());
        QCOMPARE(f.windowTitle(), kTitle);
        QVERIFY(f.close());
        QVERIFY(fx.dialogs.questions.isEmpty());
    }
#endif

    // The last eight files loaded or saved, the latest first and each once, across runs; one
    // that has gone is dropped with a word when chosen.
    void RecentFilesAreKeptAndAGoneFileIsDropped() {
        QTemporaryDir config;
        QStringList names;
        {
            EditorFixture fx(std::nullopt, true, config.path());
            QVERIFY(!Component<QMenu>(fx.Form1(), "MenuOstatniePliki").isEnabled());
            for (int i = 1; i <= 9; ++i) {
                names << QDir::toNativeSeparators(fx.Dir() + QStringLiteral("/m%1.kom").arg(i));
                fx.dialogs.files = {names.last()};
                Run(fx.Form1(), PanelCommand::SaveMessage);
            }
            fx.dialogs.files = {names[4]};
            Run(fx.Form1(), PanelCommand::LoadMessage);
        } // the files go with the fixture's folder
        EditorFixture next(std::nullopt, true, config.path());
        TForm1& f = next.Form1();
        QStringList expected;
        for (const int i : {5, 9, 8, 7, 6, 4, 3, 2}) {
            expected << QStringLiteral("&%1 %2").arg(expected.size() + 1).arg(names[i - 1]);
        }
        QCOMPARE(RecentItems(f), expected);

        // m5.kom is gone (its folder went with the first run): chosen, it is dropped.
        Component<QMenu>(f, "MenuOstatniePliki").actions().first()->trigger();
        QCOMPARE(next.dialogs.warnings.size(), 1);
        QVERIFY(next.dialogs.warnings.first().contains(names[4]));
        QCOMPARE(RecentItems(f).size(), 7);
        QVERIFY(!RecentItems(f).first().contains("m5.kom"));

        // One that exists opens as "Wczytaj komunikat" would.
        const QString kept = config.filePath("m3.kom");
        QVERIFY(WriteFile(kept, MessageOf("trzy")));
        next.dialogs.files = {kept};
        Run(f, PanelCommand::LoadMessage);
        QTest::keyClicks(&next.Grid(), "x");
        Component<QMenu>(f, "MenuOstatniePliki").actions().first()->trigger();
        QCOMPARE(next.Text(), QByteArray("trzy"));
        QCOMPARE(f.windowTitle(), kTitle + " - m3.kom");
    }

    // Typing into a full message pushes its last characters out: the status bar says how many,
    // and an undo brings them back.
    void CharactersPushedOutOfAFullMessageAreCounted() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        const QString full = fx.Dir() + "/pelny.kom";
        QVERIFY(WriteFile(full, MessageOf(QByteArray(kMessageCells, 'a'))));
        QVERIFY(f.OpenFile(full));
        fx.Grid().SetCell(0, 0);
        QTest::keyClicks(&fx.Grid(), "b");
        QCOMPARE(f.StatusText(), QString::fromUtf8("Komunikat jest pełny: z jego końca usunięto "
                                                   "1 znak (Ctrl+Z przywraca)."));
        QGuiApplication::clipboard()->setText("xyz");
        f.Paste();
        QVERIFY(f.StatusText().contains(QString::fromUtf8("usunięto 3 znaki ")));
        QTest::keyClick(&fx.Grid(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(&fx.Grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(DataOf(fx.Message1()), MessageOf(QByteArray(kMessageCells, 'a')));
        QVERIFY(!f.Modified());
    }

    void CommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("file");
        using A = EditorCommandLine::Action;
        QTest::newRow("nothing") << QStringList{} << int(A::Run) << "";
        QTest::newRow("a file") << QStringList{"a.kom"} << int(A::Run) << "a.kom";
        QTest::newRow("help wins") << QStringList{"-x", "--help"} << int(A::Help) << "";
        QTest::newRow("short help") << QStringList{"-h"} << int(A::Help) << "";
        QTest::newRow("version") << QStringList{"a.kzb", "--version"} << int(A::Version) << "";
        QTest::newRow("dash file") << QStringList{"--", "-a.kom"} << int(A::Run) << "-a.kom";
        QTest::newRow("not after --") << QStringList{"--", "--help"} << int(A::Run) << "--help";
        QTest::newRow("unknown") << QStringList{"--open", "a.kom"} << int(A::BadUsage) << "";
        QTest::newRow("two files") << QStringList{"a.kom", "b.kom"} << int(A::BadUsage) << "";
    }
    void CommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, file);
        const EditorCommandLine line =
            ParseCommandLine(QStringList{"ledsign-editor"} + arguments, "9.8.7");
        QCOMPARE(int(line.What), action);
        QCOMPARE(line.File, file);
        if (line.What == EditorCommandLine::Action::Version) {
            QCOMPARE(line.Text, QStringLiteral("ledsign-editor 9.8.7\n"));
        }
    }

#ifdef LEDSIGN_EDITOR
    // --help and --version answer without a display; a file named opens at start.
    void ProgramAnswersWithoutAWindowAndOpensItsFile() {
        for (const char* option : {"--help", "--version"}) {
            QProcess program;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("DISPLAY");
            env.remove("WAYLAND_DISPLAY");
            env.remove("QT_QPA_PLATFORM");
            program.setProcessEnvironment(env);
            program.start(LEDSIGN_EDITOR, {option});
            QVERIFY(program.waitForFinished(20000));
            QCOMPARE(program.exitCode(), 0);
            QVERIFY(program.readAllStandardOutput().startsWith(
                option == QLatin1String("--help") ? "Użycie: ledsign-editor" : "ledsign-editor "));
        }
        QProcess bad;
        bad.start(LEDSIGN_EDITOR, {"-platform", "offscreen", "--open"});
        QVERIFY(bad.waitForFinished(20000));
        QCOMPARE(bad.exitCode(), 2);
        QVERIFY(bad.readAllStandardError().contains("--open"));
    }
#endif

    void FileNamedAtStartOpensAsItsKind() {
        EditorFixture fx;
        TForm1& f = fx.Form1();
        const QString set = fx.Dir() + "/zestaw.KZB";
        QVERIFY(WriteFile(set, MessageOf("jeden") + MessageOf("dwa") +
                                   QByteArray(6 * kMessageSize, '\0')));
        QVERIFY(f.OpenFile(set));
        QCOMPARE(fx.Text(), QByteArray("jeden"));
        QCOMPARE(DataOf(f.Messages()[1]), MessageOf("dwa"));
        QVERIFY(f.Document().Kind() == FileKind::MessageSet);
        QVERIFY(!f.OpenFile(fx.Dir() + "/brak.kom"));
        QCOMPARE(fx.dialogs.errors,
                 QStringList{"Nie mogę wczytać pliku " + fx.Dir() + "/brak.kom !"});
        QCOMPARE(f.windowTitle(), kTitle + " - zestaw.KZB");
        Run(f, PanelCommand::LoadSet); // cancelled: it opened where the set was
        QCOMPARE(fx.dialogs.startFolders.last(), QDir::toNativeSeparators(fx.Dir()));
    }
};

QTEST_MAIN(NothingLostTest)
#include "tst_nothinglost.moc"

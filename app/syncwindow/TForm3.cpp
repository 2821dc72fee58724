#include "app/syncwindow/TForm3.h"

#include "app/CoreNames.h"
#include "app/Dialogs.h"
#include "app/TransactionWait.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QScreen>
#include <QTime>
#include <QTimer>

namespace {

const QString kStatusPrefix = QStringLiteral("STATUS:");
const QColor kLime(0, 255, 0);
const QColor kAqua(0, 255, 255);
const QColor kGrey(128, 128, 128);
const QColor kOrange(255, 160, 0);

QFont LabelFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    font.setBold(true);
    return font;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    widget->setPalette(pal);
}

// The watch's timing, except that the window's polling timer paces the checks of the data
// file: every tick is one.
WatchTiming WindowTiming() {
    WatchTiming timing;
    timing.PollMs = 0;
    return timing;
}

} // namespace

TForm3::TForm3(SyncContext context, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), context_(std::move(context)), dialogs_(dialogs),
      protocolLink_(context_.Protocol), link_(protocolLink_, RunWhileRepainting),
      watch_(
          link_, files_, clock_, [this](const std::string& text) { ModeStatus(text); },
          WindowTiming()) {
    // The window says nothing about a missing data file; the mode's read error is enough.
    watch_.ReportDataFileStates(false);
    setWindowTitle(QStringLiteral("Synchronizacja linijki z plikiem"));
    setModal(true);
    setFixedSize(541, 138);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    Label1 = new QLabel(QStringLiteral("Nazwa pliku z danymi:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(LabelFont());
    SetTextColour(Label1, kLime);
    Label1->adjustSize();
    Label1->move(8, 16);

    EditPlik = new QLineEdit(QString::fromLatin1(kDefaultDataFile), this);
    EditPlik->setObjectName(QStringLiteral("EditPlik"));
    EditPlik->setReadOnly(true);
    EditPlik->setGeometry(8, 38, 401, 21);
    QPalette editPal = EditPlik->palette();
    editPal.setColor(QPalette::Base, kGrey);
    editPal.setColor(QPalette::Text, kAqua);
    EditPlik->setPalette(editPal);

    LabelStatus = new QLabel(kStatusPrefix, this);
    LabelStatus->setObjectName(QStringLiteral("LabelStatus"));
    LabelStatus->setFont(LabelFont());
    SetTextColour(LabelStatus, kLime);
    LabelStatus->setGeometry(8, 80, 405, 50);
    LabelStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelStatus->setWordWrap(true); // long port names stay readable

    LabelLine = new QLabel(this);
    LabelLine->setObjectName(QStringLiteral("LabelLine"));
    QFont lineFont = LabelFont();
    lineFont.setPixelSize(11);
    LabelLine->setFont(lineFont);
    LabelLine->setGeometry(8, 62, 405, 16);

    CategoryButtons1 = new CategoryButtons(this);
    CategoryButtons1->setObjectName(QStringLiteral("CategoryButtons1"));
    CategoryButtons1->setGeometry(420, 0, 121, 137);
    const int actions = CategoryButtons1->AddCategory(QStringLiteral("Akcje:"),
                                                      QColor(234, 234, 255), QColor(0, 255, 0));
    CategoryButtons1->AddButton(actions, QStringLiteral("Wybierz plik"), {}, {},
                                [this] { CategoryButtons1Categories0Items0Click(); });
    CategoryButtons1->AddButton(actions, QStringLiteral("Wyjdź z trybu"), {}, {},
                                [this] { CategoryButtons1Categories0Items1Click(); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(kSyncStatusPeriodMs);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    TimerSynchro = new QTimer(this);
    TimerSynchro->setObjectName(QStringLiteral("TimerSynchro"));
    TimerSynchro->setInterval(kSyncIntervalMs);
    connect(TimerSynchro, &QTimer::timeout, this, [this] { TimerSynchroTimer(); });

    FormCreate();
}

TForm3::~TForm3() = default;

int TForm3::ShowModalSync() {
    return exec();
}

void TForm3::FormCreate() {
    std::string name = kDefaultDataFile;
    // A settings file missing or unreadable is no error: the default data file name stays.
    (void)LoadSyncSettings(context_.StartDirectory, name);
    watch_.SetDataFileName(name);
    EditPlik->setText(FromCoreName(name));
}

void TForm3::FormShow() {
    // A close that came before this queued start leaves nothing to start.
    if (!isVisible() || closing_) {
        emit StartFinished(1);
        return;
    }
    const std::string port = context_.PortName ? context_.PortName() : std::string();
    const int result = watch_.Start(port, context_.DeviceAddress);
    if (result == 0 && watch_.Running()) {
        TimerSynchro->start();
        ShowLineState(LineState::Running);
    }
    emit StartFinished(result);
}

void TForm3::FormClose() {
    TimerSynchro->stop();
    watch_.Leave();
    ShowLineState(LineState::Idle);
    // The window closes whatever the settings file's fate: a name that could not be saved is
    // asked for again on the next start, as after a first start.
    (void)SaveSyncSettings(context_.StartDirectory, watch_.Mode().DataFileName());
}

void TForm3::TimerSynchroTimer() {
    // A tick inside the wait for a transaction would use the port and the message buffer of
    // the call in flight, one inside another step (its status lets events run) would run the
    // mode's steps into each other; the next tick sees the change all the same.
    if (link_.InTransaction() || stepping_) {
        return;
    }
    stepping_ = true;
    // Step is false only for a policy that ends on a lost sign; the window's never does, it
    // keeps trying to bring the sign back.
    (void)watch_.Step();
    stepping_ = false;
}

void TForm3::ModeStatus(const std::string& text) {
    const QString reason = QString::fromStdString(
        LinkFailureReason(text, context_.Protocol, LineErrorLanguage::Polish));
    if (IsSignLostStatus(text)) {
        ShowLineState(LineState::Lost, reason);
    } else if (text == kWatchStatusBack) {
        ShowLineState(LineState::Back);
    } else {
        ShowStatus(QString::fromStdString(text), reason);
    }
}

void TForm3::ShowLineState(LineState state, const QString& reason) {
    const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    QString text;
    QColor colour = kLime;
    switch (state) {
    case LineState::Idle:
        break;
    case LineState::Running:
        text = QStringLiteral("Linijka odpowiada.");
        break;
    case LineState::Lost:
        text = QStringLiteral("Brak linijki od %1 (%2); ponawiam połączenie.")
                   .arg(now, reason.isEmpty() ? QStringLiteral("brak odpowiedzi") : reason);
        colour = kOrange;
        break;
    case LineState::Back:
        text = QStringLiteral("Linijka znów odpowiada od %1; zegar ustawiony.").arg(now);
        break;
    }
    SetTextColour(LabelLine, colour);
    // Elided to the indicator's width; the whole text is its tool tip.
    LabelLine->setText(
        LabelLine->fontMetrics().elidedText(text, Qt::ElideRight, LabelLine->width()));
    LabelLine->setToolTip(text);
}

void TForm3::Timer1Timer() {
    Timer1->stop();
    LabelStatus->setText(kStatusPrefix);
    LabelStatus->setToolTip(QString());
}

void TForm3::CategoryButtons1Categories0Items0Click() {
    if (link_.InTransaction() || stepping_) {
        return;
    }
    const QString name =
        dialogs_.OpenFile(this, QString::fromUtf8(kDataFileFilter), QString(), QString());
    if (name.isEmpty()) {
        return;
    }
    EditPlik->setText(name);
    watch_.ChooseFile(ToCoreName(name));
}

void TForm3::CategoryButtons1Categories0Items1Click() {
    reject();
}

void TForm3::ShowStatus(const QString& text, const QString& reason) {
    Timer1->stop();
    LabelStatus->setText(kStatusPrefix + text);
    LabelStatus->setToolTip(reason);
    Timer1->start();
    QCoreApplication::processEvents();
}

void TForm3::SetStatusPeriod(int ms) {
    Timer1->setInterval(ms);
}

void TForm3::SetSyncInterval(int ms) {
    TimerSynchro->setInterval(ms);
}

void TForm3::SetTransactionRunner(TransactionRunner runner) {
    link_.SetRunner(std::move(runner));
}

void TForm3::done(int result) {
    // Every way of closing (the button, the close box, Escape) ends here. Closing while a
    // transaction is in flight would start another one on the same port: refused.
    if (closing_ || link_.InTransaction()) {
        return;
    }
    closing_ = true;
    FormClose();
    closing_ = false;
    QDialog::done(result);
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen(); s != nullptr) {
        move(s->availableGeometry().topLeft());
    }
    // The start blocks in transactions; it runs once the window is on the screen.
    QMetaObject::invokeMethod(this, &TForm3::FormShow, Qt::QueuedConnection);
}

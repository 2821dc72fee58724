#include "EditorFixture.h"

#include "app/widgets/CategoryButtons.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTest>

EditorFixture::EditorFixture(std::optional<QByteArray> settings, bool show,
                             const QString& userConfig)
    : previousDir_(QDir::currentPath()) {
    UseUserConfig(userConfig.isEmpty() ? userConfig_.path() : userConfig);
    if (settings) {
        QFile f(dir_.filePath(QStringLiteral("vtr.cfg")));
        if (f.open(QIODevice::WriteOnly)) {
            f.write(*settings);
        }
    }
    QDir::setCurrent(dir_.path());
    windows_ = CreateEditorWindows(dialogs);
    if (show) {
        windows_.Form1->show();
        windows_.Form1->activateWindow();
        (void)QTest::qWaitForWindowActive(windows_.Form1.get());
        FocusGrid();
    }
}

EditorFixture::~EditorFixture() {
    Shutdown();
}

void EditorFixture::Shutdown() {
    windows_.Reset();
    QDir::setCurrent(previousDir_);
}

QByteArray EditorFixture::Text() {
    QByteArray out;
    const std::uint8_t* data = Message1().GetData();
    for (int i = 0; i < kMessageCells && data[2 * i] != 0; ++i) {
        out.append(static_cast<char>(data[2 * i + 1]));
    }
    return out;
}

bool EditorFixture::FocusGrid() {
    Grid().setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([this] { return Grid().hasFocus(); }, 2000);
}

QPoint EditorFixture::CellCentre(int index) {
    return Grid().CellRect(index % kGridColumns, index / kGridColumns).center();
}

void UseUserConfig(const QString& dir) {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir);
}

QByteArray ReadWholeFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray all = f.readAll();
    if (all.isNull()) {
        all = QByteArray("");
    }
    return all;
}

QByteArray DataOf(const CLEDMessageCon& m) {
    return QByteArray(reinterpret_cast<const char*>(m.GetData()), kMessageSize);
}

void ClickButton(TForm1& form, int category, int item) {
    CategoryButtons* panel = &form.Panel().Buttons();
    const QRect r = panel->ButtonRect(category, item);
    form.Panel().ensureVisible(r.center().x(), r.center().y(), 0, r.height());
    QTest::mouseClick(panel, Qt::LeftButton, {}, r.center());
}

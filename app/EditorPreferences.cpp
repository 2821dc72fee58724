#include "app/EditorPreferences.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString FolderKey(FileKind kind) {
    return kind == FileKind::Message ? QStringLiteral("folders/message")
                                     : QStringLiteral("folders/messageSet");
}

constexpr const char* kRecentFilesKey = "recent/files";
constexpr const char* kWindowSizeKey = "window/size";
constexpr const char* kWindowMaximisedKey = "window/maximised";

} // namespace

EditorPreferences::EditorPreferences()
    : settings_(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ledsign"),
                QStringLiteral("ledsign-editor")) {}

QString EditorPreferences::Folder(FileKind kind) const {
    const QString folder = settings_.value(FolderKey(kind)).toString();
    // A folder removed or unplugged since would leave the dialog somewhere arbitrary.
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        return {};
    }
    return folder;
}

void EditorPreferences::RememberFolderOf(FileKind kind, const QString& file) {
    const QString folder = QFileInfo(file).absolutePath();
    settings_.setValue(FolderKey(kind), QDir::toNativeSeparators(folder));
    settings_.sync();
}

QStringList EditorPreferences::RecentFiles() const {
    QStringList files = settings_.value(QLatin1String(kRecentFilesKey)).toStringList();
    files.removeAll(QString());
    return files.mid(0, kRecentFileCount);
}

void EditorPreferences::RememberRecentFile(const QString& file) {
    const QString path = QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    settings_.setValue(QLatin1String(kRecentFilesKey), files.mid(0, kRecentFileCount));
    settings_.sync();
}

void EditorPreferences::ForgetRecentFile(const QString& file) {
    QStringList files = RecentFiles();
    files.removeAll(file);
    settings_.setValue(QLatin1String(kRecentFilesKey), files);
    settings_.sync();
}

std::optional<QSize> EditorPreferences::WindowSize() const {
    const QSize size = settings_.value(QLatin1String(kWindowSizeKey)).toSize();
    if (!size.isValid() || size.isEmpty()) {
        return std::nullopt;
    }
    return size;
}

bool EditorPreferences::WindowMaximised() const {
    return settings_.value(QLatin1String(kWindowMaximisedKey), false).toBool();
}

void EditorPreferences::RememberWindow(const QSize& normalSize, bool maximised) {
    settings_.setValue(QLatin1String(kWindowSizeKey), normalSize);
    settings_.setValue(QLatin1String(kWindowMaximisedKey), maximised);
    settings_.sync();
}

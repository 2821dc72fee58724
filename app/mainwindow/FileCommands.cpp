#include "app/mainwindow/FileCommands.h"

#include "app/CoreNames.h"
#include "app/Dialogs.h"

#include <QDir>
#include <QFileInfo>

namespace {

std::size_t KindIndex(FileKind kind) {
    return kind == FileKind::Message ? 0 : 1;
}

} // namespace

FileKind FileKindOf(const QString& name) {
    return QFileInfo(name).suffix().compare(QLatin1String(kMessageSetExtension),
                                            Qt::CaseInsensitive) == 0
               ? FileKind::MessageSet
               : FileKind::Message;
}

FileCommands::FileCommands(Dialogs& dialogs, QWidget& owner, MessageSet messages,
                           EditorPreferences& preferences, FileNamed fileNamed)
    : dialogs_(dialogs), owner_(owner), messages_(messages), preferences_(preferences),
      fileNamed_(std::move(fileNamed)) {}

QString FileCommands::ChooseFile(bool save, FileKind kind, const char* filter,
                                 const char* extension) {
    const QString f = QString::fromUtf8(filter);
    const QString ext = QString::fromUtf8(extension);
    QString start = preferences_.Folder(kind);
    const QString& last = lastFile_[KindIndex(kind)];
    // Saving again over the same file is the common case; the dialog asks before replacing it.
    if (save && !last.isEmpty() && QFileInfo(last).absoluteDir().exists()) {
        start = last;
    }
    const QString name = save ? dialogs_.SaveFile(&owner_, f, ext, start)
                              : dialogs_.OpenFile(&owner_, f, ext, start);
    if (!name.isEmpty()) {
        preferences_.RememberFolderOf(kind, name);
    }
    return WithDefaultExtension(name, ext);
}

void FileCommands::Named(const QString& name, FileKind kind) {
    lastFile_[KindIndex(kind)] = name;
    if (fileNamed_) {
        fileNamed_(name, kind);
    }
}

bool FileCommands::LoadMessage() {
    const QString name = ChooseFile(false, FileKind::Message, kMessageFilter, kMessageExtension);
    return !name.isEmpty() && Load(FileKind::Message, name);
}

bool FileCommands::LoadSet() {
    const QString name =
        ChooseFile(false, FileKind::MessageSet, kMessageSetFilter, kMessageSetExtension);
    return !name.isEmpty() && Load(FileKind::MessageSet, name);
}

bool FileCommands::LoadFile(const QString& name) {
    const FileKind kind = FileKindOf(name);
    if (!Load(kind, name)) {
        return false;
    }
    // As if chosen in the dialog: the next dialog of its kind opens beside it.
    preferences_.RememberFolderOf(kind, name);
    return true;
}

bool FileCommands::Load(FileKind kind, const QString& name) {
    const int result = kind == FileKind::MessageSet
                           ? LoadMessageSet(ToCoreName(name).c_str(), messages_)
                           : messages_[0].LoadFromFile(ToCoreName(name).c_str());
    if (result != 0) {
        LoadFailed(name);
        return false;
    }
    Named(name, kind);
    return true;
}

bool FileCommands::SaveMessage() {
    const QString name = ChooseFile(true, FileKind::Message, kSaveMessageFilter, kMessageExtension);
    return !name.isEmpty() && SaveAs(FileKind::Message, name);
}

bool FileCommands::SaveSet() {
    const QString name =
        ChooseFile(true, FileKind::MessageSet, kMessageSetFilter, kMessageSetExtension);
    return !name.isEmpty() && SaveAs(FileKind::MessageSet, name);
}

bool FileCommands::SaveAs(FileKind kind, const QString& name) {
    const int result = kind == FileKind::MessageSet
                           ? SaveMessageSet(ToCoreName(name).c_str(), messages_)
                           : messages_[0].SaveToFile(ToCoreName(name).c_str());
    if (result != 0) {
        SaveFailed(name);
        return false;
    }
    // A message saved under the set filter's name is still a message file.
    Named(name, kind);
    return true;
}

void FileCommands::LoadFailed(const QString& name) {
    // The messages stay as they were; without a word the operator would take the old text
    // for the file's.
    dialogs_.Error(QStringLiteral("Nie mogę wczytać pliku ") + name + QStringLiteral(" !"));
}

void FileCommands::SaveFailed(const QString& name) {
    // Silence here would let the operator believe the work was kept.
    dialogs_.Error(QStringLiteral("Nie mogę zapisać pliku ") + name + QStringLiteral(" !"));
}

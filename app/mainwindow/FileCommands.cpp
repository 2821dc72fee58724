#include "app/mainwindow/FileCommands.h"

#include "app/Dialogs.h"

#include <QFile>

namespace {

// A file name as the C library opens it (the system's file name encoding).
QByteArray NativeName(const QString& name) {
    return QFile::encodeName(name);
}

} // namespace

FileCommands::FileCommands(Dialogs& dialogs, QWidget& owner, MessageSet messages,
                           EditorPreferences& preferences, FileNamed fileNamed)
    : dialogs_(dialogs), owner_(owner), messages_(messages), preferences_(preferences),
      fileNamed_(std::move(fileNamed)) {}

QString FileCommands::ChooseFile(bool save, FileKind kind, const char* filter,
                                 const char* extension) {
    const QString f = QString::fromUtf8(filter);
    const QString ext = QString::fromUtf8(extension);
    const QString folder = preferences_.Folder(kind);
    const QString name = save ? dialogs_.SaveFile(&owner_, f, ext, folder)
                              : dialogs_.OpenFile(&owner_, f, ext, folder);
    if (!name.isEmpty()) {
        preferences_.RememberFolderOf(kind, name);
    }
    return WithDefaultExtension(name, ext);
}

bool FileCommands::LoadMessage() {
    const QString name = ChooseFile(false, FileKind::Message, kMessageFilter, kMessageExtension);
    if (name.isEmpty()) {
        return false;
    }
    if (messages_[0].LoadFromFile(NativeName(name).constData()) != 0) {
        LoadFailed(name);
        return false;
    }
    fileNamed_(name);
    return true;
}

bool FileCommands::LoadSet() {
    const QString name =
        ChooseFile(false, FileKind::MessageSet, kMessageSetFilter, kMessageSetExtension);
    if (name.isEmpty()) {
        return false;
    }
    if (LoadMessageSet(NativeName(name).constData(), messages_) != 0) {
        LoadFailed(name);
        return false;
    }
    fileNamed_(name);
    return true;
}

void FileCommands::SaveMessage() {
    const QString name = ChooseFile(true, FileKind::Message, kSaveMessageFilter, kMessageExtension);
    if (name.isEmpty()) {
        return;
    }
    if (messages_[0].SaveToFile(NativeName(name).constData()) != 0) {
        SaveFailed(name);
        return;
    }
    fileNamed_(name);
}

void FileCommands::SaveSet() {
    const QString name =
        ChooseFile(true, FileKind::MessageSet, kMessageSetFilter, kMessageSetExtension);
    if (name.isEmpty()) {
        return;
    }
    if (SaveMessageSet(NativeName(name).constData(), messages_) != 0) {
        SaveFailed(name);
        return;
    }
    fileNamed_(name);
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

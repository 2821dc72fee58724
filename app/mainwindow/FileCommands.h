#pragma once
// The file commands of the main window: loading and saving the current message (*.kom) and the
// message set (*.kzb) through the open and save dialogs, or by name.
//
// A file that does not load (missing, not a regular file, empty, a read error) changes nothing
// and is reported as "Nie mogę wczytać pliku <name> !"; one that cannot be written is reported
// as "Nie mogę zapisać pliku <name> !" and the old file stays as it was.
//
// Each kind of file (messages, sets) opens its open dialog in the folder last chosen for that
// kind, kept in the editor's preferences, and its save dialog on the file of that kind last
// loaded or saved in this run (else in that folder); the save dialog asks before it replaces a
// file. Every file that was loaded or written is announced with its kind, so the window can name
// it in its caption and remember it.

#include "app/EditorPreferences.h"
#include "messages/Ledmessagecon.h"
#include "messages/MessageFiles.h"

#include <QString>

#include <array>
#include <functional>
#include <span>

class Dialogs;
class QWidget;

// The file dialogs' filters (description|pattern pairs) and default extensions.
inline constexpr const char* kMessageFilter = "Pojedynczy komunikat (*.kom)|*.kom";
inline constexpr const char* kSaveMessageFilter =
    "Pojedynczy komunikat (*.kom)|*.kom|Zbiór komunikatów (*.kzb)|*.kzb";
inline constexpr const char* kMessageSetFilter = "Zbiór komunikatów (*.kzb)|*.kzb";
inline constexpr const char* kMessageExtension = "kom";
inline constexpr const char* kMessageSetExtension = "kzb";

// The kind of file `name` is by its extension: "kzb" (any case) a set, anything else a message.
FileKind FileKindOf(const QString& name);

class FileCommands {
public:
    using MessageSet = std::span<CLEDMessageCon, kMessageSetCount>;

    // Called with the name and kind of each file loaded or written in full.
    using FileNamed = std::function<void(const QString& name, FileKind kind)>;

    // `messages` is the message set, message 1 the current message; `owner` owns the dialogs;
    // `preferences` remembers the folders. All four must outlive the commands.
    FileCommands(Dialogs& dialogs, QWidget& owner, MessageSet messages,
                 EditorPreferences& preferences, FileNamed fileNamed);

    // Each load returns whether message 1's buffer was replaced; a cancelled dialog or a file
    // that does not load leaves every message as it was.
    bool LoadMessage();
    bool LoadSet();
    // `name` loaded as its kind (FileKindOf), as the load commands do after their dialog; its
    // folder becomes the start folder of that kind.
    bool LoadFile(const QString& name);
    // Each save returns whether the file was written; a cancelled dialog writes nothing.
    // A message file is one 1024-byte message whichever filter was chosen.
    bool SaveMessage();
    bool SaveSet();
    // Writes `name` as a file of `kind` without a dialog.
    bool SaveAs(FileKind kind, const QString& name);

private:
    // The name chosen in the open or save dialog, with the default extension added when it has
    // none; empty when cancelled. A chosen name's folder becomes the start folder of `kind`.
    QString ChooseFile(bool save, FileKind kind, const char* filter, const char* extension);
    bool Load(FileKind kind, const QString& name);
    void Named(const QString& name, FileKind kind);
    void LoadFailed(const QString& name);
    void SaveFailed(const QString& name);

    Dialogs& dialogs_;
    QWidget& owner_;
    MessageSet messages_;
    EditorPreferences& preferences_;
    FileNamed fileNamed_;
    // The file of each kind last loaded or written in this run, where its save dialog opens.
    std::array<QString, 2> lastFile_;
};

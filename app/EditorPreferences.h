#pragma once
// EditorPreferences: what the editor remembers for its operator between runs, beside vtr.cfg
// (whose one-line format the sign's tools share and which must not grow): the folder last used
// for each kind of file, the files last loaded or saved and the main window's size.
//
// Kept with QSettings as an INI file in the user's configuration (organisation "ledsign",
// application "ledsign-editor"), never in the registry, so that the same file format serves
// every platform and can be inspected and deleted by hand. Tests point the user scope at a
// temporary directory with QSettings::setPath before creating the window.

#include <QSettings>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

// The kinds of file that remember their own folder.
enum class FileKind {
    Message,    // single messages, *.kom
    MessageSet, // message sets, *.kzb
};

class EditorPreferences {
public:
    EditorPreferences();

    // The folder last used for `kind`; empty when none is remembered or it no longer exists.
    QString Folder(FileKind kind) const;
    // Remembers the folder that holds `file` (a file name chosen in a dialog) for `kind`.
    void RememberFolderOf(FileKind kind, const QString& file);

    // The files last loaded or saved, the latest first, at most kRecentFileCount.
    static constexpr int kRecentFileCount = 8;
    QStringList RecentFiles() const;
    // Puts `file` (made absolute) first in the list, dropping its earlier place and whatever
    // falls beyond the last place.
    void RememberRecentFile(const QString& file);
    void ForgetRecentFile(const QString& file);

    // The main window's normal (not maximised) size as last left, if any was stored and valid.
    std::optional<QSize> WindowSize() const;
    bool WindowMaximised() const;
    void RememberWindow(const QSize& normalSize, bool maximised);

private:
    QSettings settings_;
};

#pragma once
// What the main window's messages held when they last matched a file, so that the window can
// tell the operator's unsaved work from what a file holds already.
//
// The document is message 1, or the whole set once a set was loaded or saved. It counts as
// modified while its bytes differ from the bytes it had then, so an undo back to that state is
// no modification. At start-up and after a successful send (the message went to the sign and
// the grid was emptied) the document is message 1 as it is, tied to no file.

#include "app/EditorPreferences.h"
#include "messages/Ledmessagecon.h"
#include "messages/MessageFiles.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>

class DocumentState {
public:
    using MessageSet = std::span<CLEDMessageCon, kMessageSetCount>;

    // `messages` must outlive this object; message 1 as it is now is the saved state.
    explicit DocumentState(MessageSet messages);

    // `file` was loaded or written in full as `kind`: the messages as they are now are the
    // saved state of a document of that kind (a message file: message 1 alone).
    void Saved(FileKind kind, const QString& file);
    // Message 1 as it is now is the saved state, tied to no file.
    void Detach();

    bool Modified() const;
    // The file last loaded or written, empty when none (at start-up, after a send).
    const QString& File() const { return file_; }
    // What kind of file File() is; Message when there is none.
    FileKind Kind() const { return kind_; }
    // Whether a set was loaded or saved during this run; a send does not forget it.
    bool SetKnownThisRun() const { return setKnown_; }

private:
    using Bytes = std::array<std::uint8_t, kMessageSize>;
    void Snapshot();

    MessageSet messages_;
    std::array<Bytes, kMessageSetCount> saved_{};
    FileKind kind_ = FileKind::Message;
    QString file_;
    bool setKnown_ = false;
};

#include "app/mainwindow/DocumentState.h"

#include <algorithm>

DocumentState::DocumentState(MessageSet messages) : messages_(messages) {
    Snapshot();
}

void DocumentState::Snapshot() {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
        std::copy_n(messages_[i].GetData(), kMessageSize, saved_[i].begin());
    }
}

void DocumentState::Saved(FileKind kind, const QString& file) {
    kind_ = kind;
    file_ = file;
    setKnown_ = setKnown_ || kind == FileKind::MessageSet;
    Snapshot();
}

void DocumentState::Detach() {
    kind_ = FileKind::Message;
    file_.clear();
    Snapshot();
}

bool DocumentState::Modified() const {
    // Only a set's document covers messages 2..8: a message file holds message 1 alone.
    const std::size_t count = kind_ == FileKind::MessageSet ? saved_.size() : 1;
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::equal(saved_[i].begin(), saved_[i].end(), messages_[i].GetData())) {
            return true;
        }
    }
    return false;
}

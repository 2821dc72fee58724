#include "messages/EditHistory.h"

#include <algorithm>
#include <utility>

EditHistory::EditHistory(std::size_t depth) : depth_(std::max<std::size_t>(depth, 1)) {}

void EditHistory::Push(EditState before) {
    undo_.push_back(std::move(before));
    if (undo_.size() > depth_) {
        undo_.pop_front();
    }
    redo_.clear();
}

void EditHistory::RecordTyping(EditState before, int cursorAfter) {
    const bool continuesRun = runCursor_ && *runCursor_ == before.Cursor && !undo_.empty();
    if (continuesRun) {
        redo_.clear();
    } else {
        Push(std::move(before));
    }
    runCursor_ = cursorAfter;
}

void EditHistory::RecordCommand(EditState before) {
    Push(std::move(before));
    runCursor_.reset();
}

std::optional<EditState> EditHistory::Swap(std::deque<EditState>& from, std::deque<EditState>& to,
                                           EditState current, std::size_t depth) {
    if (from.empty()) {
        return std::nullopt;
    }
    EditState restored = std::move(from.back());
    from.pop_back();
    if (!restored.Others) {
        current.Others.reset();
    }
    to.push_back(std::move(current));
    if (to.size() > depth) {
        to.pop_front();
    }
    return restored;
}

std::optional<EditState> EditHistory::Undo(EditState current) {
    runCursor_.reset();
    return Swap(undo_, redo_, std::move(current), depth_);
}

std::optional<EditState> EditHistory::Redo(EditState current) {
    runCursor_.reset();
    return Swap(redo_, undo_, std::move(current), depth_);
}

// ---------------------------------------------------------------------------------------------

MessageUndo::MessageUndo(Messages messages, std::size_t depth)
    : messages_(messages), history_(depth) {}

MessageUndo::Step::Step(MessageUndo& owner, Kind kind)
    : owner_(owner), kind_(kind), outermost_(owner.openSteps_ == 0) {
    ++owner_.openSteps_;
    if (outermost_) {
        before_ = owner_.Capture(kind_ == Kind::SetCommand);
    }
}

MessageUndo::Step::~Step() {
    --owner_.openSteps_;
    if (!outermost_) {
        return;
    }
    const EditState after = owner_.Capture(kind_ == Kind::SetCommand);
    if (!SameBytes(before_, after)) {
        if (kind_ == Kind::Typing) {
            owner_.history_.RecordTyping(std::move(before_), after.Cursor);
        } else {
            owner_.history_.RecordCommand(std::move(before_));
        }
    } else if (kind_ != Kind::Typing) {
        owner_.history_.CloseRun();
    }
}

bool MessageUndo::Undo() {
    std::optional<EditState> restored = history_.Undo(Capture(true));
    if (restored) {
        Restore(*restored);
    }
    return restored.has_value();
}

bool MessageUndo::Redo() {
    std::optional<EditState> restored = history_.Redo(Capture(true));
    if (restored) {
        Restore(*restored);
    }
    return restored.has_value();
}

EditState MessageUndo::Capture(bool withOthers) const {
    EditState state;
    const CLEDMessageCon& first = messages_[0];
    std::copy_n(first.GetData(), kMessageSize, state.Message1.begin());
    if (const GridView* grid = first.GetGrid()) {
        state.Cursor = grid->Row() * kGridColumns + grid->Col();
    }
    state.Font = first.GetFont();
    if (withOthers) {
        state.Others = std::make_unique<OtherMessageBytes>();
        for (std::size_t k = 1; k < messages_.size(); ++k) {
            std::copy_n(messages_[k].GetData(), kMessageSize, (*state.Others)[k - 1].begin());
        }
    }
    return state;
}

void MessageUndo::Restore(const EditState& state) {
    CLEDMessageCon& first = messages_[0];
    first.LoadFromBytes(state.Message1);
    if (state.Others) {
        for (std::size_t k = 1; k < messages_.size(); ++k) {
            messages_[k].LoadFromBytes((*state.Others)[k - 1]);
        }
    }
    first.SetFont(state.Font);
    // One step: the restored cell is selectable in the restored text, but a two-step move
    // could be refused half-way.
    first.GetGrid()->SetCell(state.Cursor % kGridColumns, state.Cursor / kGridColumns);
}

bool MessageUndo::SameBytes(const EditState& a, const EditState& b) {
    if (a.Message1 != b.Message1) {
        return false;
    }
    if (a.Others && b.Others) {
        return *a.Others == *b.Others;
    }
    return true;
}

#pragma once
// Undo and redo for the edited message (message 1 of the set).
//
// EditHistory keeps the states to go back to: message 1's 1024 bytes, the cursor and the font
// for new cells, and, for the steps that replace the whole set, messages 2..8 as well. It is
// bounded: beyond its depth the oldest steps are forgotten. A run of typing (characters,
// Backspace, Delete) is one step as long as each change starts where the previous one left the
// cursor; any other command, or a cursor moved in between, starts a new step.
//
// MessageUndo binds a history to the eight messages and the grid of message 1: a Step opened
// around a change records it when, at its end, the bytes differ, and Undo/Redo put a recorded
// state back into the messages and the grid. Both run on the user-interface thread.

#include "messages/Ledmessagecon.h"
#include "messages/MessageFiles.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>

using MessageBytes = std::array<std::uint8_t, kMessageSize>;
using OtherMessageBytes = std::array<MessageBytes, kMessageSetCount - 1>;

// What one step brings back.
struct EditState {
    MessageBytes Message1{};
    int Cursor = 0; // row x 32 + column
    int Font = 4;
    // Messages 2..8; held only by the states of steps that replace the whole set.
    std::unique_ptr<OtherMessageBytes> Others;
};

class EditHistory {
public:
    static constexpr std::size_t kDefaultDepth = 100;

    // Keeps the last `depth` steps (at least one).
    explicit EditHistory(std::size_t depth = kDefaultDepth);

    // A typing change was made from `before` and left the cursor on `cursorAfter`. It joins
    // the open typing run when it starts where the run's last change left the cursor;
    // otherwise `before` becomes a new step that opens a run. The redo steps are dropped.
    void RecordTyping(EditState before, int cursorAfter);

    // Any other change, made from `before`: a step of its own. Closes the typing run and
    // drops the redo steps.
    void RecordCommand(EditState before);

    // The next typing change starts a new step (a command ran that changed nothing, or the
    // cursor was moved).
    void CloseRun() { runCursor_.reset(); }

    bool CanRedo() const { return !redo_.empty(); }
    std::size_t UndoCount() const { return undo_.size(); }

    // Takes the latest step: returns the state to restore and keeps `current` (the state now,
    // with messages 2..8) for Redo. Messages 2..8 of `current` are kept only when the restored
    // state holds them too, so a redo puts back no more than the undo took. Nothing to undo:
    // returns nothing and keeps nothing. Closes the typing run.
    [[nodiscard]] std::optional<EditState> Undo(EditState current);

    // The reverse of Undo, under the same rules.
    [[nodiscard]] std::optional<EditState> Redo(EditState current);

private:
    [[nodiscard]] static std::optional<EditState> Swap(std::deque<EditState>& from,
                                                       std::deque<EditState>& to, EditState current,
                                                       std::size_t depth);
    void Push(EditState before);

    std::size_t depth_;
    std::deque<EditState> undo_;   // oldest first
    std::deque<EditState> redo_;   // the most recently undone last
    std::optional<int> runCursor_; // where the open typing run left the cursor
};

class MessageUndo {
public:
    using Messages = std::span<CLEDMessageCon, kMessageSetCount>;

    // What a step records. Typing: a character, Backspace or Delete. Command: any other change
    // of message 1. SetCommand: a change that may replace every message of the set.
    enum class Kind : std::uint8_t { Typing, Command, SetCommand };

    // Records the change made while it lives. Only the outermost step open at a time records;
    // steps opened inside it are part of its change. A step whose bytes did not change records
    // nothing, though a command still closes the typing run.
    class Step {
    public:
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;
        ~Step();

    private:
        friend class MessageUndo;
        Step(MessageUndo& owner, Kind kind);

        MessageUndo& owner_;
        Kind kind_;
        bool outermost_;
        EditState before_;
    };

    // `messages`: the set, message 1 bound to its grid (AttachGrid) before the first step or
    // restore; they must outlive this object.
    explicit MessageUndo(Messages messages, std::size_t depth = EditHistory::kDefaultDepth);

    [[nodiscard]] Step Begin(Kind kind) { return Step(*this, kind); }

    // Put back the state before the latest step / after the latest undone step: the bytes,
    // then the font (the grid takes the focus), then the cursor. Return whether there was one.
    [[nodiscard]] bool Undo();
    [[nodiscard]] bool Redo();

    // A cursor move that the steps do not see (a mouse click) ends the typing run.
    void CloseRun() { history_.CloseRun(); }

    const EditHistory& History() const { return history_; }

private:
    EditState Capture(bool withOthers) const;
    void Restore(const EditState& state);
    static bool SameBytes(const EditState& a, const EditState& b);

    Messages messages_;
    EditHistory history_;
    int openSteps_ = 0;
};

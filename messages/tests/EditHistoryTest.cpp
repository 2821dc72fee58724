// Undo and redo of the edited message: what makes one step, what a step brings back, the set
// steps and the bounded depth.

#include "messages/EditHistory.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

using test_support::Bytes;
using test_support::DataOf;

namespace {

using Kind = MessageUndo::Kind;

// The eight messages, message 1 bound to a headless grid that has the focus, with every edit
// made inside a step as the editor window makes it.
class Editor {
public:
    explicit Editor(std::size_t depth = EditHistory::kDefaultDepth) : undo_(set_, depth) {
        BindMessageToGrid(set_[0], grid_);
        grid_.SetFocus();
    }

    void Type(std::string_view text) {
        for (const char c : text) {
            const auto step = undo_.Begin(Kind::Typing);
            grid_.TypeChar(static_cast<std::uint8_t>(c));
        }
    }
    void Key(std::uint16_t key) {
        const auto step = undo_.Begin(Kind::Typing);
        grid_.PressKey(key);
    }
    void Command(const std::function<void(Editor&)>& change, Kind kind = Kind::Command) {
        const auto step = undo_.Begin(kind);
        change(*this);
    }

    MessageUndo& Undo() { return undo_; }
    HeadlessGrid& Grid() { return grid_; }
    CLEDMessageCon& Message(int n) { return set_[static_cast<std::size_t>(n - 1)]; }
    int Cursor() const { return grid_.Row() * kGridColumns + grid_.Col(); }
    std::string Text() const {
        std::string text;
        for (int i = 0; i < kMessageCells && set_[0].GetData()[std::size_t{2} * i] != 0; ++i) {
            text += static_cast<char>(set_[0].GetData()[2 * i + 1]);
        }
        return text;
    }

private:
    std::array<CLEDMessageCon, kMessageSetCount> set_;
    HeadlessGrid grid_;
    MessageUndo undo_;
};

struct GroupingCase {
    const char* name;
    std::function<void(Editor&)> edits;
    // The text after each Ctrl+Z until nothing is left to undo; then everything is redone.
    std::vector<std::string> afterEachUndo;
};

TEST(EditHistory, StepsGroupTypingRunsAndCommandsAndSkipEditsThatChangeNothing) {
    const std::vector<GroupingCase> cases = {
        {"a typing run is one step", [](Editor& e) { e.Type("abc"); }, {""}},
        {"Backspace and Delete join a run, a cursor key ends it",
         [](Editor& e) {
             e.Type("abc");
             e.Key(kKeyBackspace);
             e.Key(kKeyLeft);
             e.Key(kKeyDelete);
             e.Type("x");
         },
         {"ab", ""}},
        {"a click starts a new step even back on the same cell",
         [](Editor& e) {
             e.Type("ab");
             e.Grid().Click(0, 0);
             e.Undo().CloseRun();
             e.Grid().Click(2, 0);
             e.Type("c");
         },
         {"ab", ""}},
        {"a command that changes nothing still ends the run",
         [](Editor& e) {
             e.Type("ab");
             e.Command([](Editor& x) { x.Message(1).SetFont(2); });
             e.Type("c");
         },
         {"ab", ""}},
        {"each command is one step",
         [](Editor& e) {
             e.Type("ab");
             e.Command([](Editor& x) { x.Message(1).InsertTimeField(); });
             e.Command([](Editor& x) { x.Message(1).SetType(1); });
             e.Type("c");
         },
         {"ab\xFF", "ab\xFF", "ab", ""}},
        {"steps opened inside a step are part of it",
         [](Editor& e) { e.Command([](Editor& x) { x.Type("xy"); }); },
         {""}},
        {"edits that change nothing record nothing",
         [](Editor& e) {
             e.Key(kKeyBackspace);
             e.Key(kKeyDelete);
             e.Command([](Editor& x) { x.Message(1).Clear(); });
         },
         {}},
    };
    for (const GroupingCase& c : cases) {
        SCOPED_TRACE(c.name);
        Editor e;
        c.edits(e);
        const std::string edited = e.Text();
        std::vector<std::string> seen;
        while (e.Undo().Undo()) {
            seen.push_back(e.Text());
        }
        EXPECT_EQ(seen, c.afterEachUndo);
        while (e.Undo().Redo()) {
        }
        EXPECT_EQ(e.Text(), edited);
    }
}

TEST(EditHistory, UndoAndRedoRestoreBytesCursorAndFontAndANewChangeDropsTheRedo) {
    Editor e;
    e.Type("abc");
    e.Key(kKeyLeft);
    e.Command([](Editor& x) { x.Message(1).SetFont(2); });
    e.Type("X");
    const Bytes edited = DataOf(e.Message(1));
    e.Command([](Editor& x) { x.Message(1).Clear(); }); // type, font and cursor all reset

    ASSERT_TRUE(e.Undo().Undo());
    EXPECT_EQ(DataOf(e.Message(1)), edited);
    EXPECT_EQ(e.Cursor(), 3);
    EXPECT_EQ(e.Message(1).GetFont(), 2);

    ASSERT_TRUE(e.Undo().Undo());
    EXPECT_EQ(e.Text(), "abc");
    EXPECT_EQ(e.Cursor(), 2);
    EXPECT_EQ(e.Message(1).GetFont(), 2); // the font chosen before "X" was typed

    ASSERT_TRUE(e.Undo().Redo());
    EXPECT_EQ(DataOf(e.Message(1)), edited);
    EXPECT_EQ(e.Cursor(), 3);

    e.Type("y");
    EXPECT_FALSE(e.Undo().History().CanRedo());
    EXPECT_FALSE(e.Undo().Redo());
    EXPECT_EQ(e.Text(), "abXyc");
}

TEST(EditHistory, SetStepsRestoreAllMessagesAndOtherStepsOnlyMessageOne) {
    Editor e;
    const auto fillAll = [](Editor& x) {
        for (int n = 1; n <= kMessageSetCount; ++n) {
            x.Message(n).GetData()[0] = 4;
            x.Message(n).GetData()[1] = static_cast<std::uint8_t>('0' + n);
        }
    };
    e.Command(fillAll, Kind::SetCommand);
    // A send: message 2 takes message 1's bytes and message 1 is emptied.
    e.Command([](Editor& x) {
        x.Message(2).LoadFromBytes(DataOf(x.Message(1)));
        x.Message(1).Clear();
    });
    EXPECT_EQ(e.Message(2).GetData()[1], '1');

    ASSERT_TRUE(e.Undo().Undo()); // the emptying: message 2 keeps what was sent
    EXPECT_EQ(e.Text(), "1");
    EXPECT_EQ(e.Message(2).GetData()[1], '1');

    ASSERT_TRUE(e.Undo().Undo()); // the set: all eight as before
    for (int n = 1; n <= kMessageSetCount; ++n) {
        EXPECT_EQ(DataOf(e.Message(n)), Bytes(kMessageSize, 0)) << "message " << n;
    }
    ASSERT_TRUE(e.Undo().Redo());
    for (int n = 3; n <= kMessageSetCount; ++n) {
        EXPECT_EQ(e.Message(n).GetData()[1], '0' + n) << "message " << n;
    }
}

TEST(EditHistory, KeepsTheLatestStepsUpToItsDepth) {
    for (const std::size_t depth : {std::size_t{1}, EditHistory::kDefaultDepth}) {
        SCOPED_TRACE(depth);
        Editor e(depth);
        const std::size_t commands = depth + 20;
        for (std::size_t i = 0; i < commands; ++i) {
            e.Command([](Editor& x) { x.Message(1).InsertSpecialChar('a'); });
        }
        std::size_t undone = 0;
        while (e.Undo().Undo()) {
            ++undone;
        }
        EXPECT_EQ(undone, depth);
        EXPECT_EQ(e.Text().size(), commands - depth);
        std::size_t redone = 0;
        while (e.Undo().Redo()) {
            ++redone;
        }
        EXPECT_EQ(redone, depth);
        EXPECT_EQ(e.Text().size(), commands);
    }
}

} // namespace

#pragma once
// Building a message from text with field markup, as `compose` and `send --text` do: TEXT
// (UTF-8) is typed into a message as the editor types it. {time}, {date} and {temp} insert the
// live fields the sign fills in, {font=N} (N = 1..5) changes the font of what follows, {{ and }}
// give literal braces. The text must exist in code page 1250 and fit in 500 cells.

#include "tools/ledsign/DeviceFiles.h"

#include <string>

namespace ledsign_tool {

struct ComposeResult {
    enum class Outcome {
        Ok,
        BadMarkup, // a field the markup does not know, an unbalanced brace: bad usage
        BadText,   // text that cannot be a message (not UTF-8, a letter the code page lacks,
                   // too long)
    } What = Outcome::Ok;
    std::string Problem; // for a failure, the reason
    std::size_t Cells = 0;
};

// Composes TEXT into `message` with `font` (1..5) for its first characters, scrolling unless
// `isStatic`.
ComposeResult ComposeMessage(const std::string& text, int font, bool isStatic,
                             MessageBytes& message);

} // namespace ledsign_tool

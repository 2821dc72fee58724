#pragma once
// Text written to a Windows console in pieces: the tool writes UTF-8 in whatever pieces the C
// library hands over, while the console takes whole characters only.

#include <cstddef>
#include <string_view>

namespace ledsign_tool {

// The length of the longest start of `bytes` that does not end inside a UTF-8 sequence: all of
// `bytes` unless its last one to three bytes begin a sequence that needs bytes still to come.
// Bytes that are no valid UTF-8 end nothing early, so they are passed on (and shown as U+FFFD)
// rather than held back for ever.
std::size_t CompleteUtf8Length(std::string_view bytes);

} // namespace ledsign_tool

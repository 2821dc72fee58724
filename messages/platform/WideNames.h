#pragma once
// UTF-8 <-> UTF-16 for the Windows wide calls (Utf8FilesWin32.cpp). Windows only.

#include <string>
#include <string_view>

// The UTF-16 form of UTF-8 `text`; empty when `text` is empty or not valid UTF-8.
std::wstring WidenUtf8(std::string_view text);

// The UTF-8 form of UTF-16 `text`; an unpaired surrogate becomes U+FFFD.
std::string NarrowToUtf8(std::wstring_view text);

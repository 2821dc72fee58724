#pragma once
// UTF-8 <-> UTF-16 for the Windows wide calls (Utf8FilesWin32.cpp), and the system's own texts
// in UTF-8. Windows only.

#include <string>
#include <string_view>

// The UTF-16 form of UTF-8 `text`; empty when `text` is empty or not valid UTF-8.
std::wstring WidenUtf8(std::string_view text);

// The UTF-8 form of UTF-16 `text`; an unpaired surrogate becomes U+FFFD.
std::string NarrowToUtf8(std::wstring_view text);

// The system's text for Windows error `code` (GetLastError, WSAGetLastError) in UTF-8, in the
// user's language, without the trailing line end; empty when the system has none. The wide call:
// the ANSI one would give the text in the ANSI code page, garbled among the UTF-8 output.
std::string WindowsErrorText(unsigned long code);

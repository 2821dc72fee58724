// Windows file names are UTF-16: UTF-8 names are converted and opened with the wide calls.

#include "preview/Utf8Files.h"
#include "preview/platform/WideNames.h"

#include <windows.h>

std::wstring WidenUtf8(std::string_view text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    // MB_ERR_INVALID_CHARS: a malformed name must fail, not open a file with U+FFFD in it.
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
    return wide;
}

std::string NarrowToUtf8(std::wstring_view text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string WindowsErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    // FORMAT_MESSAGE_ALLOCATE_BUFFER: a translated text may be longer than any fixed buffer.
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return {};
    }
    std::wstring_view view(text, length);
    while (!view.empty() && (view.back() == L'\n' || view.back() == L'\r' || view.back() == L' ')) {
        view.remove_suffix(1);
    }
    std::string result = NarrowToUtf8(view);
    LocalFree(text);
    return result;
}

std::FILE* OpenUtf8File(const char* name, const char* mode) {
    if (name == nullptr || mode == nullptr) {
        return nullptr;
    }
    const std::wstring wideName = WidenUtf8(name);
    const std::wstring wideMode = WidenUtf8(mode);
    if (wideName.empty() || wideMode.empty()) {
        return nullptr;
    }
    return _wfopen(wideName.c_str(), wideMode.c_str());
}

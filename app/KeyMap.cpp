#include "app/KeyMap.h"

#include <QKeyEvent>
#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <utility>

namespace {

// Named keys whose Windows virtual-key codes differ from their toolkit codes.
constexpr std::array<std::pair<int, std::uint16_t>, 40> kNamedKeys = {{
    {Qt::Key_Backspace, vk::Back},
    {Qt::Key_Tab, vk::Tab},
    {Qt::Key_Backtab, vk::Tab},
    {Qt::Key_Return, vk::Return},
    {Qt::Key_Enter, vk::Return},
    {Qt::Key_Shift, 16},
    {Qt::Key_Control, 17},
    {Qt::Key_Alt, 18},
    {Qt::Key_Pause, 19},
    {Qt::Key_CapsLock, 20},
    {Qt::Key_Escape, vk::Escape},
    {Qt::Key_Space, 32},
    {Qt::Key_PageUp, vk::Prior},
    {Qt::Key_PageDown, vk::Next},
    {Qt::Key_End, vk::End},
    {Qt::Key_Home, vk::Home},
    {Qt::Key_Left, vk::Left},
    {Qt::Key_Up, vk::Up},
    {Qt::Key_Right, vk::Right},
    {Qt::Key_Down, vk::Down},
    {Qt::Key_Print, 44},
    {Qt::Key_Insert, 45},
    {Qt::Key_Delete, vk::Delete},
    {Qt::Key_Meta, 91},
    {Qt::Key_Menu, 93},
    {Qt::Key_NumLock, 144},
    {Qt::Key_ScrollLock, 145},
    {Qt::Key_Semicolon, 186},
    {Qt::Key_Colon, 186},
    {Qt::Key_Equal, 187},
    {Qt::Key_Plus, 187},
    {Qt::Key_Comma, 188},
    {Qt::Key_Minus, 189},
    {Qt::Key_Period, 190},
    {Qt::Key_Slash, 191},
    {Qt::Key_QuoteLeft, 192},
    {Qt::Key_BracketLeft, 219},
    {Qt::Key_Backslash, 220},
    {Qt::Key_BracketRight, 221},
    {Qt::Key_Apostrophe, 222},
}};

bool HasIcuCodec() {
    static const bool valid = QStringEncoder("windows-1250").isValid();
    return valid;
}

// Code page 1250 bytes 0x80..0xFF as Unicode; 0 marks the bytes the code page leaves undefined.
constexpr std::array<char16_t, 128> kHighHalf = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

char EncodeWithTable(char32_t cp) {
    if (cp < 0x80) {
        return static_cast<char>(cp);
    }
    for (std::size_t i = 0; i < kHighHalf.size(); ++i) {
        if (kHighHalf[i] != 0 && kHighHalf[i] == cp) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

char EncodeWithIcu(char32_t cp) {
    // A fresh encoder per character: its error flag then tells exactly whether this one
    // character has a byte, instead of trusting the codec's own substitute byte (0x1A).
    QStringEncoder encoder("windows-1250", QStringConverter::Flag::Stateless);
    const QString one = QString::fromUcs4(&cp, 1);
    const QByteArray bytes = encoder.encode(one);
    if (encoder.hasError() || bytes.size() != 1) {
        return '?';
    }
    return bytes[0];
}

} // namespace

std::uint16_t VirtualKeyOf(int qtKey) {
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) {
        return static_cast<std::uint16_t>(qtKey);
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return static_cast<std::uint16_t>(112 + (qtKey - Qt::Key_F1));
    }
    for (const auto& [qt, code] : kNamedKeys) {
        if (qt == qtKey) {
            return code;
        }
    }
    return 0;
}

std::string CharBytesOf(const QKeyEvent& event) {
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return std::string(1, '\r');
    case Qt::Key_Escape:
        return std::string(1, '\x1b');
    case Qt::Key_Delete:
        return {};
    default:
        return ToCp1250(event.text());
    }
}

std::string ToCp1250(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    const bool icu = HasIcuCodec();
    for (const char32_t cp : text.toUcs4()) {
        out.push_back(icu ? EncodeWithIcu(cp) : EncodeWithTable(cp));
    }
    return out;
}

QString FromCp1250(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        if (u < 0x80) {
            out.append(QChar(u));
        } else {
            const char16_t c = kHighHalf[u - 0x80];
            out.append(c != 0 ? QChar(c) : QChar(QChar::ReplacementCharacter));
        }
    }
    return out;
}

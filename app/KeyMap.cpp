#include "app/KeyMap.h"

#include "messages/Cp1250.h"

#include <QKeyEvent>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
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

char EncodeWithTable(char32_t cp) {
    const auto byte = UnicodeToCp1250(cp);
    return byte ? static_cast<char>(*byte) : '?';
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

std::string TypedBytesOf(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Escape) {
        return {};
    }
    const bool ctrl = event.modifiers().testFlag(Qt::ControlModifier);
    const bool alt = event.modifiers().testFlag(Qt::AltModifier);
    if (ctrl != alt) {
        return {};
    }
    std::string bytes = CharBytesOf(event);
    if (ctrl && alt) {
        const bool printable = std::all_of(bytes.begin(), bytes.end(), [](char b) {
            return static_cast<unsigned char>(b) >= 0x20 && b != 0x7F;
        });
        if (!printable) {
            return {};
        }
    }
    return bytes;
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
        const char32_t cp = kCp1250ToUnicode[static_cast<unsigned char>(b)];
        const char32_t shown = cp == kNoCodePoint ? char32_t{0xFFFD} : cp;
        out.append(QString::fromUcs4(&shown, 1));
    }
    return out;
}

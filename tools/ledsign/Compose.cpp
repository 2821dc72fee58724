#include "tools/ledsign/Compose.h"

#include "messages/Cp1250.h"
#include "messages/HeadlessGrid.h"
#include "messages/Ledmessagecon.h"
#include "preview/Utf8Files.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace ledsign_tool {

namespace {

// One piece of the composed text.
struct Piece {
    enum class Kind { Text, Time, Date, Temperature, Font } What;
    std::string Utf8; // Text
    int Font = 0;     // Font
};

std::optional<int> ParseFontNumber(std::string_view text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '5') {
        return std::nullopt;
    }
    return text[0] - '0';
}

// Splits TEXT into literal text, fields and font changes. On a syntax error returns false and
// describes it in `error`.
bool ParseTemplate(std::string_view text, std::vector<Piece>& pieces, std::string& error) {
    std::string literal;
    auto flush = [&] {
        if (!literal.empty()) {
            pieces.push_back({Piece::Kind::Text, literal, 0});
            literal.clear();
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '}') {
            if (i + 1 < text.size() && text[i + 1] == '}') {
                literal += '}';
                ++i;
                continue;
            }
            error = "unbalanced '}' at offset " + std::to_string(i) + " (write }} for a brace)";
            return false;
        }
        if (c != '{') {
            literal += c;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '{') {
            literal += '{';
            ++i;
            continue;
        }
        const std::size_t close = text.find('}', i + 1);
        const std::size_t nextOpen = text.find('{', i + 1);
        if (close == std::string_view::npos || nextOpen < close) {
            error = "unbalanced '{' at offset " + std::to_string(i) + " (write {{ for a brace)";
            return false;
        }
        const std::string_view name = text.substr(i + 1, close - i - 1);
        flush();
        if (name == "time") {
            pieces.push_back({Piece::Kind::Time, {}, 0});
        } else if (name == "date") {
            pieces.push_back({Piece::Kind::Date, {}, 0});
        } else if (name == "temp") {
            pieces.push_back({Piece::Kind::Temperature, {}, 0});
        } else if (name.substr(0, 5) == "font=") {
            const auto font = ParseFontNumber(name.substr(5));
            if (!font) {
                error = "bad font in {" + std::string(name) + "}: fonts are 1..5";
                return false;
            }
            pieces.push_back({Piece::Kind::Font, {}, *font});
        } else {
            error =
                "unknown field {" + std::string(name) + "}: use {time}, {date}, {temp} or {font=N}";
            return false;
        }
        i = close;
    }
    flush();
    return true;
}

} // namespace

ComposeResult ComposeMessage(const std::string& text, int font, bool isStatic,
                             MessageBytes& message) {
    using Outcome = ComposeResult::Outcome;
    std::vector<Piece> pieces;
    std::string error;
    if (!ParseTemplate(text, pieces, error)) {
        return {Outcome::BadMarkup, error, 0};
    }
    // Convert all text first so that every missing character is named in one report.
    std::vector<char32_t> missing;
    std::vector<std::string> converted(pieces.size());
    std::size_t cells = 0;
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        if (pieces[p].What == Piece::Kind::Font) {
            continue;
        }
        if (pieces[p].What != Piece::Kind::Text) {
            ++cells;
            continue;
        }
        const Cp1250Conversion c = Utf8ToCp1250(pieces[p].Utf8);
        if (!c.ValidUtf8) {
            return {Outcome::BadText, "TEXT is not valid UTF-8", 0};
        }
        for (char32_t cp : c.Missing) {
            if (std::find(missing.begin(), missing.end(), cp) == missing.end()) {
                missing.push_back(cp);
            }
        }
        converted[p] = c.Bytes;
        cells += c.Bytes.size();
        // Byte 8 is the Backspace character, which the editor never inserts.
        if (c.Bytes.find('\b') != std::string::npos) {
            return {Outcome::BadText,
                    "TEXT holds a backspace character (U+0008), which a message cannot hold", 0};
        }
    }
    if (!missing.empty()) {
        std::string names;
        for (char32_t cp : missing) {
            names += (names.empty() ? "" : ", ") + std::string("'") + EncodeUtf8(cp) + "' (" +
                     CodePointName(cp) + ")";
        }
        return {Outcome::BadText, "code page 1250 has no character " + names, 0};
    }
    if (cells > static_cast<std::size_t>(kMessageCells)) {
        return {Outcome::BadText,
                "the text needs " + std::to_string(cells) + " cells; a message holds " +
                    std::to_string(kMessageCells),
                0};
    }

    HeadlessGrid grid;
    CLEDMessageCon composed;
    BindMessageToGrid(composed, grid);
    composed.SetFont(font);
    composed.SetType(isStatic ? kMessageStatic : kMessageScrolling);
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        switch (pieces[p].What) {
        case Piece::Kind::Text:
            for (const char c : converted[p]) {
                grid.TypeChar(static_cast<std::uint8_t>(c));
            }
            break;
        case Piece::Kind::Time:
            composed.InsertTimeField();
            break;
        case Piece::Kind::Date:
            composed.InsertDateField();
            break;
        case Piece::Kind::Temperature:
            composed.InsertTemperatureField();
            break;
        case Piece::Kind::Font:
            composed.SetFont(pieces[p].Font);
            break;
        }
    }
    std::memcpy(message.data(), composed.GetData(), message.size());
    return {Outcome::Ok, {}, cells};
}

} // namespace ledsign_tool

#include "i18n/modStd.h"

#include <limits>

#include "base/TalvexError.h"

namespace talvex::modStd {

std::string BarsToLineBreaks(std::string& sText) {
    std::string out;
    out.reserve(sText.size() + 8);
    for (char c : sText) {
        if (c == '|') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    sText = out;
    return sText;
}

void Increment(std::int32_t& lValue) {
    if (lValue == std::numeric_limits<std::int32_t>::max()) throw TalvexError(kErrOverflow);
    ++lValue;
}

void Decrement(std::int32_t& lValue) {
    if (lValue == std::numeric_limits<std::int32_t>::min()) throw TalvexError(kErrOverflow);
    --lValue;
}

std::string AppendText(std::string& sText, std::string_view sMore) {
    sText.append(sMore);
    return sText;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace talvex::modStd

#include "settings/SettingText.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "i18n/modStd.h"

namespace talvex {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::optional<double> ParseStoredNumber(std::string_view sText) {
    std::string text(modStd::TrimBlanks(sText));
    if (!text.empty() && text.front() == '+') {
        text.erase(0, 1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
    }
    if (text.find('.') == std::string::npos) {
        if (const auto comma = text.find(','); comma != std::string::npos) text[comma] = '.';
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::int64_t> ParseStoredInteger(std::string_view sText) {
    std::string_view text = modStd::TrimBlanks(sText);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::int16_t> ParseStoredInt16(std::string_view sText) {
    const auto value = ParseStoredInteger(sText);
    if (!value || *value < std::numeric_limits<std::int16_t>::min() ||
        *value > std::numeric_limits<std::int16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(*value);
}

std::optional<std::int32_t> ParseStoredInt32(std::string_view sText) {
    const auto value = ParseStoredInteger(sText);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

std::optional<bool> ParseStoredBool(std::string_view sText) {
    const std::string_view text = modStd::TrimBlanks(sText);
    if (EqualsNoCase(text, "true")) return true;
    if (EqualsNoCase(text, "false")) return false;
    const auto number = ParseStoredNumber(text);
    if (!number) return std::nullopt;
    return *number != 0;
}

std::optional<std::int32_t> ParseStoredTwips(std::string_view sText) {
    const auto number = ParseStoredNumber(sText);
    if (!number) return std::nullopt;
    const double rounded = std::round(*number);
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rounded);
}

std::string StoredBoolText(bool bValue) {
    return bValue ? "True" : "False";
}

}  // namespace talvex

#include "ui/AdvancedOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "i18n/FormatMsg.h"
#include "i18n/TextIds.h"
#include "settings/WindowPlacement.h"

namespace talvex::advanced {

namespace {

// How much of a restored window must lie on the screen, so the user can still reach
// its title bar: 20 pixels at 96 dpi each way.
constexpr std::int32_t kMinVisibleTwips = 300;

// A stored number of twips: a decimal text, maybe with a fraction (it was written as a
// single-precision value), surrounded by nothing but blanks.
std::optional<std::int32_t> ParseTwips(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    // Some locales write the decimal separator as a comma.
    std::string plain(text);
    std::replace(plain.begin(), plain.end(), ',', '.');
    double value = 0;
    const char* end = plain.data() + plain.size();
    const auto [ptr, ec] = std::from_chars(plain.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    if (value < -1e9 || value > 1e9) return std::nullopt;
    return static_cast<std::int32_t>(std::lround(value));
}

std::string NumberText(std::int32_t value) {
    return std::to_string(value);
}

// Idle must stay above Below Normal; only Idle ever moves.
void RaiseIdle(ThresholdTexts& texts) {
    const std::int64_t below = LeadingNumber(texts.sBelowNormal);
    if (below + 1 > LeadingNumber(texts.sIdle)) {
        texts.sIdle = std::to_string(below + 1);
    }
}

}  // namespace

bool AcceptThresholdKey(std::int32_t keyAscii) {
    return keyAscii == 8 || (keyAscii >= '0' && keyAscii <= '9');
}

std::int32_t LeadingNumber(std::string_view text) {
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min<std::int64_t>(value * 10 + (c - '0'),
                                       std::numeric_limits<std::int32_t>::max());
    }
    return static_cast<std::int32_t>(value);
}

ThresholdTexts LeaveBelowNormal(ThresholdTexts texts) {
    if (LeadingNumber(texts.sBelowNormal) > kBelowNormalMax) {
        texts.sBelowNormal = NumberText(kBelowNormalMax);
    }
    RaiseIdle(texts);
    return texts;
}

ThresholdTexts LeaveIdle(ThresholdTexts texts) {
    if (LeadingNumber(texts.sIdle) > kIdleMax) texts.sIdle = NumberText(kIdleMax);
    RaiseIdle(texts);
    return texts;
}

Thresholds CapForApply(ThresholdTexts& texts) {
    texts = LeaveIdle(LeaveBelowNormal(texts));
    // After both caps Below Normal is at most 90 and Idle at most 100 (91 when raised).
    return Thresholds{static_cast<std::int16_t>(LeadingNumber(texts.sBelowNormal)),
                      static_cast<std::int16_t>(LeadingNumber(texts.sIdle))};
}

std::vector<std::int32_t> SliderScale(std::int32_t intervalMs, std::int32_t current) {
    static constexpr std::int32_t kCoarseSeconds[] = {25,  30,  40,  50,  60,  90,
                                                      120, 180, 240, 300, 400, 500};
    std::vector<std::int32_t> seconds;
    for (std::int32_t s = 2; s <= 20; ++s) seconds.push_back(s);
    seconds.insert(seconds.end(), std::begin(kCoarseSeconds), std::end(kCoarseSeconds));
    const std::int64_t interval = std::max(1, intervalMs);
    std::vector<std::int32_t> scale{kSliderMin, kSliderMax};
    for (const std::int32_t s : seconds) {
        const std::int64_t ticks = (std::int64_t{s} * 1000 + interval / 2) / interval;
        scale.push_back(
            static_cast<std::int32_t>(std::clamp<std::int64_t>(ticks, kSliderMin, kSliderMax)));
    }
    if (current >= kSliderMin && current <= kSliderMax) scale.push_back(current);
    std::sort(scale.begin(), scale.end());
    scale.erase(std::unique(scale.begin(), scale.end()), scale.end());
    return scale;
}

std::int32_t SliderPosition(const std::vector<std::int32_t>& scale, std::int32_t ticks) {
    std::int32_t best = 0;
    for (std::size_t i = 0; i < scale.size(); ++i) {
        const auto distance = [ticks](std::int32_t value) {
            return std::abs(std::int64_t{value} - ticks);
        };
        if (distance(scale[i]) < distance(scale[static_cast<std::size_t>(best)])) {
            best = static_cast<std::int32_t>(i);
        }
    }
    return best;
}

std::int64_t SliderSeconds(std::int32_t sliderValue, std::int32_t intervalMs) {
    // Wide enough for any slider value and interval, so the text is never stale.
    return static_cast<std::int64_t>(sliderValue) * intervalMs / 1000;
}

std::string SliderText(const StringTable& strings, std::int32_t sliderValue,
                       std::int32_t intervalMs) {
    const std::string text = strings.Lang(TextId::HangUpSliderText);
    return FormatMsg(text, MsgArgs{SliderSeconds(sliderValue, intervalMs)});
}

std::string PositionText(std::int32_t twips) {
    return NumberText(twips);
}

std::optional<platform::TwipsRect> RestorePosition(
    const SavedPosition& saved, const std::vector<platform::TwipsRect>& screens) {
    const auto left = ParseTwips(saved.sLeft);
    const auto top = ParseTwips(saved.sTop);
    const auto width = ParseTwips(saved.sWidth);
    const auto height = ParseTwips(saved.sHeight);
    if (!left || !top || !width || !height || *width <= 0 || *height <= 0) return std::nullopt;
    return placement::FitOnScreens({*left, *top, *width, *height}, screens,
                                   {kMinVisibleTwips, kMinVisibleTwips});
}

}  // namespace talvex::advanced

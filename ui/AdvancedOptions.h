#pragma once
// The value rules of the Advanced window, apart from its controls: the key filter and
// caps of the two CPU thresholds, the slider's range and text, and the check of a saved
// window position.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/StringTable.h"
#include "platform/UiTypes.h"

namespace talvex::advanced {

// The hang-up tolerance, in refresh ticks: the range the slider offers.
inline constexpr std::int32_t kSliderMin = 4;
inline constexpr std::int32_t kSliderMax = 1000;
// A tick mark at every position of the slider.
inline constexpr std::int32_t kSliderTicks = 1;

// Highest thresholds a field keeps, in percent.
inline constexpr std::int32_t kBelowNormalMax = 90;
inline constexpr std::int32_t kIdleMax = 100;

/// Whether a typed character may enter a threshold field: Backspace and digits only.
bool AcceptThresholdKey(std::int32_t keyAscii);

/// The leading decimal number of a field's text; 0 for an empty text or one that does
/// not start with a digit. Numbers too big for 32 bits stay at the 32-bit maximum.
std::int32_t LeadingNumber(std::string_view text);

/// The texts of the two threshold fields.
struct ThresholdTexts {
    std::string sBelowNormal;
    std::string sIdle;
    bool operator==(const ThresholdTexts&) const = default;
};

/// Leaving the Below Normal field: at most 90, then Idle raised to Below Normal + 1.
ThresholdTexts LeaveBelowNormal(ThresholdTexts texts);
/// Leaving the Idle field: at most 100, then Idle raised to Below Normal + 1.
ThresholdTexts LeaveIdle(ThresholdTexts texts);

/// The thresholds that Apply hands to the running program.
struct Thresholds {
    std::int16_t iBelowNormalCpuUsage = 0;
    std::int16_t iIdleCpuUsage = 0;
};

/// Both caps, as if each field had been left, so Apply from the keyboard gives what a
/// click gives; the texts are brought in line with the values applied.
Thresholds CapForApply(ThresholdTexts& texts);

/// The tolerances (in refresh ticks) at the slider's positions, for the given refresh
/// interval: one a second from 2 to 20 s, where a choice matters, then coarser steps up
/// to 500 s. Always from kSliderMin to kSliderMax, rising, and holding `current` when
/// that lies in the range, so that opening and applying the window changes nothing.
std::vector<std::int32_t> SliderScale(std::int32_t intervalMs, std::int32_t current);
/// The position on the scale nearest to a tolerance.
std::int32_t SliderPosition(const std::vector<std::int32_t>& scale, std::int32_t ticks);

/// The slider's value in seconds at the given refresh interval, the fraction dropped.
std::int64_t SliderSeconds(std::int32_t sliderValue, std::int32_t intervalMs);
/// The text under the slider (text id 57 with the seconds in place of %1).
std::string SliderText(const StringTable& strings, std::int32_t sliderValue,
                       std::int32_t intervalMs);

/// A saved window position: left, top, width and height in twips.
struct SavedPosition {
    std::string sLeft, sTop, sWidth, sHeight;
};

/// The stored text form of a position value (a plain decimal number).
std::string PositionText(std::int32_t twips);

/// The position to restore, or nullopt when a value is not a number or the size is not
/// positive (the window then keeps its default placement). A window with less than 20
/// pixels on every screen, or its top above its screen, comes back onto the nearest
/// screen; its size is capped to that screen.
std::optional<platform::TwipsRect> RestorePosition(const SavedPosition& saved,
                                                   const std::vector<platform::TwipsRect>& screens);

}  // namespace talvex::advanced

// The Advanced window's value rules: threshold keys and caps, slider text, saved
// position.
#include <gtest/gtest.h>

#include <algorithm>

#include "ui/AdvancedOptions.h"

namespace talvex::advanced {
namespace {

TEST(AdvancedOptionsTest, KeyFilterTakesDigitsAndBackspaceOnly) {
    for (char c = '0'; c <= '9'; ++c) EXPECT_TRUE(AcceptThresholdKey(c)) << c;
    EXPECT_TRUE(AcceptThresholdKey(8));
    for (std::int32_t code : {0, 3, 13, 22, 24, 32, 43, 45, 46, 47, 58, 65, 97, 0xE4}) {
        EXPECT_FALSE(AcceptThresholdKey(code)) << code;
    }
}

TEST(AdvancedOptionsTest, LeadingNumberReadsTheFrontAndNeverOverflows) {
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber("42"), 42);
    EXPECT_EQ(LeadingNumber("007"), 7);
    EXPECT_EQ(LeadingNumber("12ab3"), 12);
    EXPECT_EQ(LeadingNumber("99999999999999999999"), 2147483647);
}

TEST(AdvancedOptionsTest, LeavingAFieldCapsItAndOnlyEverRaisesIdle) {
    // 5 into Below Normal while Idle holds 3.
    EXPECT_EQ(LeaveBelowNormal({"5", "3"}), (ThresholdTexts{"5", "6"}));
    EXPECT_EQ(LeaveBelowNormal({"95", "40"}), (ThresholdTexts{"90", "91"}));
    EXPECT_EQ(LeaveBelowNormal({"95", "99"}), (ThresholdTexts{"90", "99"}));
    EXPECT_EQ(LeaveIdle({"10", "150"}), (ThresholdTexts{"10", "100"}));
    // Idle below Below Normal moves up, never Below Normal down.
    EXPECT_EQ(LeaveIdle({"50", "20"}), (ThresholdTexts{"50", "51"}));
    // Empty counts as 0 on both sides.
    EXPECT_EQ(LeaveBelowNormal({"", ""}), (ThresholdTexts{"", "1"}));
    EXPECT_EQ(LeaveIdle({"", "0"}), (ThresholdTexts{"", "1"}));
    // Texts that are already fine stay exactly as typed.
    EXPECT_EQ(LeaveIdle({"010", "040"}), (ThresholdTexts{"010", "040"}));
}

TEST(AdvancedOptionsTest, ApplyCapsBothFieldsWhateverHadTheFocus) {
    ThresholdTexts texts{"95", "150"};
    Thresholds values = CapForApply(texts);
    EXPECT_EQ(values.iBelowNormalCpuUsage, 90);
    EXPECT_EQ(values.iIdleCpuUsage, 100);
    EXPECT_EQ(texts, (ThresholdTexts{"90", "100"}));

    texts = {"99999999999", "70000"};  // beyond 16 bits: no overflow, just the caps
    values = CapForApply(texts);
    EXPECT_EQ(values.iBelowNormalCpuUsage, 90);
    EXPECT_EQ(values.iIdleCpuUsage, 100);

    texts = {"", ""};
    values = CapForApply(texts);
    EXPECT_EQ(values.iBelowNormalCpuUsage, 0);
    EXPECT_EQ(values.iIdleCpuUsage, 1);
}

TEST(AdvancedOptionsTest, SliderTextShowsWholeSeconds) {
    StringTable strings;
    EXPECT_EQ(SliderText(strings, 20, 250),
              "If an application has a cpu usage over 95% for over 5s boosting is turned off.");
    EXPECT_EQ(SliderSeconds(8, 500), 4);
    EXPECT_EQ(SliderSeconds(7, 500), 3);  // the fraction is dropped
    // A very slow refresh rate gives the right number instead of an overflow.
    EXPECT_EQ(SliderSeconds(1000, 2147483647), 2147483647);
    strings.ClearStringTable();
    strings.Store(57, "Abschaltung nach %1 s");
    EXPECT_EQ(SliderText(strings, 1000, 10), "Abschaltung nach 10 s");
}

TEST(AdvancedOptionsTest, SliderScaleStepsBySecondsFromTwoToTwentyWithinTheStoredRange) {
    for (const std::int32_t interval : {500, 250, 100, 1000, 10}) {
        for (const std::int32_t current : {8, 37, 3, 5000}) {
            SCOPED_TRACE(std::to_string(interval) + " ms, " + std::to_string(current));
            const auto scale = SliderScale(interval, current);
            ASSERT_GE(scale.size(), 2u);
            EXPECT_EQ(scale.front(), kSliderMin);
            EXPECT_EQ(scale.back(), kSliderMax);
            EXPECT_TRUE(std::is_sorted(scale.begin(), scale.end()));
            EXPECT_EQ(std::adjacent_find(scale.begin(), scale.end()), scale.end());
            if (current >= kSliderMin && current <= kSliderMax) {
                EXPECT_EQ(scale[SliderPosition(scale, current)], current);
            }
            // Every whole second from 2 to 20 that the range holds is one position,
            // reached from the one before in a single step.
            std::vector<std::int64_t> seconds;
            for (const std::int32_t ticks : scale)
                seconds.push_back(SliderSeconds(ticks, interval));
            for (std::int64_t s = 2; s <= 20; ++s) {
                if (s * 1000 < std::int64_t{kSliderMin} * interval ||
                    s * 1000 > std::int64_t{kSliderMax} * interval) {
                    continue;
                }
                const auto at = std::find(seconds.begin(), seconds.end(), s);
                ASSERT_NE(at, seconds.end()) << s << " s";
                if (s > 2 && at != seconds.begin()) {
                    EXPECT_EQ(*(at - 1), s - 1) << s << " s";
                }
            }
        }
    }
    // At the usual 500 ms: few enough positions that one of them is a few pixels wide.
    EXPECT_LE(SliderScale(500, 8).size(), 40u);
}

TEST(AdvancedOptionsTest, SavedPositionIsRestoredOntoAScreen) {
    const std::int32_t w = 1920 * 15, h = 1080 * 15;
    const std::vector<platform::TwipsRect> one{{0, 0, w, h}};
    auto restore = [&](SavedPosition p) { return RestorePosition(p, one); };
    EXPECT_EQ(restore({"1500", "1200", "11190", "7335"}),
              (platform::TwipsRect{1500, 1200, 11190, 7335}));
    // Single-precision texts, a comma as decimal separator and blanks around.
    EXPECT_EQ(restore({"1500.4", " 1200 ", "11190,6", "7335"}),
              (platform::TwipsRect{1500, 1200, 11191, 7335}));
    // Not a number, or no size: default placement.
    for (const SavedPosition& p : std::vector<SavedPosition>{{"left", "1200", "11190", "7335"},
                                                             {"1500", "", "11190", "7335"},
                                                             {"1500", "1200", "1e400", "7335"},
                                                             {"1500", "1200", "nan", "7335"},
                                                             {"15x", "1200", "11190", "7335"},
                                                             {"1500", "1200", "0", "7335"}}) {
        EXPECT_EQ(restore(p), std::nullopt) << p.sLeft << " " << p.sWidth;
    }
    // Off the screen (a monitor unplugged, negative values included): centred on it
    // along the axis that is off.
    const std::int32_t midLeft = w / 2 - 11190 / 2, midTop = h / 2 - 7335 / 2;
    EXPECT_EQ(restore({"40000", "1200", "11190", "7335"}),
              (platform::TwipsRect{midLeft, 1200, 11190, 7335}));
    EXPECT_EQ(restore({"-11100", "1200", "11190", "7335"}),
              (platform::TwipsRect{midLeft, 1200, 11190, 7335}));
    EXPECT_EQ(restore({"1500", "-600", "11190", "7335"}),
              (platform::TwipsRect{1500, midTop, 11190, 7335}));
    EXPECT_EQ(restore({"1500", "20000", "11190", "7335"}),
              (platform::TwipsRect{1500, midTop, 11190, 7335}));
    EXPECT_EQ(restore({PositionText(-15), "0", "100", "100"}),
              (platform::TwipsRect{w / 2 - 50, 0, 100, 100}));
    // Partly off the right edge, but reachable: stays.
    EXPECT_EQ(restore({"25000", "1200", "11190", "7335"}),
              (platform::TwipsRect{25000, 1200, 11190, 7335}));
    // Larger than the screen: capped to it.
    EXPECT_EQ(restore({"0", "0", "99999", "99999"}), (platform::TwipsRect{0, 0, w, h}));
    EXPECT_EQ(PositionText(1500), "1500");
}

TEST(AdvancedOptionsTest, SavedPositionOnASecondScreenStaysAndGoesToTheNearestWhenItIsGone) {
    // A 1280 x 1024 screen left of the main one, its top 300 pixels lower.
    const platform::TwipsRect main{0, 0, 1920 * 15, 1080 * 15};
    const platform::TwipsRect left{-1280 * 15, 300 * 15, 1280 * 15, 1024 * 15};
    const SavedPosition onLeft{"-15000", "6000", "11190", "7335"};
    EXPECT_EQ(RestorePosition(onLeft, {main, left}),
              (platform::TwipsRect{-15000, 6000, 11190, 7335}));
    // Taller than the smaller screen it stands on: capped to that one.
    EXPECT_EQ(RestorePosition({"-15000", "4500", "11190", "20000"}, {main, left}),
              (platform::TwipsRect{-15000, 4500, 11190, 1024 * 15}));
    // The left screen unplugged: back on the main one.
    EXPECT_EQ(RestorePosition(onLeft, {main}),
              (platform::TwipsRect{1920 * 15 / 2 - 11190 / 2, 6000, 11190, 7335}));
    // Far below and right of both: the nearest is the main screen.
    const auto far = RestorePosition({"90000", "90000", "11190", "7335"}, {left, main});
    ASSERT_TRUE(far.has_value());
    EXPECT_GE(far->left, 0);
    EXPECT_LE(far->left + far->width, main.width);
    EXPECT_LE(far->top + far->height, main.height);
}

}  // namespace
}  // namespace talvex::advanced

// The hang-up warning dialog on the fake UI: its texts, its answers, the wait that
// keeps the program running, and every way the wait can end.
#include <gtest/gtest.h>

#include "platform/fake/FakeUi.h"
#include "ui/frmWarning.h"

namespace talvex {
namespace {

using namespace platform;

class frmWarningTest : public ::testing::Test {
  protected:
    Control& Ctl(const std::string& name) { return ui.Ctl("frmWarning", name); }
    // While the dialog waits: tick the boxes as asked, then press OK.
    void AnswerWith(bool check1, bool check2) {
        // Each wait ends at its first round, so every round belongs to a new dialog.
        ui.onDoEvents = [this, check1, check2] {
            if (check1) Ctl("Check1").UserClick();
            if (check2) Ctl("Check2").UserClick();
            Ctl("OKButton").UserClick();
        };
    }

    FakeUi ui;
    StringTable strings;
    frmWarning dialog{ui, strings};
};

TEST_F(frmWarningTest, ShowsMessageAndDefaultTextsWithoutALanguage) {
    std::string caption, label, check1, check2;
    bool visible = false;
    ui.onDoEvents = [&] {
        const Form* form = ui.FindForm("frmWarning");
        caption = form->Caption();
        visible = form->Visible();
        label = Ctl("Label1").Caption();
        check1 = Ctl("Check1").Caption();
        check2 = Ctl("Check2").Caption();
        Ctl("OKButton").UserClick();
    };
    bool noBoost = true;
    dialog.Display("Found current app at critical CPU usage: x.", noBoost);
    EXPECT_EQ(caption, "Warning");
    EXPECT_TRUE(visible);
    EXPECT_EQ(label, "Found current app at critical CPU usage: x.");
    EXPECT_EQ(check1, "Do noch check this app again");
    EXPECT_EQ(check2, "Do not display this message again for this app");
    // Unloaded after the answer.
    EXPECT_EQ(ui.FindForm("frmWarning"), nullptr);
    EXPECT_EQ(dialog.form(), nullptr);
    EXPECT_FALSE(dialog.Waiting());
}

TEST_F(frmWarningTest, AnswersFollowTheBoxesInAllFourCombinations) {
    struct Case {
        bool check1, check2;
    };
    for (const Case c :
         {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
        AnswerWith(c.check1, c.check2);
        bool noBoost = !c.check1;  // the incoming value must not matter
        const bool result = dialog.Display("msg", noBoost);
        EXPECT_EQ(noBoost, c.check1) << c.check1 << c.check2;
        EXPECT_EQ(result, c.check2) << c.check1 << c.check2;
    }
}

TEST_F(frmWarningTest, BoxesStartUncheckedOnEveryCall) {
    AnswerWith(true, true);
    bool noBoost = false;
    dialog.Display("first", noBoost);
    std::int32_t check1 = -1, check2 = -1;
    ui.onDoEvents = [&] {
        check1 = Ctl("Check1").Value();
        check2 = Ctl("Check2").Value();
        Ctl("OKButton").UserClick();
    };
    EXPECT_FALSE(dialog.Display("second", noBoost));
    EXPECT_EQ(check1, 0);
    EXPECT_EQ(check2, 0);
    EXPECT_FALSE(noBoost);
}

TEST_F(frmWarningTest, GreyedBoxCountsAsUnchecked) {
    ui.onDoEvents = [this] {
        Ctl("Check1").SetValue(2);
        Ctl("Check2").SetValue(2);
        Ctl("OKButton").UserClick();
    };
    bool noBoost = true;
    EXPECT_FALSE(dialog.Display("msg", noBoost));
    EXPECT_FALSE(noBoost);
}

TEST_F(frmWarningTest, WaitKeepsTimersAndPostedWorkRunning) {
    auto timer = ui.CreateTimer();
    int ticks = 0;
    timer->OnTimer = [&] { ++ticks; };
    timer->SetEnabled(true);
    bool posted = false;
    ui.Post([&] { posted = true; });
    int rounds = 0;
    ui.onDoEvents = [&] {
        ui.FireTimers();
        if (++rounds == 3) Ctl("OKButton").UserClick();
    };
    bool noBoost = false;
    dialog.Display("msg", noBoost);
    EXPECT_EQ(ticks, 3);
    EXPECT_TRUE(posted);
    EXPECT_EQ(ui.DoEventsCalls(), 3);
}

TEST_F(frmWarningTest, ClosingByOtherMeansEndsTheWaitWithTheBoxesAtThatMoment) {
    ui.onDoEvents = [this] {
        Ctl("Check2").UserClick();
        ui.FindForm("frmWarning")->RequestClose(CloseReason::UserClose);
    };
    bool noBoost = true;
    EXPECT_TRUE(dialog.Display("msg", noBoost));
    EXPECT_FALSE(noBoost);
    EXPECT_FALSE(dialog.Waiting());

    // The program ends while the dialog waits.
    ui.onDoEvents = [this] {
        Ctl("Check1").UserClick();
        dialog.Unload();
    };
    EXPECT_FALSE(dialog.Display("msg", noBoost));
    EXPECT_TRUE(noBoost);
}

TEST_F(frmWarningTest, ACallDuringTheWaitOpensNoSecondDialogAndBothReturn) {
    bool innerResult = true, innerNoBoost = true;
    int formsDuringInner = 0;
    bool asked = false;
    ui.onDoEvents = [&] {
        if (asked) return;
        asked = true;
        // A tick during the wait asks again: no second dialog, an answer at once.
        innerResult = dialog.Display("second", innerNoBoost);
        formsDuringInner = ui.FindForm("frmWarning") != nullptr ? 1 : 0;
        EXPECT_EQ(Ctl("Label1").Caption(), "first");
        Ctl("Check1").UserClick();
        Ctl("OKButton").UserClick();
    };
    bool noBoost = false;
    EXPECT_FALSE(dialog.Display("first", noBoost));
    EXPECT_TRUE(noBoost);  // the user's answer goes to the call whose message was shown
    EXPECT_FALSE(innerResult);
    EXPECT_FALSE(innerNoBoost);
    EXPECT_EQ(formsDuringInner, 1);
    EXPECT_EQ(ui.FindForm("frmWarning"), nullptr);
}

TEST_F(frmWarningTest, TranslatedTextsComeFromTheTable) {
    strings.ClearStringTable();
    strings.Store(53, "Warnung");
    strings.Store(52, "Dieses Programm nicht mehr prüfen");
    std::string caption, check1, check2;
    ui.onDoEvents = [&] {
        caption = ui.FindForm("frmWarning")->Caption();
        check1 = Ctl("Check1").Caption();
        check2 = Ctl("Check2").Caption();
        Ctl("OKButton").UserClick();
    };
    bool noBoost = false;
    dialog.Display("msg", noBoost);
    EXPECT_EQ(caption, "Warnung");
    EXPECT_EQ(check1, "Dieses Programm nicht mehr prüfen");
    EXPECT_EQ(check2, "Do not display this message again for this app");
}

}  // namespace
}  // namespace talvex

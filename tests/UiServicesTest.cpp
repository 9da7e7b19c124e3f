// The shared rules of the UI services, on the fake backend: handlers run only on a
// change, option groups, list selection, menus, modal boxes, timers and lifetimes.
#include <gtest/gtest.h>

#include "platform/fake/FakeUi.h"

namespace talvex::platform {
namespace {

struct Counter {
    int n = 0;
    std::function<void()> Fn() {
        return [this] { ++n; };
    }
};

class UiServicesTest : public ::testing::Test {
  protected:
    FakeUi ui;
    std::unique_ptr<Form> form = ui.CreateForm("frmTest");
};

TEST_F(UiServicesTest, CheckBoxRunsItsHandlerOnlyWhenTheValueChanges) {
    Control& box = form->Add(ControlKind::CheckBox, "chk", {0, 0, 100, 100});
    Counter clicks;
    box.OnClick = clicks.Fn();
    box.SetValue(0);
    EXPECT_EQ(clicks.n, 0);
    box.SetValue(1);
    box.SetValue(1);
    EXPECT_EQ(clicks.n, 1);
    EXPECT_TRUE(box.Checked());
    box.SetValue(2);  // greyed is not checked
    EXPECT_FALSE(box.Checked());
    EXPECT_EQ(clicks.n, 2);
    box.UserClick();  // a click on a greyed box checks it
    EXPECT_EQ(box.Value(), 1);
    box.UserClick();
    EXPECT_EQ(box.Value(), 0);
    EXPECT_EQ(clicks.n, 4);
}

TEST_F(UiServicesTest, DisabledOrHiddenControlsIgnoreTheUser) {
    Control& box = form->Add(ControlKind::CheckBox, "chk", {});
    Counter clicks;
    box.OnClick = clicks.Fn();
    box.SetEnabled(false);
    box.UserClick();
    box.SetEnabled(true);
    box.SetVisible(false);
    box.UserClick();
    EXPECT_EQ(clicks.n, 0);
    box.SetValue(1);  // the program still can
    EXPECT_EQ(clicks.n, 1);
}

TEST_F(UiServicesTest, OptionButtonsOfAGroupExcludeEachOther) {
    std::vector<Control*> opts;
    std::vector<int> clicked;
    for (std::int16_t i = 0; i < 3; ++i) {
        opts.push_back(&form->Add(ControlKind::OptionButton, "Option1", {}, i));
        opts.back()->OnClick = [&clicked, i] { clicked.push_back(i); };
    }
    Control& other = form->Add(ControlKind::OptionButton, "Other", {});
    other.SetValue(1);
    opts[1]->SetValue(1);
    opts[2]->UserClick();
    opts[2]->UserClick();  // already selected: nothing
    EXPECT_EQ(clicked, (std::vector<int>{1, 2}));
    EXPECT_EQ(opts[1]->Value(), 0);
    EXPECT_EQ(opts[2]->Value(), 1);
    EXPECT_EQ(other.Value(), 1);  // a group of its own
    EXPECT_EQ(form->Find("Option1", 2), opts[2]);
    EXPECT_EQ(form->Find("Option1"), nullptr);
}

TEST_F(UiServicesTest, ListSelectionFollowsItemsAndRunsClickOnChange) {
    Control& list = form->Add(ControlKind::ListBox, "List1", {});
    Counter clicks;
    list.OnClick = clicks.Fn();
    for (const char* item : {"a", "b", "c"}) list.AddItem(item);
    list.UserSelect(2);
    list.UserSelect(2);
    list.UserSelect(7);  // no such item
    EXPECT_EQ(clicks.n, 1);
    list.RemoveItem(0);
    EXPECT_EQ(list.ListIndex(), 1);
    EXPECT_EQ(list.List(1), "c");
    list.RemoveItem(1);
    EXPECT_EQ(list.ListIndex(), -1);
    list.SetListIndex(5);
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.List(9), "");
}

TEST_F(UiServicesTest, SliderStaysInRangeAndTextBoxReportsChanges) {
    Control& slider = form->Add(ControlKind::Slider, "Slider1", {});
    Counter changes;
    slider.OnChange = changes.Fn();
    slider.SetRange(1, 20);
    slider.UserSlide(50);
    EXPECT_EQ(slider.Value(), 20);
    slider.SetRange(1, 10);  // pulls the value in and reports it
    EXPECT_EQ(slider.Value(), 10);
    EXPECT_EQ(changes.n, 3);

    Control& text = form->Add(ControlKind::TextBox, "Text1", {});
    Counter typed;
    text.OnChange = typed.Fn();
    text.UserType("abc");
    text.UserType("abc");
    EXPECT_EQ(typed.n, 1);
    EXPECT_EQ(text.Text(), "abc");
}

TEST_F(UiServicesTest, CloseRequestsAskTheFormFirst) {
    std::vector<CloseReason> asked;
    form->OnQueryUnload = [&](bool& cancel, CloseReason reason) {
        asked.push_back(reason);
        cancel = reason == CloseReason::UserClose;
    };
    Counter unloads;
    form->OnUnload = unloads.Fn();
    form->Show();
    ui.SetMainForm(form.get());
    form->RequestClose(CloseReason::UserClose);
    EXPECT_TRUE(form->Loaded());
    ui.RequestEnd(CloseReason::TaskManager);
    EXPECT_FALSE(form->Loaded());
    EXPECT_FALSE(form->Visible());
    form->Close();  // already closed: not asked again
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(unloads.n, 1);
}

TEST_F(UiServicesTest, PopupMenusChooseOnlyUsableItems) {
    MenuItem menu("mnuTop");
    Counter a, b;
    menu.Add("mnuA", "A").OnClick = a.Fn();
    menu.AddSeparator("mnuSep");
    MenuItem& sub = menu.Add("mnuSub", "Sub");
    sub.Add("mnuB", "B").OnClick = b.Fn();
    menu.Find("mnuA")->enabled = false;

    ui.ChooseInNextPopup("mnuA");
    ui.PopupMenu(menu, menu.Find("mnuA"));
    ui.ChooseInNextPopup("mnuB");
    ui.PopupMenu(menu, nullptr);
    ui.ChooseInNextPopup("mnuSub");
    ui.PopupMenu(menu, nullptr);
    EXPECT_EQ(a.n, 0);
    EXPECT_EQ(b.n, 1);
    ASSERT_EQ(ui.Popups().size(), 3u);
    EXPECT_EQ(ui.Popups()[0].defaultItem, "mnuA");
    EXPECT_EQ(ui.Popups()[0].chosen, "");
    EXPECT_EQ(ui.Popups()[1].chosen, "mnuB");
    EXPECT_EQ(ui.Popups()[2].chosen, "");
}

TEST_F(UiServicesTest, ModalBoxesTakeScriptedAnswersAndDefaultToNoOrCancel) {
    ui.AnswerMsgBox(vbYes);
    EXPECT_EQ(ui.MsgBox("Again?", vbYesNo | vbQuestion, "Talvex"), vbYes);
    EXPECT_EQ(ui.MsgBox("Again?", vbYesNo | vbQuestion, "Talvex"), vbNo);
    EXPECT_EQ(ui.MsgBox("Note", vbInformation, ""), vbOK);
    ASSERT_EQ(ui.MsgBoxes().size(), 3u);
    EXPECT_EQ(ui.MsgBoxes()[2].style, vbInformation);

    ui.AnswerInputBox("editor");
    EXPECT_EQ(ui.InputBox("Which Program?", "Talvex", ""), "editor");
    EXPECT_EQ(ui.InputBox("Which Program?", "Talvex", "x"), "");
    EXPECT_EQ(ui.InputBoxes()[1].defaultText, "x");
}

TEST_F(UiServicesTest, TimersFireOnlyWhileEnabledAndNotAfterTheEnd) {
    auto timer = ui.CreateTimer();
    Counter ticks;
    timer->OnTimer = ticks.Fn();
    ui.FireTimers();
    timer->SetEnabled(true);
    ui.FireTimers();
    timer->SetInterval(0);
    EXPECT_EQ(timer->Interval(), 1);
    ui.EndProgram(0);
    ui.FireTimers();
    EXPECT_EQ(ticks.n, 1);
    timer.reset();
    EXPECT_TRUE(ui.Timers().empty());
}

TEST_F(UiServicesTest, DoEventsRunsPostedWorkAndTheTestsHook) {
    std::vector<int> order;
    ui.Post([&] {
        order.push_back(1);
        ui.Post([&] { order.push_back(2); });
    });
    ui.onDoEvents = [&] { order.push_back(3); };
    ui.DoEvents();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(UiServicesTest, TrayIconDeliversEventsOnlyWhileShown) {
    auto tray = ui.CreateTrayIcon();
    std::vector<std::int32_t> events;
    tray->OnTrayMouseEvent = [&](std::int32_t m) { events.push_back(m); };
    FakeTrayIcon* fake = ui.Tray();
    ASSERT_NE(fake, nullptr);
    fake->Mouse(WM_RBUTTONUP);
    form->SetIcon("shuttle");
    tray->AddIcon(*form, 0, "Talvex 1.1.0");
    fake->Mouse(WM_LBUTTONDBLCLK);
    tray->RemoveIcon();
    fake->Mouse(WM_RBUTTONUP);
    EXPECT_EQ(events, (std::vector<std::int32_t>{WM_LBUTTONDBLCLK}));
    EXPECT_EQ(fake->CurrentIcon(), "shuttle");
    tray.reset();
    EXPECT_EQ(ui.Tray(), nullptr);
}

TEST_F(UiServicesTest, FormsMayOutliveTheFakeUi) {
    std::unique_ptr<Form> survivor;
    {
        FakeUi shortLived;
        survivor = shortLived.CreateForm("frmLate");
        EXPECT_EQ(shortLived.FindForm("frmLate"), survivor.get());
    }
    survivor->Add(ControlKind::Label, "Label1", {});
    survivor.reset();  // must not touch the fake UI that is gone
    SUCCEED();
}

}  // namespace
}  // namespace talvex::platform

// The Controller pages against the simulated device: the variant and its
// status line, the sliders and their numbers, Default, ReInit and Refresh.
#include "Messages.h"
#include "controller/ModelTable.h"
#include "ui/ControllerPage.h"
#include "ui/SettingsTestSupport.h"

using namespace settings_test;

namespace {

constexpr int kSliderIds[] = {1084, 1069, 1067, 1086, 1071, 1126};

HWND Page()
{
    return SettingsControllerPage();
}

int Position(int slider)
{
    return static_cast<int>(::SendDlgItemMessageA(Page(), slider, TBM_GETPOS, 0, 0));
}

class ControllerPageTest : public SettingsFixture {};

TEST_F(ControllerPageTest, VariantAndStatusLineFollowTheIdentification)
{
    struct Case {
        int hwId, major, minor;
        int model;
        size_t sliders;
        const char* status;
    };
    const Case cases[] = {
        {2, 1, 25, kControllerModelZmr01, 5, "Controller info: HW Id: 2 - SW Ver: 1.25"},
        {5, 1, 30, -1, 6, "Controller info: HW Id: 5 - SW Ver: 1.30"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hwId);
        ASSERT_NO_FATAL_FAILURE(Connect(c.hwId, c.major, c.minor));
        if (c.model >= 0) {
            EXPECT_EQ(App().controllerModel, c.model);
        }
        size_t sliders = 0;
        for (int id : kSliderIds)
            sliders += ::GetDlgItem(Page(), id) != nullptr ? 1 : 0;
        EXPECT_EQ(sliders, c.sliders);
        EXPECT_EQ(ItemText(Page(), 1076), c.status);
        // Ranges from the model, values from the controller.
        const ControllerModel* model = ControllerModelInfo(App().controllerModel);
        ASSERT_NE(model, nullptr);
        const CtrlParamInfo* press = model->Param(CtrlParam::PressDelay);
        EXPECT_EQ(::SendDlgItemMessageA(Page(), 1084, TBM_GETRANGEMIN, 0, 0), press->minimum);
        EXPECT_EQ(::SendDlgItemMessageA(Page(), 1084, TBM_GETRANGEMAX, 0, 0), press->maximum);
        EXPECT_EQ(Position(1084), Controller()->PressDelay);
        EXPECT_EQ(ItemText(Page(), 1089), std::to_string(Controller()->PressDelay));
        TearDown();
        SetUp();
    }
}

TEST_F(ControllerPageTest, NumbersFollowTheSliderAndStoreTakesThePositions)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    const HWND deglitch = ::GetDlgItem(Page(), 1067);
    ::SendMessageA(deglitch, TBM_SETPOS, TRUE, 10);
    ::SendMessageA(deglitch, WM_KEYDOWN, VK_RIGHT, 0); // arrow: one step, label at once
    EXPECT_EQ(Position(1067), 11);
    EXPECT_EQ(ItemText(Page(), 1073), "11");
    ::SendMessageA(::GetDlgItem(Page(), 1126), TBM_SETPOS, TRUE, 5);
    ::SendMessageA(Page(), WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 5),
                   reinterpret_cast<LPARAM>(::GetDlgItem(Page(), 1126)));
    EXPECT_EQ(ItemText(Page(), 1081), "5");

    ::SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(CMD_PAGE_STORE, 0), 0);
    EXPECT_EQ(Controller()->Deglitch, 11);
    EXPECT_EQ(Controller()->ChargeWS, 5);
    EXPECT_TRUE(sim.Received().empty());
}

TEST_F(ControllerPageTest, DamagedLimitsAndOutOfRangeValues)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    ZmrCtrlVirt* c = Controller();
    c->MinPressDelay = 50; // inverted
    c->MaxPressDelay = 3;
    c->MinFilter = 0;
    c->MaxFilter = 70000; // beyond 16 bits
    c->PressDelay = 99;
    c->Threshold = 77;
    CreateControllerPage(Settings());
    EXPECT_EQ(::SendDlgItemMessageA(Page(), 1084, TBM_GETRANGEMIN, 0, 0), 1);
    EXPECT_EQ(::SendDlgItemMessageA(Page(), 1084, TBM_GETRANGEMAX, 0, 0), 20);
    EXPECT_EQ(::SendDlgItemMessageA(Page(), 1071, TBM_GETRANGEMAX, 0, 0), 60);
    EXPECT_EQ(Position(1084), 20);
    EXPECT_EQ(ItemText(Page(), 1089), "20");
    ::SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(CMD_PAGE_STORE, 0), 0);
    EXPECT_EQ(c->PressDelay, 20);
    EXPECT_EQ(c->Threshold, 77); // not on the ZMR01 page
}

TEST_F(ControllerPageTest, DefaultResetsTheObjectsAndReloadsEveryPage)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    Controller()->PressDelay = 17;
    ::SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(CMD_PAGE_RELOAD, 0), 0);
    ASSERT_EQ(Position(1084), 17);
    PageCommandCounter counter;
    ::SendMessageA(Page(), WM_COMMAND, MAKEWPARAM(1085, BN_CLICKED), 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(counter.Count(i, CMD_PAGE_RELOAD), 1) << i;
    EXPECT_EQ(Controller()->PressDelay, 2);
    EXPECT_EQ(Position(1084), 2);
    EXPECT_TRUE(sim.Received().empty());
}

TEST_F(ControllerPageTest, ReInitAcknowledgedThenAnnouncedThenAgain)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20, {}, 500));
    ControllerPageReInit();
    EXPECT_EQ(App().reInitBusy.load(), 1);
    EXPECT_EQ(CountCode(sim.Received(), 0x87), 1u);
    // Pending restart: neither a second request nor a refresh.
    ControllerPageReInit();
    ControllerPageRefresh();
    EXPECT_EQ(CountCode(sim.Received(), 0x87), 1u);
    EXPECT_EQ(CountCode(sim.Received(), 0x01), 0u);

    PumpUntil([] { return App().reInitBusy.load() == 0; }, 5000);
    ASSERT_EQ(App().reInitBusy.load(), 0);
    EXPECT_EQ(CountCode(sim.Received(), 0x01), 1u); // the message window identified it
    ControllerPageReInit();
    EXPECT_EQ(CountCode(sim.Received(), 0x87), 2u);
    PumpUntil([] { return App().reInitBusy.load() == 0; }, 5000);
    EXPECT_EQ(App().reInitBusy.load(), 0);
    CloseInfoBoxes();
}

TEST_F(ControllerPageTest, ReInitWithoutAnswerBreaksTheStatusLine)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20, {0x87}));
    ModalBoxCloser closer;
    ControllerPageReInit();
    ASSERT_EQ(closer.seen().size(), 1u);
    EXPECT_EQ(closer.seen()[0].text.rfind(
                  "No response for the dispatched command. Communication has been broken.", 0),
              0u);
    EXPECT_EQ(ItemText(Page(), 1076), "The communication is broken.");
    EXPECT_EQ(App().ident.HwId, 0);
    EXPECT_EQ(App().reInitBusy.load(), 0);
}

TEST_F(ControllerPageTest, ReInitNeverAnnouncedIsReleasedByTheTimeOut)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20, {}, 60000));
    ControllerPageReInit();
    ASSERT_EQ(App().reInitBusy.load(), 1);
    ::SendMessageA(Settings(), WM_TIMER, kReInitTimeoutTimerId, 0);
    EXPECT_EQ(App().reInitBusy.load(), 0);
    ControllerPageRefresh();
    EXPECT_EQ(CountCode(sim.Received(), 0x01), 1u);
}

TEST_F(ControllerPageTest, RefreshFailuresKeepTheIdentificationOrReportTheRead)
{
    // Identification unanswered: the status line keeps the old one.
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    ASSERT_TRUE(sim.Command("silent 1"));
    ControllerPageRefresh();
    EXPECT_EQ(App().ident.HwId, 2);
    EXPECT_EQ(ItemText(Page(), 1076), "Controller info: HW Id: 2 - SW Ver: 1.20");
    EXPECT_EQ(CountCode(sim.Received(), 0x02), 0u); // no read without identification

    // One parameter unanswered: read reported (modal on ZMR01), the rest kept.
    ASSERT_TRUE(sim.Command("unsilent 1"));
    ASSERT_TRUE(sim.Command("silent 3"));
    ASSERT_TRUE(sim.Command("ident 2 1 21"));
    ASSERT_TRUE(sim.Command("param 2 9"));
    ModalBoxCloser closer;
    ControllerPageRefresh();
    ASSERT_EQ(closer.seen().size(), 1u);
    EXPECT_EQ(closer.seen()[0].text.rfind(
                  "While configuration was reading from the controller an error occurred.", 0),
              0u);
    EXPECT_EQ(ItemText(Page(), 1076), "Controller info: HW Id: 2 - SW Ver: 1.21");
    EXPECT_EQ(Controller()->Deglitch, 9);
    EXPECT_EQ(Position(1067), 9);
}

} // namespace

// The trigger port: finding and opening it, its packet, the edge latches of
// the poll and what the operator is told when it fails.
#include <gtest/gtest.h>

#include "instrument/trigger_port.h"
#include "link_test_support.h"

namespace orvik {
namespace {

using testing::SimulatedStation;

class TriggerPortTest : public ::testing::Test {
  protected:
    TriggerPortTest() : trigger_(station_.port, station_.prompts) {
        trigger_.SetListener(&listener_);
    }
    void OpenFirst() {
        std::vector<std::string> paths;
        ASSERT_EQ(trigger_.FindTriggerDevices(paths), 1);
        ASSERT_TRUE(trigger_.OpenTrigger(paths[0]));
    }
    // One tick with the inputs pressed as given.
    std::vector<std::string> Tick(bool input1, bool input2) {
        input1 ? station_.sim.PressInput(1) : station_.sim.ReleaseInput(1);
        input2 ? station_.sim.PressInput(2) : station_.sim.ReleaseInput(2);
        listener_.events.clear();
        trigger_.TriggerPoll();
        return listener_.events;
    }

    SimulatedStation station_;
    testing::TriggerRecorder listener_;
    CTriggerPort trigger_;
};

using Events = std::vector<std::string>;

TEST_F(TriggerPortTest, FindsThePortAndOpensItExclusively) {
    std::vector<std::string> paths{"stale"};
    EXPECT_EQ(trigger_.FindTriggerDevices(paths), 1);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], sim::SimulatedDriverPort::TriggerPath());
    EXPECT_TRUE(trigger_.OpenTrigger(paths[0]));
    const RecordedCall& open = station_.port.Calls().back();
    EXPECT_EQ(open.kind, RecordedCall::Kind::Open);
    EXPECT_FALSE(open.overlapped);
    // Not shared: a second opener is turned away.
    EXPECT_EQ(station_.sim.Open(paths[0], OpenOptions{false, false}).error,
              os_error::kSharingViolation);
    EXPECT_TRUE(trigger_.CloseTrigger());
    EXPECT_FALSE(trigger_.CloseTrigger());
}

TEST_F(TriggerPortTest, PollSendsTheTriggerPacket) {
    OpenFirst();
    station_.port.Clear();
    Tick(false, false);
    const auto requests = testing::RequestsWithCode(station_.port, CTriggerPort::kTriggerRequest);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].input, (std::vector<std::uint8_t>{8, 0x12, 0x0B, 0, 0, 0, 0, 0}));
    EXPECT_EQ(requests[0].output[0], 0x03);  // both inputs idle
}

TEST_F(TriggerPortTest, EachPressFiresOnceAndAReleaseRearms) {
    OpenFirst();
    EXPECT_EQ(Tick(false, false), Events{});
    EXPECT_EQ(Tick(true, false), Events{"run"});
    EXPECT_EQ(Tick(true, false), Events{});  // held: no repeat
    EXPECT_TRUE(trigger_.Input1Latched());
    EXPECT_EQ(Tick(false, false), Events{});
    EXPECT_FALSE(trigger_.Input1Latched());
    EXPECT_EQ(Tick(true, false), Events{"run"});
    EXPECT_EQ(Tick(false, true), Events{"record"});
    EXPECT_EQ(Tick(false, true), Events{});
    EXPECT_EQ(Tick(false, false), Events{});
    EXPECT_EQ(Tick(false, true), Events{"record"});
}

TEST_F(TriggerPortTest, BothInputsAtOnceFireNeitherAndChangeNoLatch) {
    OpenFirst();
    EXPECT_EQ(Tick(true, true), Events{});
    EXPECT_FALSE(trigger_.Input1Latched());
    EXPECT_FALSE(trigger_.Input2Latched());
    EXPECT_EQ(Tick(true, false), Events{"run"});
    // Still pressed with the other joining: a reply of 0x00 leaves the latch set.
    EXPECT_EQ(Tick(true, true), Events{});
    EXPECT_TRUE(trigger_.Input1Latched());
    EXPECT_EQ(Tick(true, false), Events{});
}

TEST_F(TriggerPortTest, PressOfOneWhileTheOtherIsHeldStillFires) {
    OpenFirst();
    EXPECT_EQ(Tick(false, true), Events{"record"});
    EXPECT_EQ(Tick(true, false), Events{"run"});
}

TEST_F(TriggerPortTest, SendingOnAClosedPortTellsTheOperator) {
    EXPECT_FALSE(trigger_.SendTriggerPacket());
    ASSERT_EQ(station_.prompts.messages.size(), 1u);
    EXPECT_EQ(station_.prompts.messages[0].text, "Device not open!");
    EXPECT_EQ(station_.prompts.messages[0].caption, "SendPacket Failed!");
    EXPECT_EQ(station_.prompts.messages[0].icon, PromptIcon::Error);
}

TEST_F(TriggerPortTest, FailedSendStopsThePollBeforeTheMessageAndClosesThePort) {
    OpenFirst();
    station_.sim.FailTriggerRequests(true);
    class OrderedListener : public testing::TriggerRecorder {
      public:
        explicit OrderedListener(testing::RecordingPrompts& prompts) : prompts_(prompts) {}
        void StopTriggerPoll() override {
            messagesWhenStopped = prompts_.messages.size();
            TriggerRecorder::StopTriggerPoll();
        }
        std::size_t messagesWhenStopped = 99;

      private:
        testing::RecordingPrompts& prompts_;
    } ordered(station_.prompts);
    trigger_.SetListener(&ordered);

    trigger_.TriggerPoll();
    EXPECT_EQ(ordered.events, Events{"stop"});
    EXPECT_EQ(ordered.messagesWhenStopped, 0u);
    ASSERT_EQ(station_.prompts.messages.size(), 1u);
    EXPECT_EQ(station_.prompts.messages[0].caption,
              "Failed to send USBIODS packet! Timer Disabled");
    EXPECT_EQ(station_.prompts.messages[0].text, station_.sim.ErrorText(os_error::kGeneralFailure));
    EXPECT_FALSE(trigger_.IsOpen());
}

TEST_F(TriggerPortTest, OpenFailureShowsTheSystemsText) {
    EXPECT_FALSE(trigger_.OpenTrigger("\\\\?\\nowhere"));
    ASSERT_EQ(station_.prompts.messages.size(), 1u);
    EXPECT_EQ(station_.prompts.messages[0].caption, "Failed to open Device");
    EXPECT_EQ(station_.prompts.messages[0].text, station_.sim.ErrorText(os_error::kFileNotFound));
    EXPECT_FALSE(trigger_.IsOpen());
}

TEST_F(TriggerPortTest, RefusedCloseShowsTheSystemsText) {
    OpenFirst();
    station_.sim.FailNextClose();
    EXPECT_FALSE(trigger_.CloseTrigger());
    ASSERT_EQ(station_.prompts.messages.size(), 1u);
    EXPECT_EQ(station_.prompts.messages[0].caption, "Failed to close Device");
    EXPECT_FALSE(trigger_.IsOpen());
}

TEST_F(TriggerPortTest, NoPortFoundLeavesTheListEmpty) {
    station_.sim.SetTriggerPortPresent(false);
    std::vector<std::string> paths{"stale"};
    EXPECT_EQ(trigger_.FindTriggerDevices(paths), 0);
    EXPECT_TRUE(paths.empty());
}

}  // namespace
}  // namespace orvik

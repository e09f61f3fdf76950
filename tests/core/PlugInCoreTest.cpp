#include "plugin/PlugInCore.h"

#include <gtest/gtest.h>

#include <optional>

#include "hostkit/Rig.h"

namespace corvane::testing {
namespace {

TEST(PlugIn, NameIsCorvaneEveryTime) {
  EXPECT_EQ(PlugInCore::Name(), "Corvane");
  EXPECT_EQ(PlugInCore::Name(), "Corvane");
}

TEST(PlugIn, EveryEventIsShownButOnly15RequestsAStop) {
  Rig rig;
  rig.plugIn.CCDCamera_Notify(3, rig.env);
  EXPECT_FALSE(rig.plugIn.StopRequested());
  rig.plugIn.CCDCamera_Notify(-1, rig.env);
  EXPECT_FALSE(rig.plugIn.StopRequested());
  rig.plugIn.CCDCamera_Notify(-32768, rig.env);
  rig.plugIn.CCDCamera_Notify(15, rig.env);
  EXPECT_TRUE(rig.plugIn.StopRequested());
  EXPECT_EQ(rig.env.messages,
            (std::vector<std::string>{"EventCode 3 received", "EventCode -1 received",
                                      "EventCode -32768 received", "EventCode 15 received"}));
}

TEST(PlugIn, TheStopIsSetOnlyAfterTheMessageIsDismissed) {
  Rig rig;
  std::optional<bool> stopWhileShown;  // read while the message box is shown
  rig.script.onEntry = [&](const std::string& entry) {
    if (entry == "env.Message(EventCode 15 received)") stopWhileShown = rig.plugIn.StopRequested();
  };
  rig.plugIn.CCDCamera_Notify(15, rig.env);
  EXPECT_EQ(stopWhileShown, std::optional<bool>(false));
  EXPECT_TRUE(rig.plugIn.StopRequested());
}

}  // namespace
}  // namespace corvane::testing

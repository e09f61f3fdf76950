// A guiding run end to end against the scripted host: what crosses the boundary (host calls in
// order with their argument types, messages, the guide log's bytes) for each way a run goes.
#include <gtest/gtest.h>

#include <algorithm>

#include "hostkit/Rig.h"

namespace corvane::testing {
namespace {

using Calls = std::vector<std::string>;

// Settings texts: one star, MinSN 3, MinStars 1, 2 s exposures, limits 0.01 and 2 s.
const std::vector<std::string> kOneStar{"1", "3", "1", "2", "0.01", "2", "15"};

std::size_t Position(const std::vector<std::string>& entries, const std::string& entry,
                     std::size_t from = 0) {
  const auto it =
      std::find(entries.begin() + static_cast<std::ptrdiff_t>(from), entries.end(), entry);
  return static_cast<std::size_t>(it - entries.begin());
}

bool Contains(const std::vector<std::string>& entries, const std::string& entry) {
  return Position(entries, entry) < entries.size();
}

// The worked example: a star picked at (100, 200) is found at (102, 199): Xoff 2, Yoff -1.
struct WorkedExample : Rig {
  WorkedExample() {
    Settings(kOneStar);
    script.clicks = {{100.4, 200.6}};
    script.centroids = {{100.0, 200.0, 40.0}, {102.0, 199.0, 40.0}};
    StopAfterCycles(1);
  }
};

TEST(GuideRun, OneCycleOfTheWorkedExampleCallsTheHostInThisOrder) {
  WorkedExample rig;
  rig.DoModal();
  EXPECT_EQ(rig.script.timeline, (Calls{
                                     "app.create",
                                     "env.AskInitialExposure",
                                     "dialog.OK",
                                     "camera.create",
                                     "camera.LinkEnabled=true",
                                     "camera.LinkEnabled",
                                     "camera.DisableAutoShutdown=true",
                                     "app.TelescopeConnected=true",
                                     "app.TelescopeConnected",
                                     "camera.EventMask=32768",
                                     "camera.GuiderExpose(6)",
                                     "camera.GuiderRunning",
                                     "env.AskGuideSettings",
                                     "dialog.OK",
                                     "app.Documents",
                                     "docs.Count",
                                     "docs.Item(1)",
                                     "doc1.DisplayName",
                                     "doc1.PointerReady",
                                     "doc1.PointerDown",
                                     "doc1.PointerDown",
                                     "doc1.PointerX",
                                     "doc1.PointerY",
                                     "doc1.PointInformation(100, 201)",
                                     "env.CreateGuideLog",
                                     "log.Write",
                                     "log.Flush",
                                     // the guide cycle
                                     "camera.LinkEnabled",
                                     "camera.GuiderExpose(2)",
                                     "camera.GuiderRunning",
                                     "app.Documents",
                                     "docs.Count",
                                     "docs.Item(1)",
                                     "doc1.DisplayName",
                                     "doc1.PointInformation(100, 200)",
                                     "camera.GuiderAngle",
                                     "camera.GuiderDeclination",
                                     "camera.GuiderReverseX",
                                     "camera.GuiderAggressiveness",
                                     "camera.GuiderXSpeed",
                                     "camera.GuiderAggressiveness",
                                     "camera.GuiderYSpeed",
                                     "log.Write",
                                     "log.Flush",
                                     "camera.GuiderOutputEnables",
                                     "camera.GuiderMove(0, &Variant(Double 0.2))",
                                     "camera.GuiderMoving",
                                     "camera.GuiderOutputEnables",
                                     "camera.GuiderOutputEnables",
                                     "camera.GuiderOutputEnables",
                                     "camera.GuiderMove(3, Single 0.1)",
                                     "camera.GuiderMoving",
                                     "camera.GuiderAggressiveness",
                                     // aggressiveness 0: the next cycle head stops
                                     "log.Close",
                                 }));
  EXPECT_EQ(rig.env.logBytes,
            "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\",\"Xpos1\",\"Ypos1\",\"Xoff1\","
            "\"Yoff1\",\"SN1\",\"\"\r\n"
            "102,199,2,-1,0.2,-0.1,102,199,2,-1,40,\"\"\r\n");
  EXPECT_TRUE(rig.env.messages.empty());
  // The host objects are released at the end: guider image, documents, camera, application
  // (after the collection and image of start-up, replaced in the cycle).
  EXPECT_EQ(rig.script.releases, (Calls{"docs", "doc1", "doc1", "docs", "camera", "app"}));
}

TEST(GuideRun, ExposureAndPulseWaitsSleepAndLetTheHostRunBetweenReads) {
  WorkedExample rig;
  rig.script.guiderRunning.queue = {true, true, false, true, false};
  rig.script.guiderMoving.queue = {true, false, false};
  rig.DoModal();
  const auto& t = rig.script.timeline;
  const std::size_t expose = Position(t, "camera.GuiderExpose(6)");
  EXPECT_EQ(
      std::vector<std::string>(t.begin() + static_cast<std::ptrdiff_t>(expose),
                               t.begin() + static_cast<std::ptrdiff_t>(expose) + 8),
      (Calls{"camera.GuiderExpose(6)", "camera.GuiderRunning", "env.Sleep100ms", "env.LetHostRun",
             "camera.GuiderRunning", "env.Sleep100ms", "env.LetHostRun", "camera.GuiderRunning"}));
  const std::size_t move = Position(t, "camera.GuiderMove(0, &Variant(Double 0.2))");
  EXPECT_EQ(std::vector<std::string>(t.begin() + static_cast<std::ptrdiff_t>(move),
                                     t.begin() + static_cast<std::ptrdiff_t>(move) + 5),
            (Calls{"camera.GuiderMove(0, &Variant(Double 0.2))", "camera.GuiderMoving",
                   "env.Sleep100ms", "env.LetHostRun", "camera.GuiderMoving"}));
  EXPECT_EQ(rig.script.Count("env.WaitForInput"), 0u);
}

TEST(GuideRun, ClickWaitsWaitForInputWithoutSleepingAndTakeEachPressOnce) {
  Rig rig;
  rig.Settings({"2", "3", "1", "2", "0.01", "2", "15"});
  rig.script.pointerReady.queue = {0.0, 1.0, 1.0, 1.0};
  // Pick 1: not ready, then ready and up, then down. Pick 2: still down, then up, then down.
  rig.script.pointerDown = {false, false, false, true, true, false, true};
  rig.script.clicks = {{10.0, 20.0}, {30.0, 40.0}};
  rig.StopAfterCycles(1);
  rig.DoModal();
  const Calls picks = rig.script.Entries("doc1.P");
  EXPECT_EQ(picks,
            (Calls{"doc1.PointerReady", "doc1.PointerDown", "doc1.PointerReady", "doc1.PointerDown",
                   "doc1.PointerDown", "doc1.PointerDown", "doc1.PointerX", "doc1.PointerY",
                   "doc1.PointInformation(10, 20)", "doc1.PointerReady", "doc1.PointerDown",
                   "doc1.PointerReady", "doc1.PointerDown", "doc1.PointerDown", "doc1.PointerX",
                   "doc1.PointerY", "doc1.PointInformation(30, 40)",
                   // the guide cycle
                   "doc1.PointInformation(10, 20)", "doc1.PointInformation(30, 40)"}));
  EXPECT_EQ(rig.script.Count("env.WaitForInput"), 3u);
  EXPECT_EQ(rig.script.Count("env.Sleep100ms"), 0u);
}

// --- The eight orderly ends

TEST(GuideRunEnds, CancellingTheFirstDialogEndsQuietlyWithoutACamera) {
  Rig rig;
  rig.env.initialExposureShowings = {{{false, {}}}};
  rig.DoModal();
  EXPECT_EQ(rig.script.HostCalls(), (Calls{"app.create"}));
  EXPECT_TRUE(rig.env.messages.empty());
  EXPECT_EQ(rig.env.logsCreated, 0);
  EXPECT_EQ(rig.script.releases, (Calls{"app"}));
}

TEST(GuideRunEnds, ACameraRefusingTheLinkIsReportedAndNothingElseIsSet) {
  Rig rig;
  rig.script.linkEnabled.queue = {false};
  rig.DoModal();
  EXPECT_EQ(rig.script.HostCalls(), (Calls{"app.create", "camera.create", "camera.LinkEnabled=true",
                                           "camera.LinkEnabled"}));
  EXPECT_EQ(rig.env.messages, (Calls{"Failed to start camera."}));
  EXPECT_EQ(rig.env.logsCreated, 0);
  EXPECT_EQ(rig.script.releases, (Calls{"camera", "app"}));
}

TEST(GuideRunEnds, ATelescopeRefusingToConnectIsReportedBeforeAnyExposure) {
  Rig rig;
  rig.script.telescopeConnected.queue = {false};
  rig.DoModal();
  const Calls calls = rig.script.HostCalls();
  EXPECT_EQ(calls.back(), "app.TelescopeConnected");
  EXPECT_TRUE(Contains(calls, "camera.DisableAutoShutdown=true"));
  EXPECT_FALSE(Contains(calls, "camera.EventMask=32768"));
  EXPECT_EQ(rig.env.messages, (Calls{"Failed to connect to telescope."}));
  EXPECT_EQ(rig.env.logsCreated, 0);
}

TEST(GuideRunEnds, CancellingTheSetupDialogEndsAfterTheFirstExposure) {
  Rig rig;
  rig.env.guideSetupShowings = {{{false, {}}}};
  rig.script.guiderRunning.queue = {true, false};
  rig.DoModal();
  const Calls calls = rig.script.HostCalls();
  EXPECT_EQ(calls.back(), "camera.GuiderRunning");
  EXPECT_EQ(rig.script.Count("camera.GuiderRunning"), 2u);  // the exposure completed
  EXPECT_TRUE(rig.env.messages.empty());
  EXPECT_EQ(rig.env.logsCreated, 0);
}

TEST(GuideRunEnds, WithoutADocumentNamedExactlyAutoguiderImageNoStarIsPicked) {
  Rig rig;
  rig.Settings(kOneStar);
  rig.script.documents.queue = {{"autoguider image", "Autoguider Image ", "Image"}};
  rig.DoModal();
  const Calls calls = rig.script.HostCalls();
  EXPECT_EQ(std::vector<std::string>(calls.end() - 8, calls.end()),
            (Calls{"app.Documents", "docs.Count", "docs.Item(1)", "doc1.DisplayName",
                   "docs.Item(2)", "doc2.DisplayName", "docs.Item(3)", "doc3.DisplayName"}));
  EXPECT_TRUE(rig.env.messages.empty());
  EXPECT_EQ(rig.env.logsCreated, 0);
}

TEST(GuideRunEnds, NoDocumentsAtAllIsTheSameEnd) {
  Rig rig;
  rig.Settings(kOneStar);
  rig.script.documents.queue = {{}};
  rig.DoModal();
  EXPECT_EQ(rig.script.HostCalls().back(), "docs.Count");
  EXPECT_EQ(rig.env.logsCreated, 0);
}

TEST(GuideRunEnds, AStopEventDuringAGuideExposureCompletesTheCycleThenEnds) {
  WorkedExample rig;
  rig.script.guiderAggressiveness.queue.clear();  // no stop from the host this time
  rig.Event15At("camera.GuiderRunning", 1);       // the first guide exposure
  rig.DoModal();
  EXPECT_EQ(rig.env.messages, (Calls{"EventCode 15 received"}));
  const auto& t = rig.script.timeline;
  // The cycle measures, writes its row and issues its pulses; then the log is closed and no
  // further exposure starts.
  EXPECT_EQ(rig.LogLines().size(), 2u);
  EXPECT_TRUE(Contains(t, "camera.GuiderMove(3, Single 0.1)"));
  EXPECT_EQ(rig.script.Count("camera.GuiderExpose(2)"), 1u);
  EXPECT_EQ(t.back(), "log.Close");
  EXPECT_EQ(rig.script.HostCalls().back(), "camera.GuiderAggressiveness");
}

TEST(GuideRunEnds, AStopEventDuringStartUpIsDiscarded) {
  for (const char* during : {"camera.GuiderRunning", "doc1.PointerDown", "env.AskGuideSettings"}) {
    WorkedExample rig;
    rig.StopAfterCycles(2);
    rig.script.centroids.push_back({102.0, 199.0, 40.0});
    rig.Event15At(during);
    rig.DoModal();
    EXPECT_EQ(rig.env.messages, (Calls{"EventCode 15 received"})) << during;
    EXPECT_EQ(rig.LogLines().size(), 3u) << during;  // header and two cycles
    EXPECT_EQ(rig.script.Count("camera.GuiderExpose(2)"), 2u) << during;
  }
}

TEST(GuideRunEnds, AStopEventBeforeTheRunHasNoEffect) {
  WorkedExample rig;
  rig.plugIn.CCDCamera_Notify(15, rig.env);
  rig.DoModal();
  EXPECT_EQ(rig.LogLines().size(), 2u);
  EXPECT_EQ(rig.script.Count("camera.GuiderExpose(2)"), 1u);
}

TEST(GuideRunEnds, AggressivenessZeroEndsTheRunAfterItsCycle) {
  WorkedExample rig;
  rig.StopAfterCycles(3);
  rig.DoModal();
  EXPECT_EQ(rig.LogLines().size(), 4u);
  EXPECT_EQ(rig.script.Count("camera.GuiderExpose(2)"), 3u);
  EXPECT_EQ(rig.script.HostCalls().back(), "camera.GuiderAggressiveness");
  EXPECT_FALSE(rig.env.logOpen);
  EXPECT_TRUE(rig.plugIn.StopRequested());
}

TEST(GuideRunEnds, ALostCameraLinkIsReportedAtTheNextCycleHead) {
  WorkedExample rig;
  rig.script.guiderAggressiveness.queue.clear();
  rig.script.linkEnabled.queue = {true, true, false};
  rig.DoModal();
  EXPECT_EQ(rig.env.messages, (Calls{"Camera disconnected."}));
  EXPECT_EQ(rig.script.HostCalls().back(), "camera.LinkEnabled");
  EXPECT_EQ(rig.script.Count("camera.GuiderExpose(2)"), 1u);
  EXPECT_EQ(rig.LogLines().size(), 2u);
  EXPECT_FALSE(rig.env.logOpen);
  EXPECT_EQ(rig.script.timeline.back(), "log.Close");
}

TEST(GuideRunEnds, AGuiderImageGoneAfterAnExposureEndsSilentlyWithoutItsRow) {
  WorkedExample rig;
  rig.script.guiderAggressiveness.queue.clear();
  rig.script.documents.queue = {{"Autoguider Image"}, {"Autoguider Image"}, {"Other"}};
  rig.DoModal();
  EXPECT_TRUE(rig.env.messages.empty());
  EXPECT_EQ(rig.script.Count("camera.GuiderExpose(2)"), 2u);
  EXPECT_EQ(rig.LogLines().size(), 2u);  // the header and the first cycle only
  EXPECT_FALSE(rig.env.logOpen);
  EXPECT_EQ(rig.script.HostCalls().back(), "doc1.DisplayName");
}

TEST(GuideRunEnds, ARunTimeFailureClosesTheLogAndReachesTheCaller) {
  WorkedExample rig;
  rig.script.guiderXSpeed.queue = {0.0};
  try {
    rig.DoModal();
    FAIL() << "the run should have failed";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Kind(), FailureKind::DivisionByZero);
    EXPECT_EQ(failure.Description(), "Division by zero");
  }
  // The cycle stops at the division: no row, no pulse, no further host call.
  EXPECT_EQ(rig.script.HostCalls().back(), "camera.GuiderXSpeed");
  EXPECT_EQ(rig.LogLines().size(), 1u);
  EXPECT_FALSE(rig.env.logOpen);
  EXPECT_TRUE(rig.env.messages.empty());
  EXPECT_EQ(rig.script.releases.back(), "app");
}

TEST(GuideRunEnds, ALogThatCannotBeCreatedEndsTheRunBeforeGuiding) {
  WorkedExample rig;
  rig.env.failCreateLog = true;
  EXPECT_THROW(rig.DoModal(), RunFailure);
  EXPECT_EQ(rig.script.Count("camera.GuiderExpose(2)"), 0u);
}

TEST(GuideRunEnds, AFailedLogWriteEndsTheRunWithTheLogClosed) {
  WorkedExample rig;
  rig.env.failLogWriteAt = 1;  // the first data line
  try {
    rig.DoModal();
    FAIL();
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Kind(), FailureKind::File);
  }
  EXPECT_EQ(rig.script.Count("camera.GuiderOutputEnables"), 0u);
  EXPECT_FALSE(rig.env.logOpen);
}

TEST(GuideRun, ASecondRunStartsAFreshLog) {
  WorkedExample rig;
  rig.script.linkEnabled.queue = {true, true, false};
  rig.script.guiderAggressiveness.queue.clear();
  rig.DoModal();
  ASSERT_EQ(rig.env.messages, (Calls{"Camera disconnected."}));
  rig.Settings({"2", "3", "1", "2", "0.01", "2", "15"});
  rig.StopAfterCycles(1);
  rig.DoModal();
  EXPECT_EQ(rig.env.logsCreated, 2);
  const auto lines = rig.LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ','), 16);  // two star groups
}

TEST(GuideRun, SeveralGuiderImagesUseTheOneWithTheLowestIndex) {
  WorkedExample rig;
  rig.script.documents.Set({"Other", "Autoguider Image", "Autoguider Image"});
  rig.DoModal();
  EXPECT_FALSE(Contains(rig.script.HostCalls(), "docs.Item(3)"));
  EXPECT_TRUE(Contains(rig.script.HostCalls(), "doc2.PointInformation(100, 201)"));
  EXPECT_FALSE(Contains(rig.script.HostCalls(), "doc1.PointerReady"));
}

// --- Measurement and tracking

TEST(GuideRunMeasurement, PositionsAreRoundedHalfToEvenWhenPassedToTheHost) {
  Rig rig;
  rig.Settings(kOneStar);
  rig.script.clicks = {{12.5, 13.5}};
  rig.script.centroids = {{10.5, 11.5, 40.0}, {11.5, 10.5, 40.0}};
  rig.StopAfterCycles(2);
  rig.DoModal();
  EXPECT_EQ(rig.script.Entries("doc1.PointInformation"),
            (Calls{"doc1.PointInformation(12, 14)", "doc1.PointInformation(10, 12)",
                   "doc1.PointInformation(12, 10)"}));
}

TEST(GuideRunMeasurement, TheReferenceIsTheRefinedPositionAndTheTrackingFollowsTheStar) {
  WorkedExample rig;
  rig.StopAfterCycles(3);
  rig.script.centroids.push_back({103.0, 198.0, 40.0});  // cycle 2
  rig.script.centroids.push_back({103.0, 198.0, 40.0});  // cycle 3
  rig.DoModal();
  EXPECT_EQ(rig.script.Entries("doc1.PointInformation"),
            (Calls{"doc1.PointInformation(100, 201)", "doc1.PointInformation(100, 200)",
                   "doc1.PointInformation(102, 199)", "doc1.PointInformation(103, 198)"}));
  const auto lines = rig.LogLines();
  ASSERT_EQ(lines.size(), 4u);
  // The offset is measured from the reference every cycle, not from the last position.
  EXPECT_EQ(lines[2], "103,198,3,-2,0.3,-0.2,103,198,3,-2,40,\"\"");
  EXPECT_EQ(lines[3], lines[2]);
}

TEST(GuideRunMeasurement, TheSumsTakeTheHostsValuesNotTheRoundedPositions) {
  // Summing the positions already rounded to floats would give a mean of 347.0715.
  Rig rig;
  rig.Settings({"2", "3", "1", "2", "0.01", "2", "15"});
  for (int i = 0; i < 2; ++i) {
    rig.script.centroids.push_back({257.9812, 10.0, 40.0});
    rig.script.centroids.push_back({436.1619, 10.0, 40.0});
  }
  rig.StopAfterCycles(1);
  rig.DoModal();
  const auto lines = rig.LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(0, 18), "347.0716,10,0,0,0,");
}

// --- Host values the run cannot use

RunFailure FailureOf(Rig& rig) {
  try {
    rig.DoModal();
  } catch (const RunFailure& failure) {
    return failure;
  }
  ADD_FAILURE() << "the run did not fail";
  return RunFailure(FailureKind::Host, "none");
}

TEST(GuideRunMeasurement, ElementsAreAddressedByIndexWhateverTheLowerBound) {
  WorkedExample rig;
  rig.script.centroids.clear();
  rig.script.arrays = {MakePointInformation({100.0, 200.0, 40.0}, 1),
                       MakePointInformation({102.0, 199.0, 40.0}, 1)};
  rig.DoModal();
  EXPECT_EQ(rig.LogLines()[1], "102,199,2,-1,0.2,-0.1,102,199,2,-1,40,\"\"");
}

TEST(GuideRunFailures, AResultWithoutASignalToNoiseElementIsOutOfRange) {
  WorkedExample rig;
  host::HostArray shortArray = MakePointInformation({102.0, 199.0, 40.0});
  shortArray.elements.resize(12);  // indices 0 to 11
  rig.script.centroids.resize(1);
  rig.script.arrays = {MakePointInformation({100.0, 200.0, 40.0}), shortArray};
  const RunFailure failure = FailureOf(rig);
  EXPECT_EQ(failure.Kind(), FailureKind::SubscriptOutOfRange);
  EXPECT_EQ(failure.Description(), "Subscript out of range");
  EXPECT_EQ(rig.LogLines().size(), 1u);
  EXPECT_FALSE(rig.env.logOpen);
  EXPECT_EQ(rig.script.HostCalls().back(), "doc1.PointInformation(100, 200)");
}

TEST(GuideRunFailures, AClickOutsideThe16BitRangeOverflowsBeforeTheLogIsOpened) {
  WorkedExample rig;
  rig.script.clicks = {{32767.5, 10.0}};
  const RunFailure failure = FailureOf(rig);
  EXPECT_EQ(failure.Kind(), FailureKind::Overflow);
  EXPECT_EQ(rig.script.HostCalls().back(), "doc1.PointerX");  // converted as soon as read
  EXPECT_EQ(rig.env.logsCreated, 0);
}

TEST(GuideRunFailures, AStarFoundBeyondThe16BitRangeOverflowsInTheNextCycle) {
  WorkedExample rig;
  rig.StopAfterCycles(2);
  rig.script.centroids = {{100.0, 200.0, 40.0}, {40000.0, 199.0, 40.0}};
  rig.Settings({"1", "3", "1", "2", "0.01", "0", "15"});  // no pulses
  const RunFailure failure = FailureOf(rig);
  EXPECT_EQ(failure.Kind(), FailureKind::Overflow);
  EXPECT_EQ(rig.LogLines().size(), 2u);  // the first cycle's row is in the log
  EXPECT_EQ(rig.script.HostCalls().back(), "doc1.DisplayName");
  EXPECT_FALSE(rig.env.logOpen);
}

// --- Pulses

struct PulseCase : WorkedExample {
  Calls Moves() { return script.Entries("camera.GuiderMove"); }
};

TEST(GuideRunPulses, ReversedXPulsesDirection1WithTheMagnitudeByValue) {
  PulseCase rig;
  rig.script.guiderReverseX.Set(true);
  rig.DoModal();
  EXPECT_EQ(rig.Moves(),
            (Calls{"camera.GuiderMove(1, Double 0.2)", "camera.GuiderMove(3, Single 0.1)"}));
  EXPECT_EQ(rig.LogLines()[1], "102,199,2,-1,-0.2,-0.1,102,199,2,-1,40,\"\"");
}

TEST(GuideRunPulses, AngleNinetySwapsTheAxes) {
  PulseCase rig;
  rig.script.guiderAngle.Set(90.0);
  rig.script.centroids = {{100.0, 200.0, 40.0}, {102.0, 199.0, 40.0}};
  rig.DoModal();
  const Calls moves = rig.Moves();
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0].substr(0, 28), "camera.GuiderMove(1, Double ");
  EXPECT_EQ(moves[1], "camera.GuiderMove(3, Single 0.2)");
}

TEST(GuideRunPulses, DisabledOutputsAreLoggedButNotPulsed) {
  PulseCase rig;
  rig.script.guiderReverseX.Set(true);
  rig.script.guiderOutputEnables.Set(13.0);  // direction 1 disabled
  rig.DoModal();
  EXPECT_EQ(rig.Moves(), (Calls{"camera.GuiderMove(3, Single 0.1)"}));
  EXPECT_EQ(rig.script.Count("camera.GuiderOutputEnables"), 4u);
  EXPECT_EQ(rig.LogLines()[1], "102,199,2,-1,-0.2,-0.1,102,199,2,-1,40,\"\"");
}

TEST(GuideRunPulses, NoOffsetNoPulseButFourEnableReads) {
  PulseCase rig;
  rig.script.centroids = {{100.0, 200.0, 40.0}, {100.0, 200.0, 40.0}};
  rig.DoModal();
  EXPECT_TRUE(rig.Moves().empty());
  EXPECT_EQ(rig.script.Count("camera.GuiderOutputEnables"), 4u);
  EXPECT_EQ(rig.LogLines()[1], "100,200,0,0,0,0,100,200,0,0,40,\"\"");
}

TEST(GuideRunPulses, CappedPulsesAreSinglesInTheLogAndTheMove) {
  PulseCase rig;
  rig.Settings({"1", "3", "1", "2", "0.01", "0.15", "15"});
  rig.script.guiderReverseX.Set(true);
  rig.DoModal();
  EXPECT_EQ(rig.Moves(),
            (Calls{"camera.GuiderMove(1, Single 0.15)", "camera.GuiderMove(3, Single 0.1)"}));
  EXPECT_EQ(rig.LogLines()[1], "102,199,2,-1,-0.15,-0.1,102,199,2,-1,40,\"\"");
}

// --- Behaviour chosen for a user guiding unattended: a Cancel that cancels, stars screened by
// their SN and counted, move limits by magnitude, every log line on disk at once, and the RA
// pulse compensated for declination.

// Cancel (or the close box) cancels, also after an accepted run: the values of an earlier run must
// never start guiding the user did not ask for.
TEST(DialogCancel, CancelAfterAnAcceptedRunCancels) {
  WorkedExample rig;
  rig.DoModal();
  ASSERT_EQ(rig.env.logsCreated, 1);

  rig.script.timeline.clear();
  rig.env.initialExposureShowings = {{{false, {}}}};
  rig.DoModal();
  EXPECT_EQ(rig.script.HostCalls(), (Calls{"app.create"}));

  // A rejected OK (11 stars) followed by the close box: no guiding with the rejected values.
  rig.script.timeline.clear();
  rig.env.guideSetupShowings = {{{true, {"11", "3", "1", "2", "0.01", "2", "15"}}}};
  rig.DoModal();
  EXPECT_EQ(
      rig.script.Entries("dialog."),
      (Calls{"dialog.OK", "dialog.OK", "dialog.Message(Please enter a number)", "dialog.Close"}));
  EXPECT_FALSE(Contains(rig.script.HostCalls(), "app.Documents"));
  EXPECT_EQ(rig.env.logsCreated, 1);
}

// A star below MinSN is left out of the cycle's mean and follows the others; with fewer than
// MinStars taking part the cycle is logged but no pulse is sent: a star lost in cloud or noise
// must not steer the mount.
struct ThreeStars : Rig {
  // Stars picked at x 480.22, 476.52, 75.45 (y 200, 210, 220); found at 477.73, 478.53, 76.87
  // (y one pixel further each).
  explicit ThreeStars(std::initializer_list<double> cycleSN, const char* minStars = "2") {
    Settings({"3", "10", minStars, "2", "0.01", "2", "15"});
    script.centroids = {{480.22, 200.0, 40.0}, {476.52, 210.0, 40.0}, {75.45, 220.0, 40.0}};
    const double x[] = {477.73, 478.53, 76.87};
    const double y[] = {201.0, 211.0, 221.0};
    int i = 0;
    for (double sn : cycleSN) {
      script.centroids.push_back({x[i], y[i], sn});
      ++i;
    }
  }
  Calls SecondCycleMeasurements() {
    const Calls all = script.Entries("doc1.PointInformation");
    return Calls(all.begin() + 6, all.begin() + 9);
  }
};

TEST(StarScreening, WhenEveryStarTakesPartTheMeansOfAllStarsAreUsed) {
  ThreeStars rig({40.0, 40.0, 40.0});
  rig.StopAfterCycles(1);
  rig.DoModal();
  // Xoff is Xave - RefXave (0.3133545), not the mean of the stars' own offsets (0.3133418).
  EXPECT_EQ(rig.LogLines()[1],
            "344.3767,211,0.3133545,1,0.03133544921875,0.1,477.73,201,-2.48999,1,40,478.53,211,"
            "2.01001,1,40,76.87,221,1.420006,1,40,\"\"");
}

TEST(StarScreening, StarsBelowMinSNAreLeftOutAndFollowTheOthers) {
  ThreeStars rig({40.0, 40.0, 5.0});
  rig.script.guiderAggressiveness.queue = {10, 10, 10, 10, 10, 0};
  rig.DoModal();
  EXPECT_EQ(rig.LogLines()[1],
            "343.8233,211,-0.2399902,1,-0.0239990234375,0.1,477.73,201,-2.48999,1,40,478.53,211,"
            "2.01001,1,40,76.87,221,1.420006,1,5,\"\"");
  EXPECT_TRUE(Contains(rig.script.HostCalls(), "camera.GuiderMove(1, Double 0.0239990234375)"));
  // The faint star is looked for at its reference plus the cycle's offset: (75.21, 221).
  EXPECT_EQ(rig.SecondCycleMeasurements(),
            (Calls{"doc1.PointInformation(478, 201)", "doc1.PointInformation(479, 211)",
                   "doc1.PointInformation(75, 221)"}));
}

TEST(StarScreening, WithTooFewStarsNoGuideCommandIsIssued) {
  ThreeStars rig({40.0, 40.0, 5.0}, "3");
  rig.script.guiderAggressiveness.queue = {10, 10, 10, 0};  // 1 read, then a full cycle
  rig.DoModal();
  const auto lines = rig.LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1],
            "343.8233,211,-0.2399902,1,0,0,477.73,201,-2.48999,1,40,478.53,211,"
            "2.01001,1,40,76.87,221,1.420006,1,5,\"\"");
  // The first cycle reads no guider angle, speed or declination and pulses nothing, but still
  // reads the four enables and tests the aggressiveness.
  const Calls calls = rig.script.HostCalls();
  const std::size_t begin = Position(calls, "camera.GuiderExpose(2)");
  const std::size_t end = Position(calls, "camera.GuiderExpose(2)", begin + 1);
  ASSERT_LT(end, calls.size());
  const Calls first(calls.begin() + static_cast<std::ptrdiff_t>(begin),
                    calls.begin() + static_cast<std::ptrdiff_t>(end));
  EXPECT_EQ(std::count(first.begin(), first.end(), "camera.GuiderAngle"), 0);
  EXPECT_EQ(std::count(first.begin(), first.end(), "camera.GuiderOutputEnables"), 4);
  EXPECT_EQ(std::count(first.begin(), first.end(), "camera.GuiderAggressiveness"), 1);
  EXPECT_FALSE(Contains(first, "camera.GuiderMove(1, Double 0.0239990234375)"));
  // The faint star stays where it was; the others move to where they were found.
  EXPECT_EQ(rig.SecondCycleMeasurements(),
            (Calls{"doc1.PointInformation(478, 201)", "doc1.PointInformation(479, 211)",
                   "doc1.PointInformation(75, 220)"}));
}

TEST(StarScreening, WhenNoStarTakesPartTheRowShowsTheMeansOfAllStars) {
  ThreeStars rig({5.0, 5.0, 5.0});
  rig.script.guiderAggressiveness.queue = {0};
  rig.DoModal();
  EXPECT_EQ(rig.LogLines()[1],
            "344.3767,211,0.3133545,1,0,0,477.73,201,-2.48999,1,5,478.53,211,2.01001,1,5,76.87,"
            "221,1.420006,1,5,\"\"");
  EXPECT_TRUE(rig.script.Entries("camera.GuiderMove").empty());
}

// The minimum and maximum move are taken by magnitude: a negative maximum typed by mistake must
// not turn every correction around.
TEST(MoveLimits, ANegativeMaximumNeverReversesTheCorrection) {
  PulseCase rig;
  rig.Settings({"1", "3", "1", "2", "-0.01", "-0.15", "15"});
  rig.DoModal();
  EXPECT_EQ(rig.Moves(), (Calls{"camera.GuiderMove(0, &Variant(Single 0.15))",
                                "camera.GuiderMove(3, Single 0.1)"}));
}

// Each line is written whole and flushed at once, so a crash of the host loses nothing logged.
TEST(GuideLogFlush, EveryLineIsFlushedAsSoonAsItIsComplete) {
  WorkedExample rig;
  rig.StopAfterCycles(3);
  std::vector<std::string> flushed;
  rig.script.onEntry = [&](const std::string& entry) {
    if (entry == "log.Flush") flushed.push_back(rig.env.logBytes);
  };
  rig.DoModal();
  ASSERT_EQ(flushed.size(), 4u);
  for (std::size_t i = 0; i < flushed.size(); ++i) {
    const auto lines = std::count(flushed[i].begin(), flushed[i].end(), '\n');
    EXPECT_EQ(lines, static_cast<long>(i + 1));
    EXPECT_EQ(flushed[i].substr(flushed[i].size() - 2), "\r\n");
  }
  EXPECT_EQ(rig.script.Entries("log."),
            (Calls{"log.Write", "log.Flush", "log.Write", "log.Flush", "log.Write", "log.Flush",
                   "log.Write", "log.Flush", "log.Close"}));
}

// The X (RA) pulse is divided by cos(declination): the sky moves cos(dec) times as far per second
// of RA pulse as at the equator, where the guide speeds were calibrated.
TEST(DeclinationCompensation, TheXPulseIsDividedByTheCosineOfTheDeclination) {
  PulseCase rig;
  rig.script.guiderDeclination.Set(60.0);
  rig.DoModal();
  EXPECT_EQ(rig.Moves(), (Calls{"camera.GuiderMove(0, &Variant(Double 0.400000020189427))",
                                "camera.GuiderMove(3, Single 0.1)"}));
  EXPECT_EQ(rig.LogLines()[1], "102,199,2,-1,0.400000020189427,-0.1,102,199,2,-1,40,\"\"");
}

}  // namespace
}  // namespace corvane::testing

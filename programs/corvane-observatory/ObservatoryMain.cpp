// corvane-observatory.exe: the real Corvane.dll guiding the simulated observatory. The model is
// served as the host's automation objects under MaxIm.Application and MaxIm.CCDCamera for this
// program's lifetime; the plug-in is registered, created by its ProgID and run through IDispatch;
// a scripted user answers its dialogs from another thread and clicks the stars through the
// model's pointer; camera event 15 reaches the plug-in nested inside a GuiderRunning poll, as the
// host delivers it. Simulated time runs faster than the wall clock: every poll of GuiderRunning
// or GuiderMoving advances the model. Writes the same report as corvane-sim.
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "GuiderWindow.h"
#include "hostkit/win/ClassRegistration.h"
#include "hostkit/win/HostComObjects.h"
#include "hostkit/win/HostSession.h"
#include "hostkit/win/Library.h"
#include "hostkit/win/OleSession.h"
#include "hostkit/win/PlugInClient.h"
#include "hostkit/win/ScreenUser.h"
#include "sim/SimHost.h"
#include "sim/cli/Options.h"
#include "sim/run/Simulation.h"
#include "win/AutomationValues.h"
#include "win/UniqueResource.h"

using namespace corvane;
using namespace corvane::sim;

namespace {

constexpr const wchar_t* kPlugInProgId = L"Corvane.PlugIn";

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path().wstring();
}

bool ProgIdRegistered(const wchar_t* progId) {
  CLSID clsid;
  return SUCCEEDED(CLSIDFromProgID(progId, &clsid));
}

std::string HResultText(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

// The person at the screen: answers "Initial Exposure" and "Guide star setup" with the script's
// texts while they last, cancels them after, and dismisses every message box, recording its text.
hostkit::StandingAnswers AnswersOf(const DialogScript& script) {
  hostkit::StandingAnswers answers;
  for (const std::string& text : script.initialExposure)
    answers.initial.push_back(win::Widen(text));
  for (const auto& texts : script.guideSetup) {
    std::array<std::wstring, 7> typed;
    for (int n = 1; n <= GuideSetupDialog::Texts::kBoxes; ++n) {
      typed[static_cast<std::size_t>(n - 1)] = win::Widen(texts.Box(n));
    }
    answers.setup.push_back(typed);
  }
  return answers;
}

// The guide log the plug-in wrote during this run: c:\Corvane.csv, or Corvane.csv in Documents
// when the root of C: could not be written; the newer one, and none left from an earlier run.
std::optional<std::string> ReadGuideLog(std::filesystem::file_time_type runStart,
                                        std::wstring& where) {
  std::vector<std::wstring> candidates = {L"c:\\Corvane.csv"};
  win::UniqueCoTaskMem<wchar_t> documents;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, documents.Receive()))) {
    candidates.push_back(std::wstring(documents.Get()) + L"\\Corvane.csv");
  }
  std::optional<std::filesystem::file_time_type> newest;
  std::wstring chosen;
  for (const std::wstring& path : candidates) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(std::filesystem::path(path), error);
    if (error || written < runStart || (newest && written <= *newest)) continue;
    newest = written;
    chosen = path;
  }
  for (const std::wstring& path : {chosen}) {
    if (path.empty()) continue;
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file) continue;
    std::stringstream bytes;
    bytes << file.rdbuf();
    where = path;
    return bytes.str();
  }
  return std::nullopt;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file << bytes;
}

// What the run must show, beyond its log agreeing with the model.
struct Expectations {
  int cycles = -1;      // logged cycles; -1: the --cycles given
  std::string message;  // a message box the run must have shown
};

struct ObservatoryOptions {
  CliOptions simulator;
  double pollSeconds = 1.0;    // simulated seconds per poll of GuiderRunning / GuiderMoving
  std::string dllPath;         // empty: the Corvane.dll beside this program
  bool showWindow = false;     // the "Autoguider Image" window
  bool clickYourself = false;  // a person clicks the stars in it
  Expectations expect;
};

// What the plug-in's run left behind besides the model's record.
struct PlugInRun {
  bool failed = false;
  std::string failure;
  std::vector<std::string> messages;
  double wallSeconds = 0.0;
  std::filesystem::file_time_type fileTimeStart;  // guide logs written since belong to this run
};

// Registers the DLL (unless it already is), serves the model as the host's classes for the run,
// creates Corvane.PlugIn by its ProgID and calls DoModal while the screen user answers; then
// unregisters what it registered. Throws when the plug-in cannot be loaded or registered.
PlugInRun RunThePlugIn(const ObservatoryOptions& options, Observatory& observatory, SimHost& host,
                       GuiderWindow* window) {
  const std::wstring dllPath =
      options.dllPath.empty() ? ProgramFolder() + L"\\Corvane.dll" : win::Widen(options.dllPath);
  hostkit::Library dll(dllPath);
  if (!dll) throw std::runtime_error("cannot load " + win::Narrow(dllPath));
  const bool wasRegistered = ProgIdRegistered(kPlugInProgId);
  if (HRESULT hr = dll.Call("DllRegisterServer"); FAILED(hr)) {
    throw std::runtime_error("DllRegisterServer failed: " + HResultText(hr));
  }

  PlugInRun run;
  const auto wallStart = std::chrono::steady_clock::now();
  // File times may be coarse: anything written from two seconds before the run counts.
  run.fileTimeStart = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(2);
  {
    auto session = std::make_shared<hostcom::HostSession>();
    // The host's classes, served for this block only.
    hostcom::HostRegistration registration(
        session, [&host] { return host.CreateApplication(); },
        [&host] { return host.CreateCamera(); });

    hostkit::PlugInClient plugIn;  // by its ProgID; throws when it cannot be created

    // Event 15 goes to the plug-in nested in the poll that noticed it, on this thread.
    host.SetPollHook([&] {
      session->ClearCalls();
      if (window) window->Refresh();
      if (observatory.TakeStopNotification()) plugIn.CCDCamera_Notify(15);
    });

    hostkit::ScreenUser user(nullptr, AnswersOf(options.simulator.simulation.dialogs));
    auto doc = hostcom::MakeDocument(host.OpenDocument("Light Frame"), session);
    const hostkit::CallOutcome outcome = plugIn.DoModal(doc.Get());
    doc.Reset();
    user.Finish();
    for (const std::wstring& message : user.Messages())
      run.messages.push_back(win::Narrow(message));
    for (const std::string& problem : user.Problems()) {
      std::cout << "Screen user: " << problem << "\n";
    }
    plugIn.Reset();
    host.SetPollHook(nullptr);
    if (FAILED(outcome.result)) {
      const std::string description = win::Narrow(outcome.description);
      run.failed = true;
      run.failure = "DoModal failed with " + HResultText(outcome.result) +
                    (description.empty() ? "" : ": " + description);
    }
  }
  run.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  CoFreeUnusedLibraries();
  if (!wasRegistered) dll.Call("DllUnregisterServer");
  return run;
}

// The guided run as the simulator's report sees it: the plug-in's end and the model's record.
RunOutcome Outcome(const PlugInRun& run, const Observatory& observatory) {
  RunOutcome guided;
  guided.failed = run.failed;
  guided.failure = run.failure;
  guided.messages = run.messages;
  guided.cycles = observatory.Cycles();
  guided.truth = observatory.GuidedSummary();
  guided.pulses = observatory.PulsesIssued();
  guided.simulatedSeconds = observatory.Now();
  return guided;
}

// Where the run disagrees with what it had to do: each a line of the output; none: it agrees.
std::vector<std::string> Problems(const std::optional<guidelog::LogRun>& log,
                                  const std::string& logError, const RunOutcome& guided,
                                  int expectedCycles, const std::string& expectedMessage,
                                  bool hostObjectsReleased) {
  std::vector<std::string> problems;
  if (guided.failed) problems.push_back(guided.failure);
  if (!log || log->rows.empty()) problems.push_back(log ? "no guide cycle logged" : logError);
  const std::size_t logged = log ? log->rows.size() : 0;
  if (expectedCycles > 0 && logged != static_cast<std::size_t>(expectedCycles)) {
    problems.push_back(std::to_string(logged) + " cycles logged, " +
                       std::to_string(expectedCycles) + " expected");
  }
  if (!expectedMessage.empty() && std::find(guided.messages.begin(), guided.messages.end(),
                                            expectedMessage) == guided.messages.end()) {
    problems.push_back("the message \"" + expectedMessage + "\" was not shown");
  }
  if (log) {
    for (std::string& problem : CompareLogWithTruth(*log, guided.cycles, 1.0)) {
      problems.push_back(std::move(problem));
    }
  }
  if (!hostObjectsReleased) problems.push_back("host objects not released");
  return problems;
}

// The observatory, the plug-in's run in it, the report from the log the plug-in wrote and the
// model's truth, and the checks. Exit status 0 when the log agrees with the truth.
int Run(const ObservatoryOptions& options) {
  hostkit::OleSession ole;
  if (FAILED(ole.Result())) {
    std::cerr << "OleInitialize failed: " << HResultText(ole.Result()) << "\n";
    return 1;
  }
  ObservatorySettings settings = options.simulator.simulation.observatory;
  settings.secondsPerPoll = options.pollSeconds;
  settings.secondsPerPointerRead = 0.1;
  if (options.clickYourself) settings.user.scripted = false;
  Observatory observatory(settings);
  std::unique_ptr<GuiderWindow> window;
  if (options.showWindow) window = std::make_unique<GuiderWindow>(observatory);
  SimHost host(observatory);

  const PlugInRun run = RunThePlugIn(options, observatory, host, window.get());

  const std::filesystem::path out = options.simulator.outputDir;
  std::filesystem::create_directories(out);
  std::wstring logPath;
  const auto logBytes = ReadGuideLog(run.fileTimeStart, logPath);
  std::string logError = "no guide log";
  std::optional<guidelog::LogRun> log;
  if (logBytes) {
    WriteFile(out / "Corvane.csv", *logBytes);
    log = guidelog::FirstRun(*logBytes, &logError);
  }
  const RunOutcome guided = Outcome(run, observatory);
  ErrorSummary unguided;
  if (options.simulator.unguided) unguided = UnguidedOver(settings, guided);
  const Report report = MakeReport(log.value_or(guidelog::LogRun{}), guided, unguided);
  WriteFile(out / "truth.csv", TruthCsv(guided.cycles));
  WriteFile(out / "report.txt", ReportText(report));
  WriteFile(out / "report.json", ReportJson(report));

  std::cout << ReportText(report);
  std::printf("Wall time of the run:    %.1f s (%.1f simulated seconds)\n", run.wallSeconds,
              observatory.Now());
  if (logBytes) std::cout << "Guide log written by Corvane.dll: " << win::Narrow(logPath) << "\n";

  const int expectedCycles =
      options.expect.cycles >= 0 ? options.expect.cycles : options.simulator.cycles;
  const bool released = host.Record().objectsAlive == 0 && hostcom::LiveObjectCount() == 0;
  const auto problems =
      Problems(log, logError, guided, expectedCycles, options.expect.message, released);
  for (const std::string& problem : problems) std::cout << "PROBLEM: " << problem << "\n";
  if (problems.empty()) std::cout << "Log agrees with the model's truth.\n";
  return problems.empty() ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ObservatoryOptions options;
  options.simulator.outputDir = "out/observatory";
  options.showWindow = !hostcom::RunningUnderWine();
  CLI::App app("corvane-observatory: the real Corvane.dll in the simulated observatory",
               "corvane-observatory");
  SimulatorOptions simulator(app, options.simulator);
  const std::string observatory = "The observatory program";
  app.add_option("--dll", options.dllPath, "Corvane.dll [beside this program]")->group(observatory);
  app.add_option("--poll-seconds", options.pollSeconds,
                 "simulated seconds per GuiderRunning / GuiderMoving poll")
      ->check(CLI::NonNegativeNumber)
      ->group(observatory);
  app.add_flag("--window", options.showWindow, "show the guider image (the default on Windows)")
      ->group(observatory);
  app.add_flag("--click-yourself", options.clickYourself,
               "show the guider image and click the guide stars yourself")
      ->group(observatory);
  app.add_option("--expect-cycles", options.expect.cycles, "check: cycles logged")
      ->group(observatory);
  app.add_option("--expect-message", options.expect.message, "check: a message shown")
      ->group(observatory);
  std::vector<std::string> args;
  for (int i = argc - 1; i >= 1; --i) args.push_back(win::Narrow(argv[i]));
  try {
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    return ExitStatus(app, e);
  }
  simulator.Finish();
  if (options.clickYourself) options.showWindow = true;
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::cerr << "corvane-observatory: " << e.what() << "\n";
    return 1;
  }
}

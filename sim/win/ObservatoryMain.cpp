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
#include <sstream>

#include "hostkit/Library.h"
#include "hostkit/OleSession.h"
#include "hostkit/PlugInClient.h"
#include "hostkit/ScreenUser.h"
#include "sim/Options.h"
#include "sim/SimHost.h"
#include "sim/Simulation.h"
#include "sim/hostcom/ClassRegistration.h"
#include "sim/hostcom/HostComObjects.h"
#include "sim/hostcom/HostSession.h"
#include "sim/win/GuiderWindow.h"
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
  for (const std::string& text : script.initial) answers.initial.push_back(win::Widen(text));
  for (const auto& texts : script.sample) {
    std::array<std::wstring, 7> typed;
    for (std::size_t n = 0; n < typed.size(); ++n) typed[n] = win::Widen(texts[n]);
    answers.setup.push_back(typed);
  }
  answers.predictPeriodicError = script.predictPeriodicError;
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

struct WindowChoice {
  bool show = false;           // the "Autoguider Image" window
  bool clickYourself = false;  // a person clicks the stars in it
};

int Run(const CliOptions& options, double pollSeconds, const std::wstring& dllPath,
        WindowChoice windowChoice, const Expectations& expect) {
  hostkit::OleSession ole;
  if (FAILED(ole.Result())) {
    std::cerr << "OleInitialize failed: " << HResultText(ole.Result()) << "\n";
    return 1;
  }

  ObservatorySettings settings = options.simulation.observatory;
  settings.secondsPerPoll = pollSeconds;
  settings.secondsPerPointerRead = 0.1;
  if (windowChoice.clickYourself) settings.user.scripted = false;
  Observatory observatory(settings);
  std::unique_ptr<GuiderWindow> window;
  if (windowChoice.show) window = std::make_unique<GuiderWindow>(observatory);
  SimHost host(observatory);
  auto session = std::make_shared<hostcom::HostSession>();

  // The plug-in: registered unless it already is, then created by its ProgID.
  hostkit::Library dll(dllPath);
  if (!dll) {
    std::cerr << "cannot load " << win::Narrow(dllPath) << "\n";
    return 1;
  }
  const bool wasRegistered = ProgIdRegistered(kPlugInProgId);
  if (HRESULT hr = dll.Call("DllRegisterServer"); FAILED(hr)) {
    std::cerr << "DllRegisterServer failed: " << HResultText(hr) << "\n";
    return 1;
  }

  int status = 0;
  std::string failure;
  std::vector<std::string> messages;
  const auto wallStart = std::chrono::steady_clock::now();
  // File times may be coarse: anything written from two seconds before the run counts.
  const auto fileTimeStart =
      std::filesystem::file_time_type::clock::now() - std::chrono::seconds(2);
  {
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

    hostkit::ScreenUser user(nullptr, AnswersOf(options.simulation.dialogs));
    auto doc = hostcom::MakeDocument(host.OpenDocument("Light Frame"), session);
    const hostkit::CallOutcome outcome = plugIn.DoModal(doc.Get());
    const HRESULT hr = outcome.result;
    failure = win::Narrow(outcome.description);
    doc.Reset();
    user.Finish();
    for (const std::wstring& message : user.Messages()) messages.push_back(win::Narrow(message));
    for (const std::string& problem : user.Problems()) {
      std::cout << "Screen user: " << problem << "\n";
      // Asked to predict, the run must have had the box ticked.
      if (problem == hostkit::kCannotTickPrediction) status = 1;
    }
    plugIn.Reset();
    host.SetPollHook(nullptr);
    if (FAILED(hr)) {
      status = 1;
      failure = "DoModal failed with " + HResultText(hr) + (failure.empty() ? "" : ": " + failure);
    } else {
      failure.clear();
    }
  }
  const double wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  CoFreeUnusedLibraries();
  if (!wasRegistered) dll.Call("DllUnregisterServer");

  // The report, from the log the plug-in wrote and the model's truth.
  const std::filesystem::path out = options.outputDir;
  std::filesystem::create_directories(out);
  std::wstring logPath;
  const auto logBytes = ReadGuideLog(fileTimeStart, logPath);
  GuideLogData log;
  std::string parseError = "no guide log";
  if (logBytes) {
    WriteFile(out / "Corvane.csv", *logBytes);
    if (auto parsed = ParseGuideLog(*logBytes, &parseError)) log = *parsed;
  }
  RunOutcome guided;
  guided.failed = status != 0;
  guided.failure = failure;
  guided.messages = messages;
  guided.cycles = observatory.Cycles();
  guided.truth = observatory.GuidedSummary();
  guided.pulses = observatory.PulsesIssued();
  guided.simulatedSeconds = observatory.Now();
  ErrorSummary unguided;
  if (options.unguided) unguided = UnguidedOver(settings, guided);
  const Report report = MakeReport(log, guided, unguided);
  WriteFile(out / "truth.csv", TruthCsv(guided.cycles));
  WriteFile(out / "report.txt", ReportText(report));
  WriteFile(out / "report.json", ReportJson(report));

  std::cout << ReportText(report);
  std::printf("Wall time of the run:    %.1f s (%.1f simulated seconds)\n", wallSeconds,
              observatory.Now());
  if (logBytes) {
    std::cout << "Guide log written by Corvane.dll: " << win::Narrow(logPath) << "\n";
  }

  // The checks: the run ran its cycles and its log agrees with what the model recorded.
  if (!logBytes || log.rows.empty()) {
    std::cout << "PROBLEM: " << parseError << "\n";
    status = 1;
  }
  const int expectedCycles = expect.cycles >= 0 ? expect.cycles : options.cycles;
  if (expectedCycles > 0 && static_cast<int>(log.rows.size()) != expectedCycles) {
    std::cout << "PROBLEM: " << log.rows.size() << " cycles logged, " << expectedCycles
              << " expected\n";
    status = 1;
  }
  if (!expect.message.empty() &&
      std::find(messages.begin(), messages.end(), expect.message) == messages.end()) {
    std::cout << "PROBLEM: the message \"" << expect.message << "\" was not shown\n";
    status = 1;
  }
  for (const std::string& problem : CompareLogWithTruth(log, guided.cycles, 1.0)) {
    std::cout << "PROBLEM: " << problem << "\n";
    status = 1;
  }
  if (host.Record().objectsAlive != 0 || hostcom::LiveObjectCount() != 0) {
    std::cout << "PROBLEM: host objects not released\n";
    status = 1;
  }
  std::cout << (status == 0 ? "Log agrees with the model's truth.\n" : "");
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    std::vector<std::string> args;
    double pollSeconds = 1.0;
    std::wstring dllPath = ProgramFolder() + L"\\Corvane.dll";
    WindowChoice windowChoice;
    Expectations expect;
    windowChoice.show = !hostcom::RunningUnderWine();
    for (int i = 1; i < argc; ++i) {
      const std::wstring arg = argv[i];
      if (arg == L"--dll" && i + 1 < argc) {
        dllPath = argv[++i];
      } else if (arg == L"--expect-cycles" && i + 1 < argc) {
        expect.cycles = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
      } else if (arg == L"--expect-message" && i + 1 < argc) {
        expect.message = win::Narrow(argv[++i]);
      } else if (arg == L"--window") {
        windowChoice.show = true;
      } else if (arg == L"--click-yourself") {
        windowChoice.show = windowChoice.clickYourself = true;
      } else if (arg == L"--poll-seconds" && i + 1 < argc) {
        pollSeconds = std::wcstod(argv[++i], nullptr);
      } else {
        args.push_back(win::Narrow(arg));
      }
    }
    CliOptions options;
    options.outputDir = "out/observatory";
    std::string error;
    if (!ParseOptions(args, options, error) || options.help) {
      std::cerr << (options.help ? "" : "corvane-observatory: " + error + "\n\n")
                << "corvane-observatory [options]: the real Corvane.dll in the simulated "
                   "observatory\n  --dll PATH          Corvane.dll [beside this program]\n"
                   "  --poll-seconds S    simulated seconds per GuiderRunning/GuiderMoving poll "
                   "[1]\n"
                   "  --window            show the guider image (the default on Windows)\n"
                   "  --click-yourself    show it and click the guide stars yourself\n"
                   "  --expect-cycles N, --expect-message TEXT   checks (exit status 1 if not)\n"
                << OptionsHelp();
      return options.help ? 0 : 2;
    }
    return Run(options, pollSeconds, dllPath, windowChoice, expect);
  } catch (const std::exception& e) {
    std::cerr << "corvane-observatory: " << e.what() << "\n";
    return 1;
  }
}

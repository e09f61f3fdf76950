// Corvane Monitor's real window on a virtual X screen, following the simulated observatory while
// the real Corvane.dll guides and writes its record into Documents\Corvane (and c:\Corvane.csv):
// the cycles show up as they are written, the whole run's RMS in the mount's axes reads as
// corvane-log stats prints it for the same record, the second run's record replaces the first by
// itself, a torn last line waits for its end, and the theme is remembered. The figures are read
// from the window's text controls with WM_GETTEXT, as a screen reader reads them.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "monitor/win/MonitorIds.h"
#include "win/AutomationValues.h"
#include "win/UniqueResource.h"

namespace corvane {
namespace {

namespace ids = monitor_ids;
using namespace std::chrono_literals;

constexpr const wchar_t* kLog = L"C:\\Corvane.csv";

// Documents\Corvane, where the DLL keeps each run's record.
std::filesystem::path RecordFolder() {
  win::UniqueCoTaskMem<wchar_t> documents;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, documents.Receive()))) return {};
  return std::filesystem::path(documents.Get()) / L"Corvane";
}

// The newest record: the names are the runs' start times.
std::filesystem::path NewestRecord() {
  std::filesystem::path newest;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(RecordFolder(), error)) {
    if (entry.path().extension() == L".csv" && entry.path().filename() > newest.filename()) {
      newest = entry.path();
    }
  }
  return newest;
}

// A path of the build tree (a Unix path) as Wine's Z: drive shows it.
std::wstring OnZ(const char* unixPath) {
  std::wstring path = L"Z:" + win::Widen(unixPath);
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

struct Finished {
  DWORD exitCode = 1;
  std::string output;
};

// Starts a program; with `wait`, waits for it (at most `timeout`) and returns what it printed.
win::UniqueHandle Start(const std::wstring& commandLine, HANDLE output = nullptr) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (output) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION process{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                      nullptr, &startup, &process)) {
    ADD_FAILURE() << "cannot start " << win::Narrow(commandLine);
    return {};
  }
  CloseHandle(process.hThread);
  return win::UniqueHandle(process.hProcess);
}

Finished RunToEnd(const std::wstring& commandLine, std::chrono::seconds timeout) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  CreatePipe(&read, &write, &inherit, 0);
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  const win::UniqueHandle reader(read);
  win::UniqueHandle process;
  {
    const win::UniqueHandle writer(write);
    process = Start(commandLine, writer.Get());
  }
  Finished finished;
  if (!process) return finished;
  std::string& out = finished.output;
  std::thread drain([&] {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
      out.append(buffer, got);
    }
  });
  if (WaitForSingleObject(process.Get(), static_cast<DWORD>(timeout.count() * 1000)) !=
      WAIT_OBJECT_0) {
    ADD_FAILURE() << win::Narrow(commandLine) << " did not end within " << timeout.count() << " s";
    TerminateProcess(process.Get(), 1);
  }
  GetExitCodeProcess(process.Get(), &finished.exitCode);
  drain.join();
  return finished;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

std::string ReadFileBytes(const wchar_t* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void AppendTo(const std::filesystem::path& path, const std::string& bytes) {
  const win::UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  DWORD written = 0;
  ASSERT_TRUE(
      WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  FlushFileBuffers(file.Get());
}

class MonitorWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteFileW(kLog);
    std::error_code ignored;
    std::filesystem::remove_all(RecordFolder(), ignored);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Corvane\\Monitor");
    Launch();
  }
  static void TearDownTestSuite() { Close(); }

  static void Launch() {
    monitor_ = Start(L"\"" + OnZ(CORVANE_MONITOR_EXE) + L"\"");
    ASSERT_TRUE(WaitUntil(
        [] {
          window_ = FindWindowW(ids::kWindowClass, nullptr);
          // Shown, and its first look at the files done.
          return window_ != nullptr && IsWindowVisible(window_) && !Text(ids::kStatus).empty();
        },
        60s))
        << "the monitor's window did not appear";
  }
  static void Close() {
    if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (monitor_) {
      EXPECT_EQ(WaitForSingleObject(monitor_.Get(), 20000), WAIT_OBJECT_0);
    }
    monitor_.Reset();
    window_ = nullptr;
  }

  static std::string Text(int id) {
    wchar_t text[512] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(GetDlgItem(window_, id), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 3000, &length);
    return win::Narrow(text);
  }

  // The observatory's run of the real DLL; the cycle counts the window showed meanwhile.
  static std::set<std::string> Guide(int cycles, int seed) {
    std::set<std::string> seen;
    const auto out =
        std::filesystem::temp_directory_path() / ("monitor-run-" + std::to_string(seed));
    std::filesystem::create_directories(out);
    const std::wstring report = (out / L"output.txt").wstring();
    DWORD code = 1;
    {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      const win::UniqueFile output(CreateFileW(report.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                               &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                               nullptr));
      const win::UniqueHandle run =
          Start(L"\"" + OnZ(CORVANE_OBSERVATORY_EXE) + L"\" --cycles " + std::to_wstring(cycles) +
                    L" --seed " + std::to_wstring(seed) + L" --no-unguided --out \"" +
                    out.wstring() + L"\"",
                output.Get());
      while (run && WaitForSingleObject(run.Get(), 50) == WAIT_TIMEOUT) {
        seen.insert(Text(ids::kCycles));
      }
      if (run) GetExitCodeProcess(run.Get(), &code);
    }
    EXPECT_EQ(code, 0u) << "the observatory's run failed:\n" << ReadFileBytes(report.c_str());
    return seen;
  }

  // "0.123 px" for RA and Dec, as corvane-log stats prints the whole run's RMS for the newest
  // record (the one it takes without a file).
  static std::pair<std::string, std::string> CorvaneLogRms() {
    const Finished stats =
        RunToEnd(L"\"" + OnZ(CORVANE_LOG_EXE) + L"\" stats", std::chrono::seconds(120));
    EXPECT_EQ(stats.exitCode, 0u) << stats.output;
    std::smatch ra, dec;
    EXPECT_TRUE(std::regex_search(stats.output, ra, std::regex("RA:  RMS ([0-9.]+ px)")))
        << stats.output;
    EXPECT_TRUE(std::regex_search(stats.output, dec, std::regex("Dec: RMS ([0-9.]+ px)")))
        << stats.output;
    return {ra.size() > 1 ? ra[1].str() : "", dec.size() > 1 ? dec[1].str() : ""};
  }

  static bool Shows(int id, const std::string& text, std::chrono::milliseconds timeout = 5000ms) {
    return WaitUntil([&] { return Text(id) == text; }, timeout);
  }

  static inline win::UniqueHandle monitor_;
  static inline std::filesystem::path first_;  // the first run's record
  static inline HWND window_ = nullptr;
};

TEST_F(MonitorWindow, FollowsTheRealDllGuidingAndEndsWithTheRmsCorvaneLogPrints) {
  EXPECT_NE(Text(ids::kStatus).find("Waiting for a run"), std::string::npos) << Text(ids::kStatus);
  const std::set<std::string> seen = Guide(30, 1);
  EXPECT_TRUE(Shows(ids::kCycles, "30")) << Text(ids::kCycles);
  // Followed while written: counts between the first and the last were on the screen.
  int between = 0;
  for (const std::string& count : seen) between += count != "0" && count != "30" ? 1 : 0;
  EXPECT_GE(between, 5) << "the window showed " << seen.size() << " counts";
  const auto [ra, dec] = CorvaneLogRms();
  EXPECT_EQ(Text(ids::kRunARms), ra);
  EXPECT_EQ(Text(ids::kRunBRms), dec);
  EXPECT_EQ(Text(ids::kAxisA), "RA");
  first_ = NewestRecord();
  EXPECT_NE(Text(ids::kStatus).find("Following " + win::Narrow(first_.wstring())),
            std::string::npos)
      << Text(ids::kStatus);
  EXPECT_EQ(Text(ids::kProblem), "");
  EXPECT_EQ(Text(ids::kStar1).substr(0, 11), "Star 1: SN ");
}

TEST_F(MonitorWindow, ASecondRunsRecordReplacesTheFirst) {
  Guide(12, 2);
  EXPECT_TRUE(Shows(ids::kCycles, "12")) << Text(ids::kCycles);
  const std::filesystem::path second = NewestRecord();
  ASSERT_NE(second, first_);
  EXPECT_NE(Text(ids::kStatus).find("Following " + win::Narrow(second.wstring())),
            std::string::npos)
      << Text(ids::kStatus);
  EXPECT_NE(Text(ids::kStatus).find("a new run began at"), std::string::npos) << Text(ids::kStatus);
  const auto [ra, dec] = CorvaneLogRms();
  EXPECT_EQ(Text(ids::kRunARms), ra);
  EXPECT_EQ(Text(ids::kRunBRms), dec);
}

TEST_F(MonitorWindow, ATornLastLineWaitsForItsEnd) {
  // The record's last cycle once more, written in two pieces.
  const std::filesystem::path record = NewestRecord();
  const std::string text = ReadFileBytes(record.c_str());
  const std::size_t lastCycle = text.rfind("\ncycle,") + 1;
  const std::string last = text.substr(lastCycle, text.find('\n', lastCycle) + 1 - lastCycle);
  ASSERT_TRUE(Shows(ids::kCycles, "12"));
  AppendTo(record, last.substr(0, last.size() / 2));  // the writer stopped in a line
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(Text(ids::kCycles), "12");
  EXPECT_EQ(Text(ids::kProblem), "");
  AppendTo(record, last.substr(last.size() / 2));
  EXPECT_TRUE(Shows(ids::kCycles, "13", 1500ms)) << Text(ids::kCycles);
  const auto [ra, dec] = CorvaneLogRms();
  EXPECT_EQ(Text(ids::kRunARms), ra);
  EXPECT_EQ(Text(ids::kRunBRms), dec);
}

TEST_F(MonitorWindow, RemembersItsThemeAndPlace) {
  ASSERT_EQ(Text(ids::kTheme), "Night theme");
  SendMessageW(GetDlgItem(window_, ids::kTheme), BM_CLICK, 0, 0);
  EXPECT_EQ(Text(ids::kTheme), "Day theme");
  SetWindowPos(window_, nullptr, 40, 30, 1000, 690, SWP_NOZORDER);
  RECT before{};
  GetWindowRect(window_, &before);
  Close();
  Launch();
  EXPECT_EQ(Text(ids::kTheme), "Day theme");
  RECT after{};
  GetWindowRect(window_, &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_TRUE(Shows(ids::kCycles, "13"));  // and follows the run again
}

}  // namespace
}  // namespace corvane

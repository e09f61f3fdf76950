// Corvane Monitor's costs, measured on its real window (monitor/win) running in this program's
// main thread while another thread writes the night's record it follows (under Wine on a virtual
// X screen, or on Windows). The window opens on a run an hour old, as when the monitor is
// started during the night, so the whole run it shows is an hour of the record's own times:
//   latency  from a line flushed to the file to its cycle count in the window (read with
//            WM_GETTEXT every 2 ms), over 30 lines a second apart;
//   CPU      the window thread's processor time over a minute of one cycle a second on each
//            span (nobody reading the window meanwhile), and over 20 s with no new cycle;
//   memory   the process's memory after each hour of a 10-hour run of 10 stars (36,000 cycles,
//            the first hour as above, the others an hour at a time as fast as the window reads).
//   drawing  one frame of the graph, 15 minutes of one cycle a second: whole into a new bitmap,
//            whole as the window draws it (its bitmaps kept), and a new cycle added to it.
// Usage: corvane-bench-monitor [minute-seconds]; under Wine on a virtual X screen:
//   tests/wine/monitor/run-under-xvfb.sh $PWD/build/bench-prefix
//       build/mingw-x64/bench/corvane-bench-monitor.exe
#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "monitor/win/MonitorIds.h"
#include "monitor/win/MonitorWindow.h"
#include "win/AutomationValues.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kStars = 10;

// A night's record as Corvane writes it, for 10 stars: one star field wandering slowly, with
// noise. The run started an hour before the writer was made; the rows written at once fill that
// hour a second apart, and the rows written later carry the time they are written.
class RecordWriter {
 public:
  explicit RecordWriter(const std::wstring& path) : path_(path) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    start_ = Ticks(now) - 3600ull * 10'000'000ull;
    std::string cycleFields =
        "#cycle,ms,cycle,exposure_start_ms,exposure_end_ms,Xave,Yave,Xoff,"
        "Yoff,Xtim,Ytim,used,participation";
    for (int s = 1; s <= kStars; ++s) {
      for (const char* word : {"Xpos", "Ypos", "Xoff", "Yoff", "SN", "state"}) {
        cycleFields += "," + std::string(word) + std::to_string(s);
      }
    }
    const std::string startText = Civil(start_);
    std::string header =
        "corvane-record,0,1,\"bench\",\"" + startText + "\",\"" + startText + "\",0\r\n" +
        "#corvane-record,ms,format,version,start_local,start_utc,utc_offset_minutes\r\n"
        "#setup,ms,NumberStars,MinSN,MinStars,Duration,MinMove,MaxMove,Border,"
        "PredictPeriodicError\r\n"
        "#setting,ms,cycle,name,value\r\n"
        "setup,0,10,3,4,1,0.01,2,15,0\r\n" +
        cycleFields + "\r\n";
    for (const char* setting : {"GuiderAngle,25", "GuiderDeclination,30", "GuiderReverseX,0",
                                "GuiderAggressiveness,14", "GuiderXSpeed,5", "GuiderYSpeed,5"}) {
      header += "setting,0,1," + std::string(setting) + "\r\n";
    }
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    Write(header);
  }
  ~RecordWriter() { CloseHandle(file_); }
  // `count` cycles at once: a second apart after the last, or (`now`) ending at this moment.
  void Rows(int count, bool now = false) {
    std::string bytes;
    for (int i = 0; i < count; ++i) {
      if (now) {
        FILETIME time{};
        GetSystemTimeAsFileTime(&time);
        ms_ = std::max(ms_ + 1, static_cast<long long>((Ticks(time) - start_) / 10'000));
      } else {
        ms_ += 1000;
      }
      bytes += Row();
    }
    Write(bytes);
  }
  int Cycles() const { return cycles_; }

 private:
  static unsigned long long Ticks(const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  }
  static std::string Civil(unsigned long long ticks) {
    const FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME c{};
    FileTimeToSystemTime(&t, &c);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.wYear, c.wMonth, c.wDay,
                  c.wHour, c.wMinute, c.wSecond);
    return text;
  }
  std::string Row() {
    ++cycles_;
    const double x = 0.8 * std::sin(cycles_ / 240.0) + noise_(random_);
    const double y = 0.5 * std::cos(cycles_ / 300.0) + noise_(random_);
    char item[64];
    std::snprintf(item, sizeof item, "cycle,%lld,%d,%lld,%lld,", ms_, cycles_, ms_ - 1000, ms_);
    std::string row = item;
    const auto add = [&](double v) {
      std::snprintf(item, sizeof item, "%.7g,", v);
      row += item;
    };
    add(300 + x), add(200 + y), add(x), add(y), add(-0.3 * x), add(-0.3 * y);
    row += "10,all";
    for (int s = 0; s < kStars; ++s) {
      row += ",";
      add(100 + 50 * s + x), add(80 + 40 * s + y), add(x + noise_(random_)),
          add(y + noise_(random_)), add(20 + 10 * s + 3 * noise_(random_));
      row += "used";
    }
    return row + "\r\n";
  }
  void Write(const std::string& bytes) {
    DWORD written = 0;
    WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FlushFileBuffers(file_);
  }
  std::wstring path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  unsigned long long start_ = 0;  // the run's start, in FILETIME ticks (UTC)
  long long ms_ = 0;              // the last cycle's time, in ms since the start
  int cycles_ = 0;
  std::mt19937 random_{7};
  std::normal_distribution<double> noise_{0.0, 0.25};
};

double Seconds(const FILETIME& t) {
  return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                             t.dwLowDateTime) /
         1e7;
}

double ThreadSeconds(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1.0;
  return Seconds(kernel) + Seconds(user);
}

double ProcessSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1.0;
  return Seconds(kernel) + Seconds(user);
}

// The process's memory: private bytes (on Windows), working set and committed (pagefile) bytes.
std::string Memory() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(),
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters)) {
    return "unknown";
  }
  char text[128];
  const double mb = 1024.0 * 1024.0;
  std::snprintf(text, sizeof text, "private %.1f MB, working set %.1f MB, committed %.1f MB",
                static_cast<double>(counters.PrivateUsage) / mb,
                static_cast<double>(counters.WorkingSetSize) / mb,
                static_cast<double>(counters.PagefileUsage) / mb);
  return text;
}

// The time one frame of the graph takes: 15 minutes of one cycle a second, 700 x 480 pixels.
void TimeDrawing() {
  using namespace corvane::monitor;
  RunState run(RunInfo{10, {}, {}, {}, {}, false, {}, {}});
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0.0, 0.3);
  // The newest cycle just after a step of the 15-minute span's clock (90 s), so that the 40
  // cycles added later stay on the same axes.
  const double first = std::floor(1.7e9 / 90) * 90 - 898;
  const auto add = [&](int i, double size) {
    CycleLine line;
    line.row.xoff = size * noise(random);
    line.row.yoff = size * noise(random);
    line.row.xtim = -0.3 * line.row.xoff;
    line.row.stars.assign(10, {0, 0, 0, 0, 30});
    run.Add(line, first + i);
  };
  for (int i = 0; i < 900; ++i) add(i, 1.0);
  const GraphModel model = MakeGraph(run, Span::Minutes15, std::nullopt, 700);
  GraphModel moved = model;  // the same on axes a hair apart: drawn again whole
  moved.from -= 1e-3;
  const HDC screen = GetDC(nullptr);
  const RECT area{0, 0, 700, 480};
  const Offscreen window(screen, 700, 480);
  constexpr int kFrames = 40;
  double seconds = 0.0;
  const auto time = [&](auto frame) {
    const auto start = Clock::now();
    frame();
    BitBlt(screen, 0, 0, 1, 1, window.Dc(), 0, 0, SRCCOPY);
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
  };
  const auto milliseconds = [&] { return 1000 * std::exchange(seconds, 0.0) / kFrames; };
  for (int i = 0; i < kFrames; ++i) {
    time([&] {
      const Offscreen memory(screen, 700, 480);
      DrawGraph(memory.Dc(), area, model, DayTheme(), 1.0f, L"Tahoma");
      BitBlt(window.Dc(), 0, 0, 700, 480, memory.Dc(), 0, 0, SRCCOPY);
    });
  }
  const double whole = milliseconds();
  GraphPicture graph;
  for (int i = 0; i < kFrames; ++i) {
    time(
        [&] { graph.Draw(window.Dc(), area, i % 2 ? moved : model, DayTheme(), 1.0f, L"Tahoma"); });
  }
  const double kept = milliseconds();
  // Then a cycle at a time (smaller than the largest shown: the axes stay).
  for (int i = 0; i < kFrames; ++i) {
    add(900 + i, 0.5);
    const GraphModel next = MakeGraph(run, Span::Minutes15, std::nullopt, 700);
    time([&] { graph.Draw(window.Dc(), area, next, DayTheme(), 1.0f, L"Tahoma"); });
  }
  const double added = milliseconds();
  std::printf(
      "drawing, one frame of the graph (15 min of one cycle a second, 700 x 480): %.1f ms whole "
      "in a new bitmap, %.1f ms whole as the window draws it (its bitmaps kept), %.2f ms for a new "
      "cycle on the same axes\n",
      whole, kept, added);
  ReleaseDC(nullptr, screen);
}

std::string CyclesShown(HWND window) {
  wchar_t text[64] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(GetDlgItem(window, corvane::monitor_ids::kCycles), WM_GETTEXT, 64,
                      reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &length);
  char narrow[64] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

bool WaitForCount(HWND window, int count, double seconds, double& waited) {
  const auto start = Clock::now();
  const std::string wanted = std::to_string(count);
  while (CyclesShown(window) != wanted) {
    if (std::chrono::duration<double>(Clock::now() - start).count() > seconds) return false;
    Sleep(2);
  }
  waited = std::chrono::duration<double>(Clock::now() - start).count();
  return true;
}

// The measurements, on their own thread while the window runs on the main one.
void Measure(HWND window, HANDLE windowThread, RecordWriter& writer, double minute) {
  double caughtUp = 0.0;
  WaitForCount(window, writer.Cycles(), 120.0, caughtUp);
  Sleep(2000);
  TimeDrawing();
  // Latency: flushed to shown.
  std::vector<double> latency;
  for (int i = 0; i < 30; ++i) {
    writer.Rows(1, true);
    double waited = 0.0;
    if (!WaitForCount(window, writer.Cycles(), 5.0, waited)) {
      std::printf("cycle %d not shown within 5 s\n", writer.Cycles());
      continue;
    }
    latency.push_back(waited);
    Sleep(static_cast<DWORD>(std::max(0.0, 1000.0 - waited * 1000.0)));
  }
  std::sort(latency.begin(), latency.end());
  if (!latency.empty()) {
    std::printf(
        "latency, line flushed to shown (%zu lines): median %.0f ms, 90th %.0f ms, "
        "longest %.0f ms\n",
        latency.size(), 1000 * latency[latency.size() / 2], 1000 * latency[latency.size() * 9 / 10],
        1000 * latency.back());
  }

  // Processor time while following one cycle a second, and while nothing comes.
  const auto processor = [&](const char* what, double seconds, bool write) {
    const double before = ThreadSeconds(windowThread), processBefore = ProcessSeconds();
    const auto start = Clock::now();
    int lines = 0;
    while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
      if (write) {
        writer.Rows(1, true);
        ++lines;
      }
      Sleep(1000);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double used = ThreadSeconds(windowThread) - before;
    const double process = ProcessSeconds() - processBefore;
    std::printf(
        "processor, %s: window thread %.3f s in %.0f s = %.2f %% of one core "
        "(the whole process, the writer included: %.2f %%; %d cycles)\n",
        what, used, wall, 100.0 * used / wall, 100.0 * process / wall, lines);
  };
  // A minute of one cycle a second on each span.
  const struct {
    int button;
    const char* name;
  } spans[] = {{corvane::monitor_ids::kSpan5, "one cycle a second, 5 min shown"},
               {corvane::monitor_ids::kSpan15, "one cycle a second, 15 min shown"},
               {corvane::monitor_ids::kSpan60, "one cycle a second, 60 min shown"},
               {corvane::monitor_ids::kSpanAll, "one cycle a second, the whole run shown"}};
  for (const auto& span : spans) {
    SendMessageW(GetDlgItem(window, span.button), BM_CLICK, 0, 0);
    Sleep(500);
    processor(span.name, minute, true);
  }
  SendMessageW(GetDlgItem(window, corvane::monitor_ids::kSpan15), BM_CLICK, 0, 0);
  processor("no new cycle", minute / 3, false);

  // Memory over a 10-hour run.
  std::printf("memory, hours of one cycle a second (10 stars):\n  after  1 h (%5d cycles): %s\n",
              writer.Cycles(), Memory().c_str());
  for (int hour = 2; hour <= 10; ++hour) {
    for (int block = 0; block < 36; ++block) writer.Rows(100);
    double waited = 0.0;
    if (!WaitForCount(window, writer.Cycles(), 120.0, waited)) {
      std::printf("  hour %d not caught up within 120 s\n", hour);
    }
    std::printf("  after %2d h (%5d cycles): %s\n", hour, writer.Cycles(), Memory().c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const double minute = argc > 1 ? std::wcstod(argv[1], nullptr) : 60.0;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / L"corvane-bench-monitor";
  std::filesystem::create_directories(folder);
  const std::wstring log = (folder / L"night.csv").wstring();
  RecordWriter writer(log);
  // The run is an hour old when the window opens.
  for (int block = 0; block < 36; ++block) writer.Rows(100);

  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  HANDLE windowThread = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &windowThread, 0,
                  FALSE, DUPLICATE_SAME_ACCESS);
  const DWORD windowThreadId = GetCurrentThreadId();
  {
    corvane::monitor::MonitorWindow monitor(GetModuleHandleW(nullptr), {},
                                            corvane::win::Narrow(log));
    HWND window = FindWindowW(corvane::monitor_ids::kWindowClass, nullptr);
    std::thread measuring([&] {
      Measure(window, windowThread, writer, minute);
      // Ended without WM_CLOSE: the window does not save its place over the user's settings.
      PostThreadMessageW(windowThreadId, WM_QUIT, 0, 0);
    });
    monitor.Run();
    measuring.join();
  }
  CloseHandle(windowThread);
  Gdiplus::GdiplusShutdown(token);
  return 0;
}

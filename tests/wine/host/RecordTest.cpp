// The real Corvane.dll's record of a run in Documents\Corvane, and a record that cannot be
// created (no Documents folder) or written (a full disk: the DLL's own WriteFile made to fail for
// the record's file) leaving the run and the guide log exactly as with a whole record.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "hostkit/win/ClassRegistration.h"
#include "hostkit/win/HostComObjects.h"
#include "tests/wine/host/TestDll.h"
#include "tests/wine/unit/DiskFakes.h"
#include "win/AutomationValues.h"
#include "win/UniqueResource.h"

namespace corvane::testhost {
namespace {

using Lines = std::vector<std::string>;
using Messages = std::vector<std::wstring>;

constexpr const wchar_t* kLogPath = L"c:\\Corvane.csv";

std::wstring Documents() {
  win::UniqueCoTaskMem<wchar_t> folder;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, folder.Receive()))) return {};
  return folder.Get();
}

std::set<std::wstring> RecordsIn(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*.csv").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.insert(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

Lines SplitLines(const std::string& bytes) {
  Lines lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));  // a torn line
  return lines;
}

Lines Fields(const std::string& line) {
  Lines fields;
  std::istringstream items(line);
  std::string item;
  while (std::getline(items, item, ',')) fields.push_back(item);
  return fields;
}

// --- A full disk for the record's file only: Corvane.dll's imports of CreateFileW and WriteFile
// point at these while the patch lasts.

std::atomic<HANDLE> recordHandle{INVALID_HANDLE_VALUE};

HANDLE WINAPI CreateFileNoting(LPCWSTR path, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE model) {
  const HANDLE file = CreateFileW(path, access, share, security, disposition, flags, model);
  if (std::wcsstr(path, L"\\Corvane\\") != nullptr) recordHandle = file;
  return file;
}

BOOL WINAPI WriteFillingTheRecordsDisk(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                       LPOVERLAPPED overlapped) {
  if (file != recordHandle) return WriteFile(file, bytes, size, written, overlapped);
  return win::WriteUntilTheDiskIsFull(file, bytes, size, written, overlapped);
}

// Points one of a module's imports from kernel32 at another function while it lives.
class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* function, const void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* library =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
      if (lstrcmpiA(reinterpret_cast<const char*>(base + library->Name), "kernel32.dll") != 0) {
        continue;
      }
      const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
          base + (library->OriginalFirstThunk ? library->OriginalFirstThunk : library->FirstThunk));
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* byName =
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
        slot_ = reinterpret_cast<void**>(&slots->u1.Function);
        original_ = Swap(const_cast<void*>(replacement));
        return;
      }
    }
  }
  ~ImportPatch() {
    if (slot_) Swap(original_);
  }
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  explicit operator bool() const { return slot_ != nullptr; }

 private:
  void* Swap(void* to) {
    DWORD protection = 0;
    VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &protection);
    void* before = *slot_;
    *slot_ = to;
    VirtualProtect(slot_, sizeof(void*), protection, &protection);
    return before;
  }

  void** slot_ = nullptr;
  void* original_ = nullptr;
};

// The user's Documents folder, as the system says, somewhere that does not exist while it lives.
class DocumentsMissing {
 public:
  DocumentsMissing() {
    RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ | KEY_WRITE, key_.Receive());
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = REG_EXPAND_SZ;
    had_ = RegQueryValueExW(key_.Get(), L"Personal", nullptr, &type, reinterpret_cast<BYTE*>(value),
                            &size) == ERROR_SUCCESS;
    before_ = value;
    type_ = type;
    Set(L"C:\\no such drive folder\\Documents", REG_SZ);
  }
  ~DocumentsMissing() {
    if (had_) {
      Set(before_, type_);
    } else {
      RegDeleteValueW(key_.Get(), L"Personal");
    }
  }
  DocumentsMissing(const DocumentsMissing&) = delete;
  DocumentsMissing& operator=(const DocumentsMissing&) = delete;

 private:
  static constexpr const wchar_t* kKey =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  void Set(const std::wstring& value, DWORD type) {
    RegSetValueExW(key_.Get(), L"Personal", 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  win::UniqueRegistryKey key_;
  bool had_ = false;
  std::wstring before_;
  DWORD type_ = REG_SZ;
};

struct RunOutcome {
  CallOutcome call;
  Messages messages;
  std::string log;
  std::vector<std::string> calls;  // member names, as the host saw them
  std::optional<std::string> record;
  std::wstring recordName;
};

// Two stars drifting (+1, -0.5), back, then (-2, +1); the host sends event 15 during the third
// guide exposure.
HostScript ThreeCycles() {
  HostScript script;
  script.stars = {{{100, 200}, 20}, {{300, 150}, 30}};
  script.clicks = {{101, 199}, {299.5, 150.5}};
  script.shiftPerExposure = {{0, 0}, {1, -0.5}, {0, 0}, {-2, 1}};
  script.runningPolls = 2;
  script.stopEventDuringExposure = 3;
  return script;
}

class RunRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    host = std::make_unique<ScriptedHost>(ThreeCycles());
    registration = std::make_unique<hostcom::HostRegistration>(
        session, [this] { return host->CreateApplication(); },
        [this] { return host->CreateCamera(); });
    plugin = std::make_unique<PlugInClient>();
    host->SetNotify([this](std::int16_t code) { plugin->CCDCamera_Notify(code); });
    records = Documents() + L"\\Corvane";
  }
  void TearDown() override {
    plugin.reset();
    registration.reset();
  }

  RunOutcome Run(ScreenUser::Script script) {
    DeleteFileW(kLogPath);
    session->ClearCalls();
    const std::set<std::wstring> before = RecordsIn(records);
    RunOutcome outcome;
    ScreenUser user(std::move(script));
    outcome.call = plugin->DoModal();
    user.Finish();
    outcome.messages = user.Messages();
    for (const auto& problem : user.Problems()) ADD_FAILURE() << "at the screen: " << problem;
    outcome.log = ReadFileBytes(kLogPath).value_or("<none>");
    for (const auto& call : session->Calls()) outcome.calls.push_back(call.member);
    for (const std::wstring& name : RecordsIn(records)) {
      if (before.count(name)) continue;
      EXPECT_FALSE(outcome.record) << "a second new record";
      outcome.recordName = name;
      outcome.record = ReadFileBytes(records + L"\\" + name);
      DeleteFileW((records + L"\\" + name).c_str());
    }
    return outcome;
  }

  static void Answer(UserActions& at) {
    at.AnswerInitial(L"3");
    at.AnswerSetup({L"2"});
  }

  std::shared_ptr<hostcom::HostSession> session = std::make_shared<hostcom::HostSession>();
  std::unique_ptr<ScriptedHost> host;
  std::unique_ptr<hostcom::HostRegistration> registration;
  std::unique_ptr<PlugInClient> plugin;
  std::wstring records;
};

TEST_F(RunRecord, EachRunLeavesItsRecordInDocumentsCorvane) {
  const RunOutcome run = Run(Answer);
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_EQ(run.messages, Messages{L"EventCode 15 received"});
  ASSERT_TRUE(run.record) << "no new record in " << win::Narrow(records);
  // Named by the local start time: "YYYY-MM-DD HH-MM-SS.csv", or " (N).csv" when an earlier run
  // (the previous test's, say) took that second's name.
  EXPECT_TRUE(std::regex_match(
      run.recordName,
      std::wregex(LR"(\d{4}-\d\d-\d\d \d\d-\d\d-\d\d( \(([2-9]|[1-9]\d+)\))?\.csv)")))
      << win::Narrow(run.recordName);

  const Lines lines = SplitLines(*run.record);
  ASSERT_GT(lines.size(), 20u);
  EXPECT_EQ(run.record->substr(run.record->size() - 2), "\r\n");
  EXPECT_EQ(lines[0].rfind("corvane-record,0,1,", 0), 0u);
  std::multimap<std::string, Lines> kinds;
  for (const std::string& line : lines) kinds.emplace(Fields(line)[0], Fields(line));
  // The cycles as the guide log has them, the pulses as the host received them.
  const Lines log = SplitLines(run.log);
  ASSERT_EQ(log.size(), 4u);
  ASSERT_EQ(kinds.count("cycle"), 3u);
  std::size_t row = 1;
  for (auto [it, end] = kinds.equal_range("cycle"); it != end; ++it, ++row) {
    const Lines logged = Fields(log[row]);
    EXPECT_EQ(Lines(it->second.begin() + 5, it->second.begin() + 11),
              Lines(logged.begin(), logged.begin() + 6));
  }
  EXPECT_EQ(kinds.count("pulse"), host->Record().moves.size());
  const Lines sensor = kinds.find("sensor")->second;
  EXPECT_EQ(Lines(sensor.begin() + 2, sensor.end()), (Lines{"752", "582"}));
  EXPECT_EQ(kinds.find("message")->second[2], "\"EventCode 15 received\"");
  EXPECT_EQ(kinds.find("end")->second[2], "stopped-by-camera-event");
  // The sensor size is the one read the run makes for its record alone, after the full frame.
  EXPECT_EQ(session->CallsOf("GuiderXSize").size(), 1u);
}

TEST_F(RunRecord, ARecordThatCannotBeCreatedOrWrittenChangesNothingOfTheRun) {
  const RunOutcome whole = Run(Answer);
  ASSERT_TRUE(whole.record);

  RunOutcome uncreated;
  {
    const DocumentsMissing missing;
    uncreated = Run([](UserActions& at) {
      at.DismissMessage();  // at once, before the first dialog
      Answer(at);
    });
  }
  EXPECT_FALSE(uncreated.record);
  ASSERT_EQ(uncreated.messages.size(), 2u);
  EXPECT_EQ(uncreated.messages[0].rfind(L"This run's record cannot be created: ", 0), 0u)
      << win::Narrow(uncreated.messages[0]);
  EXPECT_EQ(uncreated.messages[1], L"EventCode 15 received");

  RunOutcome unwritten;
  {
    const HMODULE dll = GetModuleHandleW(L"Corvane.dll");
    ASSERT_NE(dll, nullptr);
    const ImportPatch creating(dll, "CreateFileW",
                               reinterpret_cast<const void*>(&CreateFileNoting));
    const ImportPatch writing(dll, "WriteFile",
                              reinterpret_cast<const void*>(&WriteFillingTheRecordsDisk));
    ASSERT_TRUE(creating && writing);
    win::diskSpaceLeft = 1000;  // the first lines, then the disk is full
    unwritten = Run(Answer);    // the two messages are dismissed as they come
    recordHandle = INVALID_HANDLE_VALUE;
  }
  ASSERT_EQ(unwritten.messages.size(), 2u);
  EXPECT_EQ(unwritten.messages[1].rfind(L"This run's record is incomplete: ", 0), 0u)
      << win::Narrow(unwritten.messages[1]);
  EXPECT_NE(unwritten.messages[1].find(L"cannot be written: "), std::wstring::npos);
  ASSERT_TRUE(unwritten.record);
  EXPECT_GT(unwritten.record->size(), 500u);
  EXPECT_LE(unwritten.record->size(), 1000u);
  EXPECT_EQ(unwritten.record->substr(unwritten.record->size() - 2), "\r\n");  // whole lines
  const Lines kept = SplitLines(*unwritten.record), all = SplitLines(*whole.record);
  ASSERT_LT(kept.size(), all.size());
  for (std::size_t n = 1; n < kept.size(); ++n) {  // the first holds the start time
    EXPECT_EQ(Fields(kept[n])[0], Fields(all[n])[0]) << n;
  }

  for (const RunOutcome* run : {&uncreated, &unwritten}) {
    EXPECT_EQ(run->call.result, S_OK);
    EXPECT_EQ(run->calls, whole.calls);
    EXPECT_EQ(run->log, whole.log);
  }
}

}  // namespace
}  // namespace corvane::testhost

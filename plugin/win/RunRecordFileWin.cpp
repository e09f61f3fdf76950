#include "plugin/win/RunRecordFileWin.h"

#include <deque>
#include <optional>

#include "base/RunFailure.h"
#include "guiding/RecordFormat.h"
#include "win/AutomationValues.h"
#include "win/Failures.h"
#include "win/UniqueResource.h"

namespace corvane::win {

namespace {

HRESULT LastError() {
  const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
  return FAILED(hr) ? hr : E_FAIL;
}

// An exclusive hold of a slim lock for one scope.
class Hold {
 public:
  explicit Hold(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~Hold() { ReleaseSRWLockExclusive(&lock_); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  SRWLOCK& lock_;
};

// What the run's thread and the writer share; the last of them to let go frees it.
struct Shared {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  std::deque<std::string> queue;
  bool closing = false;
  std::int64_t lost = 0;
  std::string failure;
  std::optional<WholeLineFile> file;  // the writer's alone once it runs

  // Under the lock.
  void GiveUp(std::int64_t lines, const std::string& why) {
    lost += lines;
    if (failure.empty()) failure = why;
  }
};

// The writer: takes the waiting lines, writes them and flushes, until the record is closed.
void WriteUntilClosed(Shared& shared) {
  for (;;) {
    std::deque<std::string> lines;
    {
      Hold hold(shared.lock);
      while (shared.queue.empty() && !shared.closing) {
        SleepConditionVariableSRW(&shared.wake, &shared.lock, INFINITE, 0);
      }
      if (shared.queue.empty()) break;  // closing, and nothing left
      lines.swap(shared.queue);
    }
    bool wrote = false;
    for (const std::string& line : lines) {
      try {
        shared.file->Write(line);
        wrote = true;
      } catch (const std::exception& failure) {
        Hold hold(shared.lock);
        shared.GiveUp(1, failure.what());
      }
    }
    try {
      if (wrote) shared.file->Flush();
    } catch (const std::exception& failure) {
      Hold hold(shared.lock);
      if (shared.failure.empty()) shared.failure = failure.what();
    }
  }
  try {
    shared.file->Close();
  } catch (const std::exception& failure) {
    Hold hold(shared.lock);
    if (shared.failure.empty()) shared.failure = failure.what();
  }
}

struct WriterStart {
  std::shared_ptr<Shared> shared;
  HMODULE module = nullptr;  // a reference of the writer's own, let go as it ends
};

DWORD WINAPI WriterMain(void* parameter) {
  HMODULE module = nullptr;
  {
    const std::unique_ptr<WriterStart> start(static_cast<WriterStart*>(parameter));
    module = start->module;
    WriteUntilClosed(*start->shared);
  }
  // Nothing of the module runs after this call, which lets go of the writer's reference.
  FreeLibraryAndExitThread(module, 0);
}

class WinRunRecordFile final : public RunRecordFile {
 public:
  WinRunRecordFile(std::shared_ptr<Shared> shared, UniqueHandle writer, RecordWriterLimits limits)
      : shared_(std::move(shared)), writer_(std::move(writer)), limits_(limits) {}
  ~WinRunRecordFile() override { Close(); }
  WinRunRecordFile(const WinRunRecordFile&) = delete;
  WinRunRecordFile& operator=(const WinRunRecordFile&) = delete;

  void Write(std::string line) noexcept override {
    {
      Hold hold(shared_->lock);
      if (!writer_ || shared_->closing) {
        shared_->GiveUp(1, "the record is closed");
        return;
      }
      if (shared_->queue.size() >= limits_.queuedLines) {
        shared_->GiveUp(1, "the disk did not keep up with the run");
        return;
      }
      try {
        shared_->queue.push_back(std::move(line));
      } catch (...) {
        shared_->GiveUp(1, "out of memory");
        return;
      }
    }
    WakeConditionVariable(&shared_->wake);
  }

  void Close() noexcept override {
    {
      Hold hold(shared_->lock);
      if (shared_->closing) return;
      shared_->closing = true;
    }
    if (!writer_) return;
    WakeConditionVariable(&shared_->wake);
    if (WaitForSingleObject(writer_.Get(), limits_.closeWaitMs) != WAIT_OBJECT_0) {
      // The disk still holds the writer: what waits is given up; the writer ends by itself.
      Hold hold(shared_->lock);
      shared_->GiveUp(static_cast<std::int64_t>(shared_->queue.size()),
                      "the disk did not take the last lines in time");
      shared_->queue.clear();
    }
  }

  std::int64_t LinesLost() const noexcept override {
    Hold hold(shared_->lock);
    return shared_->lost;
  }

  std::string Failure() const override {
    Hold hold(shared_->lock);
    return shared_->failure;
  }

 private:
  std::shared_ptr<Shared> shared_;
  UniqueHandle writer_;  // none when the record could not be created
  RecordWriterLimits limits_;
};

std::unique_ptr<RunRecordFile> NotCreated(const std::string& why) {
  auto shared = std::make_shared<Shared>();
  shared->failure = why;
  return std::make_unique<WinRunRecordFile>(std::move(shared), UniqueHandle(),
                                            RecordWriterLimits{});
}

}  // namespace

std::wstring RecordFolder(const std::wstring& documents) {
  if (documents.empty()) return {};
  std::wstring folder = documents;
  if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder + kRecordFolderName;
}

std::unique_ptr<RunRecordFile> CreateRunRecordFile(const std::wstring& documents,
                                                   const CivilTime& localStart,
                                                   WholeLineFile::WriteFunction write,
                                                   RecordWriterLimits limits) {
  const std::wstring folder = RecordFolder(documents);
  if (folder.empty()) return NotCreated("the user's Documents folder cannot be found");
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return NotCreated(FailureDescription(Narrow(folder) + " cannot be made", LastError()));
  }
  // Never over an earlier record: the next free name.
  UniqueFile file;
  std::wstring path;
  for (int sequence = 1; !file; ++sequence) {
    path = folder + L'\\' + Widen(record::FileName(localStart, sequence));
    file.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) break;
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || sequence >= 9999) {
      return NotCreated(
          FailureDescription(Narrow(path) + " cannot be created", HRESULT_FROM_WIN32(error)));
    }
  }

  auto shared = std::make_shared<Shared>();
  shared->file.emplace(std::move(file), path, "The record", write);
  auto start = std::make_unique<WriterStart>();
  start->shared = shared;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&WriterMain), &start->module)) {
    return NotCreated(FailureDescription("The record's writer cannot start", LastError()));
  }
  UniqueHandle writer(CreateThread(nullptr, 0, &WriterMain, start.get(), 0, nullptr));
  if (!writer) {
    const HRESULT hr = LastError();
    FreeLibrary(start->module);
    return NotCreated(FailureDescription("The record's writer cannot start", hr));
  }
  start.release();  // the writer's now
  return std::make_unique<WinRunRecordFile>(std::move(shared), std::move(writer), limits);
}

}  // namespace corvane::win

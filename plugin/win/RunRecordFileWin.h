// The run's record on disk: a file in the user's Documents\Corvane folder, named by the run's
// local start time and never replacing one (a later run in the same second takes " (2)", ...),
// shared for reading while it is written.
//
// A thread of the record's own writes and flushes the lines the run hands over, so the run never
// waits for the disk (a flush can take long on a busy or sleeping disk, and a network folder can
// stall for seconds): the lines wait in a bounded queue, and a line that finds the queue full, or
// that the disk refuses, is given up whole and counted. Close waits a bounded time for the queue
// to empty; the lines still waiting then are given up. The thread holds a reference to the module
// it runs in until it has ended, so the module is never unloaded under it, even when Close has
// stopped waiting for it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "guiding/RunEnvironment.h"
#include "plugin/win/WholeLineFile.h"

namespace corvane::win {

inline constexpr const wchar_t* kRecordFolderName = L"Corvane";

struct RecordWriterLimits {
  std::size_t queuedLines = 4096;  // lines waiting for the disk; more are given up
  DWORD closeWaitMs = 5000;        // how long Close waits for the waiting lines
};

// Creates the record in `documents`\Corvane (made when missing). When it cannot be created the
// record returned says why in Failure(), and gives up every line.
std::unique_ptr<RunRecordFile> CreateRunRecordFile(const std::wstring& documents,
                                                   const CivilTime& localStart,
                                                   WholeLineFile::WriteFunction write = &WriteFile,
                                                   RecordWriterLimits limits = {});

// Where a record created now would be: the folder, "" when there is no Documents folder.
std::wstring RecordFolder(const std::wstring& documents);

}  // namespace corvane::win

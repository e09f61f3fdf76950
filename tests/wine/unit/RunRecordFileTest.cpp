// The run's record on disk: named by the start time and never replacing a record, written in
// order by its own thread, whole lines only when the disk fills up (and again once it has room),
// never holding up the run when the disk stalls, and told why when it cannot be created.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "plugin/win/RunRecordFileWin.h"
#include "tests/wine/unit/DiskFakes.h"
#include "win/UniqueResource.h"

namespace corvane::win {
namespace {

const CivilTime kStart{2024, 5, 1, 22, 13, 5, 0};

class RecordFile : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    documents =
        std::wstring(temp) + L"corvane-record-test-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(documents.c_str(), nullptr);
    folder = documents + L"\\Corvane";
  }
  void TearDown() override {
    for (const wchar_t* name : {L"2024-05-01 22-13-05.csv", L"2024-05-01 22-13-05 (2).csv"}) {
      DeleteFileW((folder + L"\\" + name).c_str());
    }
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(documents.c_str());
  }

  std::wstring documents, folder;
};

TEST_F(RecordFile, ARecordIsNeverReplacedAndItsLinesArriveInOrder) {
  auto first = CreateRunRecordFile(documents, kStart);
  auto second = CreateRunRecordFile(documents, kStart);  // a run in the same second
  EXPECT_EQ(first->Failure(), "");
  EXPECT_EQ(second->Failure(), "");
  std::string expected;
  for (int n = 0; n < 200; ++n) {
    const std::string line = "cycle," + std::to_string(n) + "\r\n";
    first->Write(line);
    expected += line;
  }
  second->Write("corvane-record,0\r\n");
  // Each line is on disk soon after it is handed over, while the record is open.
  const std::wstring firstPath = folder + L"\\2024-05-01 22-13-05.csv";
  for (int wait = 0; wait < 100 && SharedContents(firstPath) != expected; ++wait) Sleep(20);
  EXPECT_EQ(SharedContents(firstPath), expected);
  first->Close();
  second->Close();
  first->Write("late\r\n");  // given up
  EXPECT_EQ(SharedContents(firstPath), expected);
  EXPECT_EQ(SharedContents(folder + L"\\2024-05-01 22-13-05 (2).csv"), "corvane-record,0\r\n");
  EXPECT_EQ(first->LinesLost(), 1);
  EXPECT_EQ(second->LinesLost(), 0);
}

TEST_F(RecordFile, AFullDiskLeavesWholeLinesAndTheRecordGoesOnWhenThereIsRoomAgain) {
  const std::string line = "cycle,1,12.5,-0.25\r\n";
  diskSpaceLeft = 2 * line.size() + 7;  // two lines and a part of the third
  auto record = CreateRunRecordFile(documents, kStart, &WriteUntilTheDiskIsFull);
  for (int n = 0; n < 4; ++n) record->Write(line);
  const std::wstring path = folder + L"\\2024-05-01 22-13-05.csv";
  for (int wait = 0; wait < 100 && record->LinesLost() < 2; ++wait) Sleep(20);
  EXPECT_EQ(record->LinesLost(), 2);
  EXPECT_EQ(SharedContents(path), line + line);  // cut back while still open
  EXPECT_EQ(record->Failure().rfind("The record ", 0), 0u) << record->Failure();
  EXPECT_NE(record->Failure().find("cannot be written: "), std::string::npos);

  diskSpaceLeft = 1000;  // room again
  record->Write("record-problem,0,lines-lost\r\n");
  record->Close();
  EXPECT_EQ(SharedContents(path), line + line + "record-problem,0,lines-lost\r\n");
  EXPECT_EQ(record->LinesLost(), 2);
}

// A disk that holds every write until it is let go.
HANDLE writing = nullptr;
HANDLE stalled = nullptr;

BOOL WINAPI WriteWhenLetGo(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                           LPOVERLAPPED overlapped) {
  SetEvent(writing);
  WaitForSingleObject(stalled, INFINITE);
  return WriteFile(file, bytes, size, written, overlapped);
}

TEST_F(RecordFile, AStalledDiskNeverHoldsUpTheRunAndCloseWaitsABoundedTime) {
  const UniqueHandle letGo(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const UniqueHandle held(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  stalled = letGo.Get();
  writing = held.Get();
  RecordWriterLimits limits;
  limits.queuedLines = 100;
  limits.closeWaitMs = 200;
  auto record = CreateRunRecordFile(documents, kStart, &WriteWhenLetGo, limits);
  record->Write("cycle\r\n");
  ASSERT_EQ(WaitForSingleObject(held.Get(), 5000), WAIT_OBJECT_0);  // the writer is stuck in it
  // Were a Write to wait for the disk, this would never end.
  for (int n = 1; n < 1000; ++n) record->Write("cycle\r\n");
  EXPECT_EQ(record->LinesLost(), 1000 - 100 - 1);
  EXPECT_EQ(record->Failure(), "the disk did not keep up with the run");
  record->Close();                           // returns with the writer still held by the disk
  EXPECT_EQ(record->LinesLost(), 1000 - 1);  // all but the line the writer holds
  SetEvent(letGo.Get());
  // The writer ends by itself once the disk lets go, with the one line it held.
  const std::wstring path = folder + L"\\2024-05-01 22-13-05.csv";
  for (int wait = 0; wait < 100 && SharedContents(path) != "cycle\r\n"; ++wait) Sleep(20);
  EXPECT_EQ(SharedContents(path), "cycle\r\n");
  record.reset();
  for (int wait = 0; wait < 100 && !DeleteFileW(path.c_str()); ++wait) Sleep(20);
}

TEST_F(RecordFile, ARecordThatCannotBeCreatedSaysWhyAndGivesUpItsLines) {
  const std::wstring noSuchFolder = documents + L"\\no such folder";
  auto record = CreateRunRecordFile(noSuchFolder, kStart);
  EXPECT_NE(record->Failure().find("no such folder\\Corvane cannot be made: "), std::string::npos)
      << record->Failure();
  record->Write("line\r\n");
  record->Close();
  EXPECT_EQ(record->LinesLost(), 1);
  EXPECT_EQ(CreateRunRecordFile(L"", kStart)->Failure(),
            "the user's Documents folder cannot be found");
}

}  // namespace
}  // namespace corvane::win

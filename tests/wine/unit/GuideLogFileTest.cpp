// The guide log on disk: emptied at each run, written as given, readable while it is written,
// in the Documents folder (said once) when the primary path cannot be created, and holding whole
// lines only when the disk fills up.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/RunFailure.h"
#include "plugin/win/GuideLogFileWin.h"
#include "tests/wine/unit/DiskFakes.h"
#include "win/UniqueResource.h"

namespace corvane::win {
namespace {

class GuideLogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"corvane-log-test-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    documents = folder + L"\\Documents";
    CreateDirectoryW(documents.c_str(), nullptr);
    primary = folder + L"\\Corvane.csv";
  }
  void TearDown() override {
    DeleteFileW(primary.c_str());
    RemoveDirectoryW(primary.c_str());
    DeleteFileW((documents + L"\\Corvane.csv").c_str());
    RemoveDirectoryW(documents.c_str());
    RemoveDirectoryW(folder.c_str());
  }

  std::unique_ptr<WinGuideLogFile> Create() {
    return CreateGuideLogFile(primary, documents,
                              [this](const std::string& text) { told.push_back(text); });
  }

  std::wstring folder, documents, primary;
  std::vector<std::string> told;
};

TEST_F(GuideLogFile, EachRunEmptiesTheLogAndWritesItsBytesAsGiven) {
  {
    auto log = Create();
    log->Write("old run, a longer line than the next run's\r\n");
    log->Close();
  }
  auto log = Create();
  EXPECT_EQ(SharedContents(primary), "");
  log->Write("\"Xave\",\"Yave\",\"\"\r\n");
  log->Flush();
  EXPECT_EQ(SharedContents(primary), "\"Xave\",\"Yave\",\"\"\r\n");  // readable while open
  log->Write("101.5,198.25,\"\"\r\n");
  log->Close();
  EXPECT_EQ(SharedContents(primary), "\"Xave\",\"Yave\",\"\"\r\n101.5,198.25,\"\"\r\n");
  EXPECT_TRUE(told.empty());
  EXPECT_EQ(log->Path(), primary);
}

TEST_F(GuideLogFile, FallsBackToTheDocumentsFolderAndSaysSoOnce) {
  ASSERT_TRUE(CreateDirectoryW(primary.c_str(), nullptr));  // the primary path cannot be a file
  auto log = Create();
  log->Write("line\r\n");
  log->Close();
  const std::wstring fallback = documents + L"\\Corvane.csv";
  EXPECT_EQ(log->Path(), fallback);
  EXPECT_EQ(SharedContents(fallback), "line\r\n");
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("cannot be written to"), std::string::npos);
  EXPECT_NE(told[0].find("Documents\\Corvane.csv"), std::string::npos);
}

TEST_F(GuideLogFile, FailsWithAFileFailureWhenNeitherPlaceCanBeCreated) {
  ASSERT_TRUE(CreateDirectoryW(primary.c_str(), nullptr));
  try {
    CreateGuideLogFile(primary, folder + L"\\no such folder",
                       [this](const std::string& text) { told.push_back(text); });
    FAIL() << "no RunFailure";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Kind(), FailureKind::File);
    EXPECT_LT(failure.Code(), 0);
    EXPECT_NE(failure.Description().find("Corvane.csv"), std::string::npos);
  }
  EXPECT_TRUE(told.empty());
}

TEST_F(GuideLogFile, AFullDiskLeavesOnlyWholeLines) {
  const std::string header = "\"Xave\",\"Yave\",\"\"\r\n", row = "101.5,198.25,\"\"\r\n";
  for (const std::size_t partOfTheLastRow : {std::size_t{0}, std::size_t{7}, row.size() - 1}) {
    SCOPED_TRACE(partOfTheLastRow);
    diskSpaceLeft = header.size() + 2 * row.size() + partOfTheLastRow;
    WinGuideLogFile log(UniqueFile(CreateFileW(primary.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                               nullptr, CREATE_ALWAYS, 0, nullptr)),
                        primary, &WriteUntilTheDiskIsFull);
    log.Write(header);
    log.Write(row);
    log.Write(row);
    try {
      log.Write(row);
      FAIL() << "no RunFailure";
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.Kind(), FailureKind::File);
      EXPECT_EQ(failure.Code(), static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_DISK_FULL)));
      EXPECT_NE(failure.Description().find("cannot be written: "), std::string::npos);
    }
    EXPECT_EQ(SharedContents(primary), header + row + row);  // already cut back while still open
    log.Close();
    EXPECT_EQ(SharedContents(primary), header + row + row);
  }
}

TEST_F(GuideLogFile, WritingAfterCloseIsAFileFailure) {
  auto log = Create();
  log->Close();
  log->Close();  // closing twice is harmless
  try {
    log->Write("late\r\n");
    FAIL() << "no RunFailure";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Kind(), FailureKind::File);
  }
}

}  // namespace
}  // namespace corvane::win

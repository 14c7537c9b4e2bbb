#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "store/data_path_win.h"
#include "tests/support/test_files.h"

using sitemon_test::RemoveTree;
using sitemon_test::TempFolder;
namespace fs = std::filesystem;

namespace {

std::wstring AppData() {
  wchar_t path[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, FALSE)) return {};
  return path;
}

// The prefix's AppData is shared by every test program: each run uses a name of its own and
// removes it again.
class DataPath : public ::testing::Test {
 protected:
  void SetUp() override {
    appData_ = AppData();
    ASSERT_FALSE(appData_.empty());
    sub_ = L"SitemonStoreTest-" + std::to_wstring(::GetCurrentProcessId());
    root_ = appData_ + L"\\" + sub_;
    RemoveTree(root_);
  }
  void TearDown() override { RemoveTree(root_); }

  std::wstring appData_, sub_, root_;
};

}  // namespace

TEST_F(DataPath, NestedSubFolderCreatesEveryMissingLevel) {
  ASSERT_FALSE(::PathIsDirectoryW(root_.c_str()));
  wchar_t out[kDataPathUnits];
  EXPECT_TRUE(MakeDataPath(out, (sub_ + L"\\GetLog").c_str(), L""));
  EXPECT_EQ(std::wstring(out), root_ + L"\\GetLog");
  EXPECT_TRUE(::PathIsDirectoryW(root_.c_str()));
  EXPECT_TRUE(::PathIsDirectoryW(out));
}

TEST_F(DataPath, FileNameIsJoinedAndOnlyTheFolderIsCreated) {
  wchar_t out[kDataPathUnits];
  EXPECT_TRUE(MakeDataPath(out, sub_.c_str(), L"Config.dat"));
  EXPECT_EQ(std::wstring(out), root_ + L"\\Config.dat");
  EXPECT_TRUE(::PathIsDirectoryW(root_.c_str()));
  EXPECT_FALSE(fs::exists(out));
  // An existing folder is simply used again.
  EXPECT_TRUE(MakeDataPath(out, sub_.c_str(), L"site.txt"));
  EXPECT_EQ(std::wstring(out), root_ + L"\\site.txt");
}

TEST_F(DataPath, EmptyPartsLeaveTheBaseFolder) {
  wchar_t out[kDataPathUnits];
  EXPECT_TRUE(MakeDataPath(out, L"", L""));
  EXPECT_EQ(std::wstring(out), appData_);
}

TEST(DataPathLimits, APathTooLongForTheBufferIsLeftEmptyAndNothingIsCreated) {
  TempFolder folder;
  ASSERT_TRUE(folder.ok());
  std::wstring base = folder.path().wstring() + L"\\";
  base.append(kDataPathUnits - 10 - base.size(), L'x');  // 249 units: the file name cannot fit
  wchar_t out[kDataPathUnits];
  out[0] = L'?';
  EXPECT_FALSE(MakeDataPathUnder(out, base.c_str(), L"DorvaneSiteMonitor", L"site.txt"));
  EXPECT_EQ(out[0], L'\0');
  EXPECT_FALSE(fs::exists(base));

  // Exactly 259 units still fit.
  const std::wstring sub(kDataPathUnits - 1 - folder.path().wstring().size() - 1, L'y');
  EXPECT_TRUE(MakeDataPathUnder(out, folder.path().c_str(), sub.c_str(), L""));
  EXPECT_EQ(std::wstring(out).size(), kDataPathUnits - 1);
}

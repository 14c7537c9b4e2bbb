#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "store/posix_files.h"
#include "store/stored_state.h"
#include "tests/support/test_files.h"

using sitemon_test::ReadBytes;
using sitemon_test::TempFolder;
using sitemon_test::WriteBytes;
namespace fs = std::filesystem;

namespace {

// Forwards to the real files until the planned moment of death: that call does only part of its
// work (a write stops halfway) and every later call does nothing, as in a killed process.
class DyingFiles : public IStoreFiles {
 public:
  explicit DyingFiles(int dieAtCall) : dieAtCall_(dieAtCall) {}

  std::optional<FileBytes> ReadForUpdate(const U16& path, size_t maxBytes) override {
    return real_.ReadForUpdate(path, maxBytes);
  }
  bool MayOverwrite(const U16& path) override {
    return Alive() && real_.MayOverwrite(path);
  }
  bool WriteFlushed(const U16& path, const FileBytes& bytes) override {
    if (!Alive()) {
      if (calls_ == dieAtCall_ + 1) {  // died mid-write: half the bytes reached the disk
        real_.WriteFlushed(path, FileBytes(bytes.begin(), bytes.begin() + bytes.size() / 2));
      }
      return false;
    }
    return real_.WriteFlushed(path, bytes);
  }
  bool ReplaceWith(const U16& from, const U16& to) override {
    return Alive() && real_.ReplaceWith(from, to);
  }
  void Remove(const U16& path) override {
    if (Alive()) real_.Remove(path);
  }
  int calls() const { return calls_; }

 private:
  bool Alive() { return ++calls_ <= dieAtCall_; }

  PosixStoreFiles real_;
  int dieAtCall_;
  int calls_ = 0;
};

// Records the target's content before every step of a save.
class WatchedFiles : public IStoreFiles {
 public:
  explicit WatchedFiles(std::function<void()> watch) : watch_(std::move(watch)) {}
  std::optional<FileBytes> ReadForUpdate(const U16& path, size_t maxBytes) override {
    watch_();
    return real_.ReadForUpdate(path, maxBytes);
  }
  bool MayOverwrite(const U16& path) override { watch_(); return real_.MayOverwrite(path); }
  bool WriteFlushed(const U16& path, const FileBytes& bytes) override {
    watch_();
    const bool ok = real_.WriteFlushed(path, bytes);
    watch_();
    return ok;
  }
  bool ReplaceWith(const U16& from, const U16& to) override {
    watch_();
    const bool ok = real_.ReplaceWith(from, to);
    watch_();
    return ok;
  }
  void Remove(const U16& path) override { watch_(); real_.Remove(path); }

 private:
  PosixStoreFiles real_;
  std::function<void()> watch_;
};

class FailingReplace : public PosixStoreFiles {
 public:
  bool ReplaceWith(const U16&, const U16&) override { return false; }
};

ConfigRecord RecordWith(int32_t interval, uint8_t fill) {
  ConfigRecord record;
  SetSettings(record, {interval, 2, 60});
  record.softtype = 2;
  for (auto& b : record.opaque) b = fill;
  return record;
}

std::string ImageOf(const ConfigRecord& record) {
  const ConfigBytes image = ConfigRecordToBytes(record);
  return std::string(image.begin(), image.end());
}

}  // namespace

TEST(SafeSave, TargetIsOldOrNewAtEveryStepNeverTorn) {
  TempFolder folder;
  ASSERT_TRUE(folder.ok());
  const std::string path = folder.File("Config.dat").string();
  const auto oldImage = ImageOf(RecordWith(300, 0x11));
  const auto newImage = ImageOf(RecordWith(900, 0x22));
  WriteBytes(path, oldImage);

  int looks = 0;
  WatchedFiles files([&] {
    ++looks;
    const auto now = ReadBytes(path);
    EXPECT_TRUE(now == oldImage || now == newImage) << "torn target after " << looks << " steps";
  });
  ASSERT_TRUE(SaveConfig(files, U16FromUtf8(path), RecordWith(900, 0x22)));
  EXPECT_EQ(ReadBytes(path), newImage);
  EXPECT_GE(looks, 4);  // the save went through several steps, each watched
}

// The process dies at each step of a save in turn: the next start always finds the old record
// whole, and the next save succeeds and leaves no temporary file behind.
TEST(SafeSave, DeathAtAnyStepLeavesTheOldFileWholeAndTheNextSaveRecovers) {
  int stepsOfAWholeSave = 0;
  {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    DyingFiles counting(1000);
    ASSERT_TRUE(SaveConfig(counting, folder.File16("Config.dat"), RecordWith(60, 1)));
    stepsOfAWholeSave = counting.calls();
  }
  ASSERT_GE(stepsOfAWholeSave, 3);

  for (int dieAt = 0; dieAt < stepsOfAWholeSave; ++dieAt) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string path = folder.File("Config.dat").string();
    const U16 path16 = U16FromUtf8(path);
    const auto oldImage = ImageOf(RecordWith(300, 0x33));
    WriteBytes(path, oldImage);

    DyingFiles dying(dieAt);
    EXPECT_FALSE(SaveConfig(dying, path16, RecordWith(900, 0x44))) << "died at step " << dieAt;
    EXPECT_EQ(ReadBytes(path), oldImage) << "died at step " << dieAt;

    PosixStoreFiles restarted;
    ConfigRecord loaded;
    LoadConfig(restarted, path16, loaded);
    EXPECT_EQ(loaded.checkIntervalSeconds, 300);
    EXPECT_EQ(loaded.opaque[219], 0x33);

    ASSERT_TRUE(SaveConfig(restarted, path16, RecordWith(120, 0x55)));
    EXPECT_EQ(ReadBytes(path), ImageOf(RecordWith(120, 0x55)));
    EXPECT_FALSE(fs::exists(path + ".tmp"));
  }
}

TEST(SafeSave, FailedReplaceKeepsTheOldSiteListAndCleansUp) {
  TempFolder folder;
  ASSERT_TRUE(folder.ok());
  const std::string path = folder.File("site.txt").string();
  WriteBytes(path, "http://old.example");
  FailingReplace files;
  Utf8CodePage codePage;
  EXPECT_FALSE(StoreSiteList(files, codePage, U16FromUtf8(path), u"http://new.example"));
  EXPECT_EQ(ReadBytes(path), "http://old.example");
  EXPECT_FALSE(fs::exists(path + ".tmp"));
}

TEST(SafeSave, AFolderInPlaceOfTheFileIsNotWritable) {
  TempFolder folder;
  ASSERT_TRUE(folder.ok());
  const std::string path = folder.File("site.txt").string();
  fs::create_directory(path);
  PosixStoreFiles files;
  Utf8CodePage codePage;
  EXPECT_FALSE(LoadSiteText(files, codePage, U16FromUtf8(path)).has_value());
  EXPECT_FALSE(StoreSiteList(files, codePage, U16FromUtf8(path), u"http://a.example"));
  EXPECT_TRUE(fs::is_directory(path));
}

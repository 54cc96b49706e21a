#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <memory>

#include "fakes/test_env.h"
#include "identity/cipher.h"
#include "identity/client_paths.h"
#include "identity/device_id.h"
#include "identity/identity_record.h"
#include "platform/files.h"
#include "platform/key_value_store.h"
#include "platform/text.h"

namespace fernlite {
namespace {

using test::ScopedEnv;
using test::TempDir;

// A game code of its own so the tests never touch a real record.
constexpr char16_t kCode[] = u"fltest";

class IdentityRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Linux keeps both copies under HOME/XDG dirs: point them into a throw-away folder.
    // (The Windows build uses its own prefix's AppData and HKCU, cleaned below.)
    const std::string root = ToUtf8(home_.path());
    envs_.push_back(std::make_unique<ScopedEnv>("HOME", root));
    envs_.push_back(std::make_unique<ScopedEnv>("XDG_DATA_HOME", root + "/data"));
    envs_.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", root + "/config"));
    ASSERT_TRUE(GetAppDataClientDir(client_dir_));
    ASSERT_TRUE(CreateDirectories(client_dir_));
    Clean();
  }
  void TearDown() override { Clean(); }

  void Clean() {
    RemoveFile(FilePath());
    DeleteStoreValue(kIdentityStoreGroup, kCode);
    RemoveFile(PathAppend(client_dir_, u"fltest.exe"));
  }

  CIdentityRecord Make(std::u16string channel = u"281") {
    return CIdentityRecord(kCode, std::move(channel), u"407", u"1.0.0.1", u"fltest.exe", true);
  }
  std::u16string FilePath() const { return PathAppend(client_dir_, u"fltest_idata.inmk"); }
  std::string FileText() const { return ReadFileBytes(FilePath()).value_or(""); }
  std::string StoreText() const {
    return ToAnsi(ReadStoreText(kIdentityStoreGroup, kCode).value_or(u""));
  }
  // Stores the same text in both copies, as a save would.
  void StoreBoth(const std::string& encrypted) {
    test::WriteTestFile(FilePath(), encrypted);
    ASSERT_TRUE(WriteStoreText(kIdentityStoreGroup, kCode, FromAnsi(encrypted)));
  }

  TempDir home_;
  std::vector<std::unique_ptr<ScopedEnv>> envs_;
  std::u16string client_dir_;
};

TEST_F(IdentityRecordTest, FirstRunLoadsNothingAndCreatesEmptyFileCopy) {
  auto record = Make();
  ASSERT_EQ(record.DeviceId.size(), 32u);
  EXPECT_TRUE(record.Load());
  EXPECT_EQ(record.GetInstallCount(), 0);
  EXPECT_TRUE(FileExists(FilePath()));
  EXPECT_EQ(FileText(), "");
}

TEST_F(IdentityRecordTest, InstalledExeCountsAsOneInstallWhenNothingIsStored) {
  test::WriteTestFile(PathAppend(client_dir_, u"fltest.exe"), "MZ");
  auto record = Make();
  EXPECT_TRUE(record.Load());
  EXPECT_EQ(record.GetInstallCount(), 1);
  ASSERT_TRUE(record.Save());
  auto again = Make();
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.InstallCount, 2);
}

TEST_F(IdentityRecordTest, SaveWritesTwoEqualCopiesThatLoadBack) {
  const auto before = static_cast<int32_t>(std::time(nullptr));
  auto record = Make(u"281");
  ASSERT_TRUE(record.Load());
  ASSERT_TRUE(record.Save());
  EXPECT_FALSE(FileText().empty());
  EXPECT_EQ(FileText(), StoreText());

  const std::string plain = DecryptRecordText(FileText());
  EXPECT_EQ(plain.rfind("fltest&281&407&" + ToAnsi(record.DeviceId) + "&", 0), 0u) << plain;

  // A later run from another channel still sees the first install's channel.
  auto later = Make(u"999");
  ASSERT_TRUE(later.Load());
  EXPECT_EQ(later.GetInstallCount(), 1);
  EXPECT_EQ(later.ChannelID, u"281");
  EXPECT_EQ(later.Version, u"1.0.0.1");
  EXPECT_GE(later.SavedTime, before);
  EXPECT_LE(later.SavedTime, static_cast<int32_t>(std::time(nullptr)));

  // Every save produces a new text with a higher count.
  const std::string first = FileText();
  ASSERT_TRUE(later.Save());
  EXPECT_NE(FileText(), first);
  auto third = Make();
  ASSERT_TRUE(third.Load());
  EXPECT_EQ(third.InstallCount, 2);
}

TEST_F(IdentityRecordTest, ACountAtTheTopOfTheRangeStaysThereAndStillCountsAsInstalled) {
  auto record = Make(u"281");
  ASSERT_TRUE(record.Load());
  record.InstallCount = std::numeric_limits<int32_t>::max() - 1;
  ASSERT_TRUE(record.Save());
  for (int save = 0; save < 2; ++save) {
    auto next = Make();
    ASSERT_TRUE(next.Load());
    EXPECT_EQ(next.InstallCount, std::numeric_limits<int32_t>::max());
    EXPECT_GT(next.GetInstallCount(), 0);
    ASSERT_TRUE(next.Save());
  }
}

TEST_F(IdentityRecordTest, ASaveCutBetweenItsTwoCopiesIsFinishedByTheNextLoad) {
  auto record = Make();
  ASSERT_TRUE(record.Load());
  ASSERT_TRUE(record.Save());
  const std::string first = FileText();
  ASSERT_TRUE(record.Save());
  const std::string second = FileText();
  ASSERT_TRUE(record.Save());
  const std::string third = FileText();

  // The file got the new text, the store still has the one before.
  StoreBoth(first);
  test::WriteTestFile(FilePath(), second);
  auto cut = Make();
  ASSERT_TRUE(cut.Load());
  EXPECT_EQ(cut.InstallCount, 2);
  EXPECT_EQ(StoreText(), second);  // the store caught up
  auto after = Make();
  ASSERT_TRUE(after.Load());
  EXPECT_EQ(after.InstallCount, 2);

  // Two saves apart, the store ahead of the file, or a file that is not a record: refused.
  for (const auto& [file, store] : {std::pair{third, first}, std::pair{first, second},
                                    std::pair{std::string("edited") + second, first}}) {
    StoreBoth(store);
    test::WriteTestFile(FilePath(), file);
    auto refused = Make();
    EXPECT_FALSE(refused.Load());
    EXPECT_EQ(refused.InstallCount, 0);
    EXPECT_EQ(StoreText(), store);
  }
}

TEST_F(IdentityRecordTest, MissingOrEditedCopyFailsTheLoad) {
  auto record = Make();
  ASSERT_TRUE(record.Save());
  const std::string saved = FileText();

  ASSERT_TRUE(DeleteStoreValue(kIdentityStoreGroup, kCode));
  auto without_store = Make();
  without_store.InstallCount = 5;
  EXPECT_FALSE(without_store.Load());
  EXPECT_EQ(without_store.InstallCount, 0);
  EXPECT_EQ(without_store.GetInstallCount(), 0);

  StoreBoth(saved);
  RemoveFile(FilePath());
  EXPECT_FALSE(Make().Load());

  // The copies differ by one byte.
  StoreBoth(saved);
  std::string edited = saved;
  edited[0] = edited[0] == 'A' ? 'B' : 'A';
  test::WriteTestFile(FilePath(), edited);
  EXPECT_FALSE(Make().Load());
}

TEST_F(IdentityRecordTest, RecordOfAnotherMachineIsRefused) {
  auto foreign = Make(u"555");
  foreign.DeviceId = u"0123456789abcdef0123456789abcdef";
  ASSERT_TRUE(foreign.Save());

  auto mine = Make(u"281");
  mine.InstallCount = 3;
  mine.SavedTime = 77;
  EXPECT_FALSE(mine.Load());
  // Fields before the identifier were already taken from the stored text; later ones were not.
  EXPECT_EQ(mine.ChannelID, u"555");
  EXPECT_EQ(mine.InstallCount, 3);
  EXPECT_EQ(mine.SavedTime, 77);
}

TEST_F(IdentityRecordTest, UndecryptableCopiesFailAtTheFirstField) {
  StoreBoth("not a record at all");
  EXPECT_FALSE(Make().Load());
}

TEST_F(IdentityRecordTest, EmptyChannelStillLoads) {
  auto record = Make(u"");
  ASSERT_TRUE(record.Save());
  EXPECT_NE(DecryptRecordText(FileText()).find("fltest&&407&"), std::string::npos);
  auto again = Make(u"");
  EXPECT_TRUE(again.Load());
  EXPECT_EQ(again.ChannelID, u"");
  EXPECT_EQ(again.InstallCount, 1);
}

TEST_F(IdentityRecordTest, IncompleteRecordNeitherLoadsNorSaves) {
  CIdentityRecord record(kCode, u"281", u"407", u"", u"fltest.exe", true);
  EXPECT_FALSE(record.Load());
  EXPECT_FALSE(record.Save());
  EXPECT_EQ(record.BuildText(), "");
  EXPECT_FALSE(FileExists(FilePath()));
}

TEST_F(IdentityRecordTest, SaveFailsWithoutClientDirAndLeavesStoreAlone) {
  CIdentityRecord record(kCode, u"281", u"407", u"1.0.0.1", u"fltest.exe", false);
  std::u16string drive_dir;
  ASSERT_TRUE(GetDriveClientDir(drive_dir));
  if (DirectoryExists(drive_dir)) GTEST_SKIP() << "drive client directory exists here";
  EXPECT_FALSE(record.Save());
  EXPECT_EQ(StoreText(), "");
}

TEST(IdentityRecordParse, FieldsAreTakenInOrderAndTheTailIsChecked) {
  CIdentityRecord record(kCode, u"1", u"2", u"1.0.0.1", u"fltest.exe", true);
  const std::string id = ToAnsi(record.DeviceId);
  EXPECT_TRUE(record.ParseText("g&c&s&" + id + "&1700000000&4&2.3.4.5&17"));
  EXPECT_EQ(record.GameCode, u"g");
  EXPECT_EQ(record.SavedTime, 1700000000);
  EXPECT_EQ(record.InstallCount, 4);
  EXPECT_EQ(record.Version, u"2.3.4.5");

  // The version must be followed by a separator; the noise field itself is not looked at.
  EXPECT_FALSE(record.ParseText("g&c&s&" + id + "&1&2&3.3.3.3"));
  EXPECT_TRUE(record.ParseText("g&c&s&" + id + "&x&7y&1.1.1.1&"));
  EXPECT_EQ(record.SavedTime, 0);
  EXPECT_EQ(record.InstallCount, 7);
  EXPECT_FALSE(record.ParseText("nofields"));
  // The identifier is compared exactly, case included.
  std::string upper = id;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper != id) {
    EXPECT_FALSE(record.ParseText("g&c&s&" + upper + "&1&2&3&4"));
  }
}

}  // namespace
}  // namespace fernlite

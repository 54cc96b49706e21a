#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_settings.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "game/script_bridge.h"
#include "game/standard_dialog.h"
#include "identity/device_id.h"
#include "identity/user_data.h"
#include "platform/files_platform.h"

namespace fernlite {
namespace {

using V = std::vector<ScriptValue>;

// A bridge over its own settings record, the program (and so its user data file) in a
// temporary directory, and a counter standing in for the launcher window.
class BridgeTest : public ::testing::Test {
 protected:
  BridgeTest() : bridge_(settings_) {
    bridge_.on_user_data_changed = [this] { ++data_changes_; };
    SetLauncherWindow(&launcher_);
  }
  ~BridgeTest() override { SetLauncherWindow(nullptr); }

  BridgeResult Call(std::u16string_view name, V call_order_args) {
    return bridge_.Invoke(LookupDispId(name),
                          ValueArguments::FromCallOrder(std::move(call_order_args)));
  }

  test::TempDir dir_;
  test::FakeModulePath program_{dir_.Join(u"vexa_qmzt.exe")};
  std::u16string data_path_ = dir_.Join(u"qmzt_udata.udat");
  RunSettings settings_;
  test::CountingLauncher launcher_;
  int& start_requests_ = launcher_.requests;
  int data_changes_ = 0;
  ScriptBridge bridge_;
};

TEST(BridgeMethodTable, NamesMatchExactlyIncludingCase) {
  const std::vector<std::pair<std::u16string, std::int32_t>> expected = {
      {u"NavigateToGameUrl", 0x1000},    {u"WriteUserDataToFile", 0x1001},
      {u"ReadUserDataFromFile", 0x1002}, {u"GetChannelID", 0x1003},
      {u"SetUserInfo", 0x1004},          {u"SetGuestInfo", 0x1005},
      {u"NavigateToGameUrlEx", 0x1006},  {u"NavigateToGameUrl2", 0x1007},
      {u"addFavorite", 0xFFFF}};
  ASSERT_EQ(BridgeMethods().size(), expected.size());
  for (const auto& [name, dispid] : expected) {
    EXPECT_EQ(LookupDispId(name), dispid) << std::string(name.begin(), name.end());
    ASSERT_NE(FindBridgeMethod(dispid), nullptr);
    EXPECT_EQ(FindBridgeMethod(dispid)->name, name);
  }
  for (const std::u16string name : {u"navigatetogameurl", u"NAVIGATETOGAMEURL", u"AddFavorite",
                                    u"SetUserInfo ", u"", u"GetChannelId", u"external"}) {
    EXPECT_EQ(LookupDispId(name), kDispUnknown);
  }
  EXPECT_EQ(FindBridgeMethod(0x1008), nullptr);
}

TEST(BridgeMethodTable, ArgumentsAreMappedFromTheEnd) {
  const BridgeMethod& navigate2 = *FindBridgeMethod(kDispNavigateToGameUrl2);
  // Element 7 is the first script argument (server id), element 0 the ignored last one.
  EXPECT_EQ(ExpectedArgType(navigate2, 7, 8), ScriptArgType::kText);
  EXPECT_EQ(ExpectedArgType(navigate2, 4, 8), ScriptArgType::kFlag16);
  EXPECT_EQ(ExpectedArgType(navigate2, 3, 8), ScriptArgType::kInt32);
  EXPECT_EQ(ExpectedArgType(navigate2, 1, 8), ScriptArgType::kText);
  EXPECT_EQ(ExpectedArgType(navigate2, 0, 8), ScriptArgType::kAny);
  EXPECT_EQ(ExpectedArgType(navigate2, 0, 7), ScriptArgType::kAny);  // wrong count: nothing read
}

TEST(SignExtend16, LowSixteenBitsWithSign) {
  EXPECT_EQ(SignExtend16(0), 0);
  EXPECT_EQ(SignExtend16(1), 1);
  EXPECT_EQ(SignExtend16(-1), -1);
  EXPECT_EQ(SignExtend16(65536), 0);
  EXPECT_EQ(SignExtend16(0x1FFFF), -1);
  EXPECT_EQ(SignExtend16(32768), -32768);
  EXPECT_EQ(SignExtend16(32767), 32767);
}

TEST_F(BridgeTest, NavigateFillsTheRequestAndAsksForTheGame) {
  const auto result =
      Call(u"NavigateToGameUrl", V{u"http://game.test/s1", 0, 800, 500, u"岚岫奇谭 S1", 7});
  EXPECT_EQ(result.status, BridgeStatus::kOk);
  EXPECT_FALSE(result.text.has_value());
  EXPECT_EQ(settings_.GameUrl, u"http://game.test/s1");
  EXPECT_EQ(settings_.StartMaximized, 0);
  EXPECT_EQ(settings_.GameWindowWidth, 800);
  EXPECT_EQ(settings_.GameWindowHeight, 500);
  EXPECT_EQ(settings_.GameWindowTitle, u"岚岫奇谭 S1");
  EXPECT_EQ(settings_.PlayerName, u"");
  EXPECT_EQ(start_requests_, 1);
}

TEST_F(BridgeTest, MaximiseFlagIsSixteenBitsSignExtended) {
  for (const auto& [given, stored] : std::vector<std::pair<int, int>>{
           {-1, -1}, {1, 1}, {65536, 0}, {65537, 1}, {0, 0}, {0xFFFF, -1}}) {
    ASSERT_EQ(Call(u"NavigateToGameUrl", V{u"http://g/", given, 1, 1, u"t", 0}).status,
              BridgeStatus::kOk);
    EXPECT_EQ(settings_.StartMaximized, stored) << given;
  }
}

TEST_F(BridgeTest, PlayerNameOnlyFromTheExAndTwoVariants) {
  ASSERT_EQ(Call(u"NavigateToGameUrlEx", V{u"gst", u"http://g/1", 1, 640, 480, u"T1", 0}).status,
            BridgeStatus::kOk);
  EXPECT_EQ(settings_.PlayerName, u"gst");
  EXPECT_EQ(settings_.GameUrl, u"http://g/1");
  EXPECT_EQ(settings_.StartMaximized, 1);
  EXPECT_EQ(settings_.GameWindowWidth, 640);

  // A plain navigate keeps the player name of the last call that set it.
  ASSERT_EQ(Call(u"NavigateToGameUrl", V{u"http://g/2", 0, 900, 700, u"T2", 0}).status,
            BridgeStatus::kOk);
  EXPECT_EQ(settings_.PlayerName, u"gst");
  EXPECT_EQ(settings_.GameUrl, u"http://g/2");
  EXPECT_EQ(settings_.ServerID, u"");

  ASSERT_EQ(
      Call(u"NavigateToGameUrl2", V{u"s12", u"Ash", u"http://g/3", -1, 1024, 768, u"T3", 0}).status,
      BridgeStatus::kOk);
  EXPECT_EQ(settings_.ServerID, u"s12");
  EXPECT_EQ(settings_.PlayerName, u"Ash");
  EXPECT_EQ(settings_.GameUrl, u"http://g/3");
  EXPECT_EQ(settings_.StartMaximized, -1);
  EXPECT_EQ(settings_.GameWindowWidth, 1024);
  EXPECT_EQ(settings_.GameWindowHeight, 768);
  EXPECT_EQ(settings_.GameWindowTitle, u"T3");
  EXPECT_EQ(start_requests_, 3);
}

TEST_F(BridgeTest, WrongCountFailsAndChangesNothing) {
  const RunSettings before = settings_;
  const std::vector<std::pair<std::u16string, V>> calls = {
      {u"NavigateToGameUrl", V{u"u", 0, 1, 1, u"t"}},
      {u"NavigateToGameUrl", V{u"u", 0, 1, 1, u"t", 0, 0}},
      {u"NavigateToGameUrlEx", V{u"u", 0, 1, 1, u"t", 0}},
      {u"NavigateToGameUrl2", V{u"p", u"u", 0, 1, 1, u"t", 0}},
      {u"SetUserInfo", V{u"a"}},
      {u"SetGuestInfo", V{}},
      {u"SetGuestInfo", V{u"a", u"b"}},
      {u"WriteUserDataToFile", V{}},
      {u"ReadUserDataFromFile", V{u"x"}},
  };
  for (const auto& [name, args] : calls) {
    const auto result = Call(name, args);
    EXPECT_EQ(result.status, BridgeStatus::kWrongCount)
        << std::string(name.begin(), name.end()) << " with " << args.size();
    EXPECT_FALSE(result.text.has_value());
  }
  EXPECT_EQ(start_requests_, 0);
  EXPECT_EQ(data_changes_, 0);
  EXPECT_EQ(settings_.Ext, before.Ext);
  EXPECT_EQ(settings_.GameUrl, before.GameUrl);
  EXPECT_EQ(settings_.GameWindowWidth, 600);
  EXPECT_EQ(settings_.GameWindowHeight, 400);
}

TEST_F(BridgeTest, UserInfoAndGuestInfo) {
  ASSERT_EQ(Call(u"SetUserInfo", V{u"A", u"B"}).status, BridgeStatus::kOk);
  EXPECT_EQ(settings_.Ext, u"A");
  EXPECT_EQ(settings_.UserInfo, u"B");
  ASSERT_EQ(Call(u"SetGuestInfo", V{u"C"}).status, BridgeStatus::kOk);
  EXPECT_EQ(settings_.Ext, u"C");
  EXPECT_EQ(settings_.UserInfo, u"B");
  EXPECT_EQ(start_requests_, 0);
}

TEST_F(BridgeTest, UserDataRoundTripThroughTheFile) {
  auto read = Call(u"ReadUserDataFromFile", V{});
  EXPECT_EQ(read.status, BridgeStatus::kOk);
  EXPECT_EQ(read.text, std::optional<std::u16string>(u""));

  ASSERT_EQ(Call(u"WriteUserDataToFile", V{u"server=3;name=Ash"}).status, BridgeStatus::kOk);
  EXPECT_EQ(data_changes_, 1);
  EXPECT_EQ(ReadUserDataAt(data_path_), u"server=3;name=Ash");
  read = Call(u"ReadUserDataFromFile", V{});
  EXPECT_EQ(read.text, std::optional<std::u16string>(u"server=3;name=Ash"));
}

TEST_F(BridgeTest, UserDataTooLongForTheEntryAddressIsRefusedAndTheFileKeepsItsText) {
  ASSERT_EQ(Call(u"WriteUserDataToFile", V{u"server=3"}).status, BridgeStatus::kOk);
  const size_t room =
      kMaxEntryAddressChars - GuestEntryUrl(settings_, getdiskid::GetDeviceIdText(), u"").size();
  // Exactly as long as the address allows: kept.
  const std::u16string longest(room, u'a');
  ASSERT_EQ(Call(u"WriteUserDataToFile", V{longest}).status, BridgeStatus::kOk);
  EXPECT_EQ(ReadUserDataAt(data_path_), longest);
  EXPECT_EQ(data_changes_, 2);
  // One character more, or a megabyte: refused, and the page hears nothing of it.
  for (const size_t size : {room + 1, size_t{1} << 20}) {
    EXPECT_EQ(Call(u"WriteUserDataToFile", V{std::u16string(size, u'b')}).status,
              BridgeStatus::kOk);
    EXPECT_EQ(ReadUserDataAt(data_path_), longest);
  }
  EXPECT_EQ(data_changes_, 2);
}

TEST_F(BridgeTest, AnOversizedStoredTextIsLeftOutOfTheEntryAddress) {
  ASSERT_TRUE(WriteUserDataAt(data_path_, std::u16string(8u << 20, u'z')));
  const std::u16string url = GuestEntryUrl();
  EXPECT_LE(url.size(), kMaxEntryAddressChars);
  EXPECT_EQ(url.substr(url.size() - 6), u"&info=");
  EXPECT_EQ(ReadUserDataAt(data_path_).size(), 8u << 20);  // left where it is
}

TEST_F(BridgeTest, FailedWriteIsNotReportedToThePage) {
  FilesPlatform full_disk = Platform<FilesPlatform>();
  full_disk.write_atomic = [](const std::u16string&, std::string_view) { return false; };
  ScopedPlatform scoped(std::move(full_disk));
  EXPECT_EQ(Call(u"WriteUserDataToFile", V{u"x"}).status, BridgeStatus::kOk);
  EXPECT_EQ(ReadUserDataAt(data_path_), u"");
}

TEST_F(BridgeTest, ChannelIdAndUnknownIdsAreNotImplementedFavoriteDoesNothing) {
  EXPECT_EQ(Call(u"GetChannelID", V{}).status, BridgeStatus::kNotImplemented);
  EXPECT_EQ(Call(u"GetChannelID", V{1, u"x"}).status, BridgeStatus::kNotImplemented);
  EXPECT_EQ(bridge_.Invoke(0x1008, ValueArguments(V{})).status, BridgeStatus::kNotImplemented);
  EXPECT_EQ(bridge_.Invoke(kDispUnknown, ValueArguments(V{})).status,
            BridgeStatus::kNotImplemented);
  EXPECT_EQ(bridge_.Invoke(0, ValueArguments(V{})).status, BridgeStatus::kNotImplemented);

  const RunSettings before = settings_;
  for (const V& args : {V{}, V{u"http://x", u"title"}, V{1, 2, 3, 4, 5, 6, 7, 8, 9}}) {
    const auto result = Call(u"addFavorite", args);
    EXPECT_EQ(result.status, BridgeStatus::kOk);
    EXPECT_FALSE(result.text.has_value());
  }
  EXPECT_EQ(settings_.Ext, before.Ext);
  EXPECT_EQ(start_requests_, 0);
  EXPECT_EQ(data_changes_, 0);
}

TEST_F(BridgeTest, ArgumentsAreConvertedToTheExpectedType) {
  // Numbers where texts are expected become their decimal form; numeric texts become numbers;
  // the ignored last argument may be anything.
  ASSERT_EQ(Call(u"NavigateToGameUrl2", V{12, 7, u"http://g/", u"-1", u" 800 ", u"+600",
                                          std::monostate(), u"not a number"})
                .status,
            BridgeStatus::kOk);
  EXPECT_EQ(settings_.ServerID, u"12");
  EXPECT_EQ(settings_.PlayerName, u"7");
  EXPECT_EQ(settings_.StartMaximized, -1);
  EXPECT_EQ(settings_.GameWindowWidth, 800);
  EXPECT_EQ(settings_.GameWindowHeight, 600);
  EXPECT_EQ(settings_.GameWindowTitle, u"");  // undefined is the empty text
  EXPECT_EQ(start_requests_, 1);
}

TEST_F(BridgeTest, UnconvertibleArgumentFailsTheWholeCall) {
  const auto result =
      Call(u"NavigateToGameUrlEx", V{u"gst", u"http://g/", 0, u"wide", 500, u"T", 0});
  EXPECT_EQ(result.status, BridgeStatus::kTypeMismatch);
  EXPECT_EQ(result.bad_argument, 3u);  // the width, counted from the end
  EXPECT_EQ(settings_.PlayerName, u"");
  EXPECT_EQ(settings_.GameUrl, u"");
  EXPECT_EQ(settings_.GameWindowWidth, 600);
  EXPECT_EQ(start_requests_, 0);

  for (const std::u16string bad : {u"", u"12px", u"1.5", u"99999999999", u"--1"}) {
    EXPECT_EQ(Call(u"NavigateToGameUrl", V{u"u", 0, 100, bad, u"t", 0}).status,
              BridgeStatus::kTypeMismatch);
  }
  EXPECT_EQ(start_requests_, 0);
}

TEST(LauncherWindowRequest, AskTheLauncherWindowWhenThereIsOne) {
  test::CountingLauncher sink;
  RunSettings settings;
  ScriptBridge bridge(settings);
  const auto args = ValueArguments::FromCallOrder(V{u"http://g/", 0, 1, 1, u"t", 0});

  SetLauncherWindow(nullptr);
  EXPECT_EQ(bridge.Invoke(kDispNavigateToGameUrl, args).status, BridgeStatus::kOk);
  EXPECT_EQ(settings.GameUrl, u"http://g/");  // kept for the next game start

  SetLauncherWindow(&sink);
  EXPECT_EQ(bridge.Invoke(kDispNavigateToGameUrl, args).status, BridgeStatus::kOk);
  EXPECT_EQ(sink.requests, 1);
  SetLauncherWindow(nullptr);
}

}  // namespace
}  // namespace fernlite

#include "game/standard_dialog.h"

#include <gtest/gtest.h>

#include "app/run_settings.h"

namespace fernlite {
namespace {

RunSettings ChannelSettings() {
  RunSettings settings;
  settings.GuestBaseUrl = u"http://game.example/guest/c1/?";
  settings.GameCode = u"qmzt";
  settings.ChannelID = u"281";
  settings.SubChannelID = u"407";
  return settings;
}

TEST(GuestEntryUrl, ParametersInOrderWithNothingAfterEmptyInfo) {
  EXPECT_EQ(GuestEntryUrl(ChannelSettings(), u"D", u""),
            u"http://game.example/guest/c1/?gid=qmzt&cid=281&ccid=407&puid=D&info=");
}

TEST(GuestEntryUrl, ValuesArePlacedUnencoded) {
  RunSettings settings = ChannelSettings();
  settings.ChannelID.clear();
  // The page reads an '&' in the user data as the start of further parameters.
  EXPECT_EQ(GuestEntryUrl(settings, u"0123abcd", u"server=1;name=云 游&x=1"),
            u"http://game.example/guest/c1/?gid=qmzt&cid=&ccid=407&puid=0123abcd"
            u"&info=server=1;name=云 游&x=1");
}

TEST(GuestEntryUrl, CurrentValuesUseTheRunSettingsBase) {
  const std::u16string url = GuestEntryUrl();
  EXPECT_EQ(url.rfind(Settings().GuestBaseUrl + u"gid=" + Settings().GameCode + u"&cid=", 0), 0u)
      << std::string(url.begin(), url.end());
  EXPECT_NE(url.find(u"&puid="), std::u16string::npos);
  EXPECT_NE(url.find(u"&info="), std::u16string::npos);
}

}  // namespace
}  // namespace fernlite

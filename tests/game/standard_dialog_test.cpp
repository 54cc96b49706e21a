#include "game/standard_dialog.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

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

// The platform window, reduced to what the dialog asks of it.
class FakeWindow : public StandardDialogWindow {
 public:
  struct Log {
    std::vector<NativeWindow> created_for;
    int destroyed = 0;
  };
  explicit FakeWindow(Log& log, bool succeeds = true) : log_(log), succeeds_(succeeds) {}
  ~FakeWindow() override { ++log_.destroyed; }
  bool Create(CStandardDialog& dialog, NativeWindow owner) override {
    log_.created_for.push_back(owner);
    dialog_ = &dialog;
    created_ = succeeds_;
    return succeeds_;
  }
  NativeWindow Handle() const override {
    return created_ ? const_cast<FakeWindow*>(this) : nullptr;
  }
  void* Browser() const override { return nullptr; }
  // The toolkit destroyed the window (it closed itself).
  void CloseItself() {
    created_ = false;
    dialog_->WindowDestroyedItself();
  }

 private:
  Log& log_;
  bool succeeds_;
  bool created_ = false;
  CStandardDialog* dialog_ = nullptr;
};

int kFrame = 0, kOtherFrame = 0;  // stand-ins for owner windows

TEST(BackgroundDialog, CreatesItsPlatformWindowOwnedByTheFrame) {
  FakeWindow::Log log;
  {
    CSTDBackgroundDlg dialog(&kFrame);
    EXPECT_EQ(dialog.TemplateId(), 129);
    EXPECT_EQ(dialog.ColourKey(), 0x0000FF00u);  // pure green
    EXPECT_FALSE(dialog.CreateOwned(nullptr));   // no platform window: nothing to create
    EXPECT_EQ(dialog.Handle(), nullptr);

    auto window = std::make_unique<FakeWindow>(log);
    FakeWindow* fake = window.get();
    dialog.AdoptWindow(std::move(window));
    EXPECT_TRUE(dialog.CreateOwned(nullptr));  // the owner given at construction
    EXPECT_TRUE(dialog.CreateOwned(&kOtherFrame));
    EXPECT_EQ(log.created_for, (std::vector<NativeWindow>{&kFrame, &kOtherFrame}));
    EXPECT_EQ(dialog.Owner(), &kOtherFrame);
    EXPECT_EQ(dialog.Handle(), fake);
    EXPECT_EQ(log.destroyed, 0);
  }
  EXPECT_EQ(log.destroyed, 1);  // the window goes with the dialog
}

TEST(BackgroundDialog, ClosingByItselfIsReportedOnlyThen) {
  FakeWindow::Log log;
  int closed = 0;
  {
    CSTDBackgroundDlg dialog(&kFrame);
    dialog.on_closed_itself = [&] { ++closed; };
    auto window = std::make_unique<FakeWindow>(log);
    FakeWindow* fake = window.get();
    dialog.AdoptWindow(std::move(window));
    ASSERT_TRUE(dialog.CreateOwned(nullptr));
    fake->CloseItself();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(dialog.Handle(), nullptr);
  }
  EXPECT_EQ(closed, 1);  // destroyed by its owner: no second notice

  CSTDBackgroundDlg failing(&kFrame);
  failing.AdoptWindow(std::make_unique<FakeWindow>(log, false));
  EXPECT_FALSE(failing.CreateOwned(nullptr));
  EXPECT_EQ(failing.Handle(), nullptr);
}

}  // namespace
}  // namespace fernlite

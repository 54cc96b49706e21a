#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/run_settings.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "game/script_bridge_linux.h"
#include "game/webkit_api_linux.h"
#include "game/ui_handler_linux.h"
#include "identity/user_data.h"
#include "platform/text.h"
#include "fakes/web_engine_leaks.h"

namespace fernlite {
namespace {

// A real web view: window.external must replace whatever the engine has, reach the program
// through the message handler, and answer ReadUserDataFromFile from the refreshed copy.
// Needs a display (run under Xvfb); skipped without one.
class WebBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    saved_ = Settings();
    Settings() = RunSettings();
    // The pages below stand for the platform's own.
    platform_ =
        std::make_unique<test::ScopedEnv>("FERNLITE_PLATFORM", std::string("http://127.0.0.1"));
    CreateScriptBridge();
    ASSERT_TRUE(WriteUserDataAt(data_path_, u"server=2;name=gst"));
    SetLauncherWindow(&launcher_);

    window_ = gtk_offscreen_window_new();
    view_ = NewWebView();
    ASSERT_NE(view_, nullptr) << "the web engine cannot be opened";
    ConfigureWebView(view_);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
    gtk_widget_show_all(window_);
  }
  void TearDown() override {
    if (!window_) return;
    gtk_widget_destroy(window_);
    SetLauncherWindow(nullptr);
    DeleteScriptBridge();
    Settings() = saved_;
  }

  bool RunUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      g_main_context_iteration(nullptr, FALSE);
      g_usleep(1000);
    }
    return done();
  }

  std::string Evaluate(const std::string& code) {
    struct Call {
      bool finished = false;
      std::string text;
    } call;
    WebKit().webkit_web_view_evaluate_javascript(
        view_, code.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* call = static_cast<Call*>(data);
          GError* error = nullptr;
          JSCValue* value = WebKit().webkit_web_view_evaluate_javascript_finish(AsWebView(source),
                                                                                result, &error);
          if (value) {
            char* text = WebKit().jsc_value_to_string(value);
            call->text = text ? text : "";
            g_free(text);
            g_object_unref(value);
          } else {
            call->text = std::string("error: ") + (error ? error->message : "");
            g_clear_error(&error);
          }
          call->finished = true;
        },
        &call);
    RunUntil([&call] { return call.finished; });
    return call.text;
  }

  test::CountingLauncher launcher_;
  test::TempDir dir_;
  test::FakeModulePath program_{dir_.Join(u"vexa_qmzt.exe")};
  std::u16string data_path_ = dir_.Join(u"qmzt_udata.udat");
  RunSettings saved_;
  std::unique_ptr<test::ScopedEnv> platform_;
  GtkWidget* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
};

TEST_F(WebBridge, PageReachesTheProgramThroughWindowExternal) {
  WebKit().webkit_web_view_load_html(
      view_,
      "<!DOCTYPE html><html><body style='height:3000px'><script>"
      "var saved = window.external.ReadUserDataFromFile();"
      "var channel; try { window.external.GetChannelID(); channel = 'no error'; }"
      "catch (e) { channel = e.message; }"
      "document.title = saved + '|' + channel;"
      "window.external.SetUserInfo('E', 'uid=1');"
      "window.external.NavigateToGameUrlEx('gst', 'http://g/', 1, 800, 600, "
      "'T', 0);"
      "</script></body></html>",
      "http://127.0.0.1/");
  ASSERT_TRUE(RunUntil([this] { return launcher_.requests > 0; }));
  EXPECT_EQ(Settings().Ext, u"E");
  EXPECT_EQ(Settings().UserInfo, u"uid=1");
  EXPECT_EQ(Settings().PlayerName, u"gst");
  EXPECT_EQ(Settings().GameUrl, u"http://g/");
  EXPECT_EQ(Settings().StartMaximized, 1);
  EXPECT_EQ(Evaluate("document.title"), "server=2;name=gst|Not implemented");

  // A write lands in the file and every page's copy follows it.
  EXPECT_EQ(Evaluate("window.external.WriteUserDataToFile('server=4'); 1"), "1");
  ASSERT_TRUE(RunUntil([this] { return ReadUserDataAt(data_path_) == u"server=4"; }));
  ASSERT_TRUE(WriteUserDataAt(data_path_, u"changed elsewhere"));
  RefreshUserDataCopies();
  EXPECT_EQ(Evaluate("window.external.ReadUserDataFromFile()"), "changed elsewhere");

  // The viewport shows no scroll bars even though the page is taller than the window.
  EXPECT_EQ(Evaluate("getComputedStyle(document.documentElement).overflow"), "hidden");
}

TEST_F(WebBridge, FramesOfOtherOriginsAndOtherSitesGetNothingAndChangeNothing) {
  // A frame of another origin posts to the handler directly, as if it were the page script.
  const std::string forged =
      "window.webkit.messageHandlers.external.postMessage({method: 'SetUserInfo', args: "
      "['E', 'uid=evil']}); window.webkit.messageHandlers.external.postMessage({method: "
      "'WriteUserDataToFile', args: ['pwned']}); window.webkit.messageHandlers.external."
      "postMessage({method: 'NavigateToGameUrl', args: ['http://evil.test/', 0, 8, 8, 't', 0]});"
      "document.title = typeof window.external.NavigateToGameUrl;";
  WebKit().webkit_web_view_load_html(
      view_,
      ("<!DOCTYPE html><html><body><iframe src=\"data:text/html,<script>" + forged +
       "</script>\"></iframe><script>document.title = 'top';</script></body></html>")
          .c_str(),
      "http://127.0.0.1/guest/c1/");
  ASSERT_TRUE(RunUntil([this] { return Evaluate("document.title") == "top"; }));
  EXPECT_EQ(Evaluate("typeof window.external.SetUserInfo"), "function");
  // The same from a page of another site in the launcher's own view.
  WebKit().webkit_web_view_load_html(
      view_, ("<!DOCTYPE html><html><body><script>" + forged + "</script></body></html>").c_str(),
      "http://evil.test/");
  ASSERT_TRUE(RunUntil([this] { return Evaluate("location.host") == "evil.test"; }));
  EXPECT_NE(Evaluate("document.title"), "function");
  // Whatever arrived was refused: nothing of it shows.
  for (int i = 0; i < 200; ++i) g_main_context_iteration(nullptr, FALSE);
  EXPECT_EQ(Settings().UserInfo, u"");
  EXPECT_EQ(Settings().GameUrl, u"");
  EXPECT_EQ(launcher_.requests, 0);
  EXPECT_EQ(ReadUserDataAt(data_path_), u"server=2;name=gst");
}

}  // namespace
}  // namespace fernlite

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/run_settings.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "game/page_origin.h"
#include "game/script_bridge_linux.h"
#include "game/webkit_api_linux.h"
#include "identity/user_data.h"
#include "platform/text.h"

namespace fernlite {
namespace {

// Runs the user script in a bare JavaScriptCore context whose message handler only records
// what the page posts; the recorded messages then go through the program's handling.
class PageScript : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = WebKit().jsc_context_new();
    Run("var window = this; var posted = []; window.top = window;"
        "var location = {origin: 'http://platform.test'};"
        "window.webkit = {messageHandlers: {external: {"
        "  postMessage: function (m) { posted.push(m); }}}};");
    Run(BuildBridgeUserScript(u"saved \"text\" 岚 </script>\u2028", {u"http://platform.test"},
                              BridgeToken()));
    ASSERT_TRUE(WriteUserData(u"from file"));
    bridge_ = std::make_unique<ScriptBridge>(settings_);
    SetLauncherWindow(&launcher_);
  }
  void TearDown() override {
    SetLauncherWindow(nullptr);
    g_object_unref(context_);
  }
  std::u16string Written() { return ReadUserData(); }

  // Evaluates code; the result as text, or "throws <name>: <message>".
  std::string Run(const std::string& code) {
    JSCValue* value = WebKit().jsc_context_evaluate(context_, code.c_str(), -1);
    std::string out;
    if (JSCException* exception = WebKit().jsc_context_get_exception(context_)) {
      const char* name = WebKit().jsc_exception_get_name(exception);
      const char* message = WebKit().jsc_exception_get_message(exception);
      out = std::string("throws ") + (name ? name : "") + ": " + (message ? message : "");
      WebKit().jsc_context_clear_exception(context_);
    } else {
      char* text = WebKit().jsc_value_to_string(value);
      out = text ? text : "";
      g_free(text);
    }
    g_object_unref(value);
    return out;
  }

  static std::u16string PlatformPage() { return PlatformOrigins().front() + u"/guest/c1/?gid=x"; }

  int PostedCount() { return std::stoi(Run("posted.length")); }

  // Hands every recorded message to the program, in order.
  void Deliver() {
    const int count = PostedCount();
    for (int i = 0; i < count; ++i) {
      JSCValue* message = WebKit().jsc_context_evaluate(
          context_, ("posted[" + std::to_string(i) + "]").c_str(), -1);
      const auto result = HandleBridgeMessage(*bridge_, message, PlatformPage());
      g_object_unref(message);
      ASSERT_TRUE(result.has_value());
      EXPECT_EQ(result->status, BridgeStatus::kOk) << i;
    }
    Run("posted = [];");
  }

  JSCContext* context_ = nullptr;
  RunSettings settings_;
  std::unique_ptr<ScriptBridge> bridge_;
  test::CountingLauncher launcher_;
  test::TempDir dir_;
  test::FakeModulePath program_{dir_.Join(u"vexa_qmzt.exe")};
  int& start_requests_ = launcher_.requests;
};

TEST_F(PageScript, DefinesEveryMethodOnWindowExternal) {
  for (const BridgeMethod& method : BridgeMethods()) {
    EXPECT_EQ(Run("typeof window.external." + ToUtf8(method.name)), "function")
        << ToUtf8(method.name);
  }
  EXPECT_EQ(Run("typeof window.external.navigatetogameurl"), "undefined");
  EXPECT_EQ(Run("Object.keys(window.external).length"), "9");
}

TEST_F(PageScript, CallsArePostedAndReachTheSettings) {
  EXPECT_EQ(Run("window.external.SetUserInfo('A', 'B')"), "undefined");
  EXPECT_EQ(Run("JSON.stringify(posted)"),
            R"([{"method":"SetUserInfo","args":["A","B"],"token":")" + BridgeToken() + R"("}])");
  Deliver();
  EXPECT_EQ(settings_.Ext, u"A");
  EXPECT_EQ(settings_.UserInfo, u"B");

  Run("window.external.SetGuestInfo('C');"
      "window.external.NavigateToGameUrl2('s9', 'gst', 'http://g/', 65536, 800, 500, '游戏', 0)");
  Deliver();
  EXPECT_EQ(settings_.Ext, u"C");
  EXPECT_EQ(settings_.UserInfo, u"B");
  EXPECT_EQ(settings_.ServerID, u"s9");
  EXPECT_EQ(settings_.PlayerName, u"gst");
  EXPECT_EQ(settings_.GameUrl, u"http://g/");
  EXPECT_EQ(settings_.StartMaximized, 0);  // 65536 has no low 16 bits
  EXPECT_EQ(settings_.GameWindowWidth, 800);
  EXPECT_EQ(settings_.GameWindowHeight, 500);
  EXPECT_EQ(settings_.GameWindowTitle, u"游戏");
  EXPECT_EQ(start_requests_, 1);
}

TEST_F(PageScript, FailedCallsThrowInThePageAndPostNothing) {
  EXPECT_EQ(Run("window.external.NavigateToGameUrl('u', 0, 1, 1, 't')"),
            "throws Error: Unspecified error");
  EXPECT_EQ(Run("window.external.SetUserInfo('only one')"), "throws Error: Unspecified error");
  EXPECT_EQ(Run("window.external.ReadUserDataFromFile(1)"), "throws Error: Unspecified error");
  EXPECT_EQ(Run("window.external.GetChannelID()"), "throws Error: Not implemented");
  EXPECT_EQ(Run("window.external.addFavorite('http://x', 'x', 3)"), "undefined");
  EXPECT_EQ(PostedCount(), 0);
}

TEST_F(PageScript, ArgumentsAreConvertedOrRefused) {
  // true is -1, numeric texts are numbers, halves round to even, numbers become texts.
  Run("window.external.NavigateToGameUrl('http://g/', true, '800', 500.5, 42, {any: 1})");
  EXPECT_EQ(Run("JSON.stringify(posted[0].args)"), R"(["http://g/",-1,800,500,"42",null])");
  Deliver();
  EXPECT_EQ(settings_.StartMaximized, -1);
  EXPECT_EQ(settings_.GameWindowWidth, 800);
  EXPECT_EQ(settings_.GameWindowHeight, 500);
  EXPECT_EQ(settings_.GameWindowTitle, u"42");
  Run("window.external.SetUserInfo(false, undefined)");
  EXPECT_EQ(Run("JSON.stringify(posted[0].args)"), R"(["0",""])");
  Run("posted = [];");

  for (const char* call : {"window.external.NavigateToGameUrl('u', 0, 'wide', 1, 't', 0)",
                           "window.external.NavigateToGameUrl('u', 0, 1, 1, null, 0)",
                           "window.external.NavigateToGameUrl('u', 0, 1e10, 1, 't', 0)",
                           "window.external.NavigateToGameUrl('u', NaN, 1, 1, 't', 0)",
                           "window.external.SetGuestInfo({})"}) {
    EXPECT_EQ(Run(call), "throws TypeError: Type mismatch") << call;
  }
  EXPECT_EQ(PostedCount(), 0);
}

TEST_F(PageScript, UserDataIsReadSynchronouslyFromTheCopy) {
  EXPECT_EQ(Run("window.external.ReadUserDataFromFile()"), "saved \"text\" 岚 </script>\u2028");
  Run("window.external.WriteUserDataToFile('new\\u0000tail')");
  // The page sees its own write at once, cut where the file cuts it.
  EXPECT_EQ(Run("window.external.ReadUserDataFromFile()"), "new");
  Deliver();
  EXPECT_EQ(Written(), u"new");  // the file keeps the text up to its first zero

  Run(BuildUserDataRefreshScript(u"refreshed \\ ' \""));
  EXPECT_EQ(Run("window.external.ReadUserDataFromFile()"), "refreshed \\ ' \"");
  EXPECT_EQ(PostedCount(), 0);
}

TEST_F(PageScript, StringLiteralsSurviveAnyText) {
  const std::u16string texts[] = {u"",
                                  u"plain",
                                  u"quote\" back\\slash",
                                  u"</script><!--",
                                  u"line\nbreak\r\u2028\u2029",
                                  u"\U0001F600 游",
                                  std::u16string(u"nul\0x", 5)};
  for (const std::u16string& text : texts) {
    const std::string literal = JsStringLiteral(text);
    for (const char c : literal) ASSERT_LT(static_cast<unsigned char>(c), 0x80u);
    EXPECT_EQ(literal.find('<'), std::string::npos);
    JSCValue* value = WebKit().jsc_context_evaluate(context_, ("(" + literal + ")").c_str(), -1);
    char* back = WebKit().jsc_value_to_string(value);
    EXPECT_EQ(FromUtf8(back), text.substr(0, text.find(u'\0')));
    g_free(back);
    g_object_unref(value);
  }
}

TEST_F(PageScript, DirectPostsAreCheckedAgain) {
  const std::string token = ", token: '" + BridgeToken() + "'";
  const auto post = [this](const std::string& code) {
    JSCValue* message = WebKit().jsc_context_evaluate(context_, ("(" + code + ")").c_str(), -1);
    auto result = HandleBridgeMessage(*bridge_, message, PlatformPage());
    g_object_unref(message);
    return result;
  };
  EXPECT_FALSE(post("'SetUserInfo'").has_value());
  EXPECT_FALSE(post("{method: 'Nope', args: []" + token + "}").has_value());
  EXPECT_FALSE(post("{args: ['a']" + token + "}").has_value());
  const auto short_call =
      post("{method: 'NavigateToGameUrl', args: ['u', 0, 1, 1, 't']" + token + "}");
  ASSERT_TRUE(short_call.has_value());
  EXPECT_EQ(short_call->status, BridgeStatus::kWrongCount);
  const auto bad_type =
      post("{method: 'NavigateToGameUrl', args: ['u', 0, 'x', 1, 't', 0]" + token + "}");
  ASSERT_TRUE(bad_type.has_value());
  EXPECT_EQ(bad_type->status, BridgeStatus::kTypeMismatch);
  const auto channel = post("{method: 'GetChannelID', args: []" + token + "}");
  ASSERT_TRUE(channel.has_value());
  EXPECT_EQ(channel->status, BridgeStatus::kNotImplemented);
  // The game window shows web pages only.
  for (const char* address : {"file:///etc/hostname", "javascript:alert(1)", "data:text/html,x"}) {
    const auto local = post("{method: 'NavigateToGameUrl', args: ['" + std::string(address) +
                            "', 0, 800, 600, 't', 0]" + token + "}");
    ASSERT_TRUE(local.has_value());
    EXPECT_EQ(local->status, BridgeStatus::kRefused) << address;
  }
  EXPECT_EQ(start_requests_, 0);
  EXPECT_EQ(settings_.GameUrl, u"");
}

TEST_F(PageScript, CallsWithoutTheTokenOrFromAnotherDocumentChangeNothing) {
  const auto post = [this](const std::string& code, std::u16string_view document) {
    JSCValue* message = WebKit().jsc_context_evaluate(context_, ("(" + code + ")").c_str(), -1);
    auto result = HandleBridgeMessage(*bridge_, message, document);
    g_object_unref(message);
    return result;
  };
  const std::string call = "{method: 'SetUserInfo', args: ['E', 'uid=evil']";
  const std::string token = ", token: '" + BridgeToken() + "'}";
  // A frame of another origin can post to the handler, but has no token to send.
  for (const std::string& forged :
       {call + "}", call + ", token: 'guess'}", call + ", token: '" + BridgeToken() + "x'}",
        call + ", token: 7}"}) {
    const auto result = post(forged, PlatformPage());
    ASSERT_TRUE(result.has_value()) << forged;
    EXPECT_EQ(result->status, BridgeStatus::kRefused) << forged;
  }
  // With the token, but the view's page is not the platform's (or is no web page at all).
  for (const std::u16string document :
       {u"http://evil.test/guest/c1/", u"file:///tmp/x.html", u"about:blank", u""}) {
    const auto result = post(call + token, document);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, BridgeStatus::kRefused) << ToUtf8(document);
  }
  EXPECT_EQ(settings_.UserInfo, u"");
  EXPECT_EQ(settings_.Ext, u"");
  // The genuine call goes through.
  const auto genuine = post(call + token, PlatformPage());
  ASSERT_TRUE(genuine.has_value());
  EXPECT_EQ(genuine->status, BridgeStatus::kOk);
  EXPECT_EQ(settings_.UserInfo, u"uid=evil");
}

TEST(PageScriptPlacement, NoWindowExternalOutsideTheTopDocumentOfThePlatformsOrigins) {
  const std::string script = BuildBridgeUserScript(u"secret", {u"http://platform.test"}, "t0k");
  const auto defines = [&](const std::string& setup) {
    JSCContext* context = WebKit().jsc_context_new();
    g_object_unref(WebKit().jsc_context_evaluate(context, setup.c_str(), -1));
    g_object_unref(WebKit().jsc_context_evaluate(context, script.c_str(), -1));
    JSCValue* value = WebKit().jsc_context_evaluate(context, "typeof window.external", -1);
    char* text = WebKit().jsc_value_to_string(value);
    const std::string type = text ? text : "";
    g_free(text);
    g_object_unref(value);
    g_object_unref(context);
    return type == "object";
  };
  const std::string window = "var window = this;";
  EXPECT_TRUE(
      defines(window + "window.top = window; var location = {origin: 'http://platform.test'};"));
  // Another origin, a subframe of the right one, a document without an origin.
  EXPECT_FALSE(
      defines(window + "window.top = window; var location = {origin: 'http://evil.test'};"));
  EXPECT_FALSE(
      defines(window + "window.top = {}; var location = {origin: 'http://platform.test'};"));
  EXPECT_FALSE(defines(window + "window.top = window; var location = {origin: 'null'};"));
}

}  // namespace
}  // namespace fernlite

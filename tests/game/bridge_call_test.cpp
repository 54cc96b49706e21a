#include "game/bridge_call.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fernlite {
namespace {

using Args = std::vector<CallArgument>;

TEST(BridgeCallLine, ReadsEveryArgumentKindInCallOrder) {
  const auto call = ParseBridgeCall(
      R"(call NavigateToGameUrlEx ["gst","http://h/g?a=1&b=\"2\"",-1,800, 500 ,"T\u00e9\u5c9a",true,false,null])");
  ASSERT_TRUE(call);
  EXPECT_EQ(call->method, u"NavigateToGameUrlEx");
  EXPECT_EQ(call->arguments, (Args{u"gst", u"http://h/g?a=1&b=\"2\"", -1, 800, 500, u"Té岚", true,
                                   false, std::monostate()}));
  EXPECT_EQ(ParseBridgeCall("call ReadUserDataFromFile []")->arguments, Args{});
  EXPECT_EQ(ParseBridgeCall("  call  SetGuestInfo [ \"\" ]  ")->arguments, Args{u""});
  // UTF-8 in the line and every short escape.
  EXPECT_EQ(ParseBridgeCall("call X [\"岚\\n\\t\\/\\\\\"]")->arguments, Args{u"岚\n\t/\\"});
  EXPECT_EQ(ParseBridgeCall("call X [-2147483648, 2147483647]")->arguments,
            (Args{INT32_MIN, INT32_MAX}));
}

TEST(BridgeCallLine, RefusesWhatIsNotACall) {
  for (const char* bad : {
           "",
           "call",
           "call X",
           "call X [",
           "call X [1,]",
           "call X [,1]",
           "call X [1 2]",
           "call X [\"open]",
           "call X [\"bad \\q escape\"]",
           "call X [\"\\u12\"]",
           "call X [2147483648]",
           "call X [-2147483649]",
           "call X [1.5]",
           "call X [1e3]",
           "call X [tru]",
           "call X [{}]",
           "call X [[1]]",
           "call X [] trailing",
           "callX []",
           "call 9X []",
           "call X.Y []",
           "call window.external.X []",
           "eval X []",
           "call X [\"a\x01b\"]",
       }) {
    EXPECT_FALSE(ParseBridgeCall(bad)) << bad;
  }
  std::string many = "call X [";
  for (size_t i = 0; i <= kMaxCallArguments; ++i) many += i ? ",1" : "1";
  EXPECT_FALSE(ParseBridgeCall(many + "]"));
}

TEST(BridgeCallLine, BecomesTheSameStatementForAPage) {
  const auto call =
      ParseBridgeCall(R"(call NavigateToGameUrl ["u</script>",0,1,true,null,"x\"y"])");
  ASSERT_TRUE(call);
  EXPECT_EQ(BridgeCallScript(*call),
            "window.external.NavigateToGameUrl(\"u\\u003c/script\\u003e\", 0, 1, true, null, "
            "\"x\\u0022y\");");
}

}  // namespace
}  // namespace fernlite

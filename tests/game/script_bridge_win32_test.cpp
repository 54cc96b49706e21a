#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "game/script_bridge_win32.h"
#include "identity/user_data.h"
#include "platform/wide_win32.h"

namespace fernlite {
namespace {

// Owns VARIANTs given in script call order and hands them out in automation order.
class Args {
 public:
  Args() = default;
  Args(std::initializer_list<VARIANT> call_order) : values_(call_order.begin(), call_order.end()) {
    std::reverse(values_.begin(), values_.end());
  }
  ~Args() {
    for (VARIANT& value : values_) VariantClear(&value);
  }
  Args(const Args&) = delete;
  Args& operator=(const Args&) = delete;

  DISPPARAMS* params() {
    params_.rgvarg = values_.empty() ? nullptr : values_.data();
    params_.cArgs = static_cast<UINT>(values_.size());
    params_.rgdispidNamedArgs = nullptr;
    params_.cNamedArgs = 0;
    return &params_;
  }

 private:
  std::vector<VARIANT> values_;
  DISPPARAMS params_{};
};

VARIANT Str(const wchar_t* text) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = text ? SysAllocString(text) : nullptr;
  return v;
}
VARIANT I4(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}
VARIANT I2(SHORT value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I2;
  V_I2(&v) = value;
  return v;
}
VARIANT Bool(bool value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
VARIANT R8(double value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_R8;
  V_R8(&v) = value;
  return v;
}
VARIANT Null() {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_NULL;
  return v;
}

// A window standing in for the launcher: counts the start-the-game messages it receives.
struct LauncherRecorder {
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_USER + 1) {
      ++received;
      if (w != 0 || l != 0) ++with_parameters;
      return 0;
    }
    return DefWindowProcW(window, message, w, l);
  }
  static inline int received = 0;
  static inline int with_parameters = 0;
};

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Settings();
    Settings() = RunSettings();
    LauncherRecorder::received = 0;
    LauncherRecorder::with_parameters = 0;
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = LauncherRecorder::Proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"FernliteTestLauncher";
    RegisterClassW(&window_class);
    launcher_ = CreateWindowExW(0, L"FernliteTestLauncher", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(launcher_, nullptr);
    SetLauncherWindowHandle(launcher_);

    dispatch_ = std::make_unique<CImpIDispatch>(Settings());
  }
  void TearDown() override {
    SetLauncherWindow(nullptr);
    DestroyWindow(launcher_);
    Settings() = saved_;
  }

  DISPID Id(const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 12345;
    dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
  }

  HRESULT Call(const wchar_t* name, Args& args, VARIANT* result = nullptr,
               UINT* arg_error = nullptr) {
    return dispatch_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                             args.params(), result, nullptr, arg_error);
  }

  RunSettings saved_;
  test::TempDir dir_;
  test::FakeModulePath program_{dir_.Join(u"vexa_qmzt.exe")};
  std::u16string data_path_ = dir_.Join(u"qmzt_udata.udat");
  HWND launcher_ = nullptr;
  std::unique_ptr<CImpIDispatch> dispatch_;
};

TEST_F(DispatchTest, NamesResolveOnlyWithExactCase) {
  const std::pair<const wchar_t*, DISPID> names[] = {
      {L"NavigateToGameUrl", 0x1000},    {L"WriteUserDataToFile", 0x1001},
      {L"ReadUserDataFromFile", 0x1002}, {L"GetChannelID", 0x1003},
      {L"SetUserInfo", 0x1004},          {L"SetGuestInfo", 0x1005},
      {L"NavigateToGameUrlEx", 0x1006},  {L"NavigateToGameUrl2", 0x1007},
      {L"addFavorite", 0xFFFF}};
  for (const auto& [name, id] : names) {
    LPOLESTR list[] = {const_cast<LPOLESTR>(name)};
    DISPID out = 0;
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, list, 1, 0, &out), S_OK);
    EXPECT_EQ(out, id);
  }
  for (const wchar_t* name : {L"navigatetogameurl", L"AddFavorite", L"getchannelid", L"", L"x"}) {
    LPOLESTR list[] = {const_cast<LPOLESTR>(name)};
    DISPID out = 0;
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, list, 1, 0, &out), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(out, DISPID_UNKNOWN);
  }
  // Only the first name counts; named arguments are not resolved.
  LPOLESTR two[] = {const_cast<LPOLESTR>(L"SetUserInfo"), const_cast<LPOLESTR>(L"bogus")};
  DISPID ids[2] = {0, 777};
  EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, two, 2, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 0x1004);
  EXPECT_EQ(ids[1], 777);
}

TEST_F(DispatchTest, NavigateMethodsFillTheRequestAndSendTheMessage) {
  Args plain{Str(L"http://game.test/1"), I4(0), I4(800), I4(500), Str(L"岚岫奇谭"), I2(0)};
  EXPECT_EQ(Call(L"NavigateToGameUrl", plain), S_OK);
  EXPECT_EQ(Settings().GameUrl, u"http://game.test/1");
  EXPECT_EQ(Settings().StartMaximized, 0);
  EXPECT_EQ(Settings().GameWindowWidth, 800);
  EXPECT_EQ(Settings().GameWindowHeight, 500);
  EXPECT_EQ(Settings().GameWindowTitle, u"岚岫奇谭");
  EXPECT_EQ(LauncherRecorder::received, 1);

  Args ex{Str(L"gst"), Str(L"http://game.test/2"), Bool(true), I4(640), I4(480), Str(L"T"), I4(0)};
  EXPECT_EQ(Call(L"NavigateToGameUrlEx", ex), S_OK);
  EXPECT_EQ(Settings().PlayerName, u"gst");
  EXPECT_EQ(Settings().StartMaximized, -1);

  Args again{Str(L"http://game.test/3"), I4(65536), I4(1), I4(2), Str(L"U"), I4(9)};
  EXPECT_EQ(Call(L"NavigateToGameUrl", again), S_OK);
  EXPECT_EQ(Settings().PlayerName, u"gst");  // kept from the Ex call
  EXPECT_EQ(Settings().StartMaximized, 0);   // no low 16 bits

  Args two{Str(L"s7"), Str(L"Ash"), Str(L"http://game.test/4"), I4(1), I4(1024), I4(768),
           Str(L"V"),  I4(0)};
  EXPECT_EQ(Call(L"NavigateToGameUrl2", two), S_OK);
  EXPECT_EQ(Settings().ServerID, u"s7");
  EXPECT_EQ(Settings().PlayerName, u"Ash");
  EXPECT_EQ(Settings().GameUrl, u"http://game.test/4");
  EXPECT_EQ(Settings().StartMaximized, 1);
  EXPECT_EQ(Settings().GameWindowTitle, u"V");
  EXPECT_EQ(LauncherRecorder::received, 4);
  EXPECT_EQ(LauncherRecorder::with_parameters, 0);
}

TEST_F(DispatchTest, WrongCountsFailWithoutEffect) {
  Args five{Str(L"u"), I4(0), I4(1), I4(1), Str(L"t")};
  EXPECT_EQ(Call(L"NavigateToGameUrl", five), E_FAIL);
  Args six{Str(L"p"), Str(L"u"), I4(0), I4(1), I4(1), Str(L"t")};
  EXPECT_EQ(Call(L"NavigateToGameUrlEx", six), E_FAIL);
  EXPECT_EQ(Call(L"NavigateToGameUrl2", six), E_FAIL);
  Args one{Str(L"A")};
  EXPECT_EQ(Call(L"SetUserInfo", one), E_FAIL);
  Args none;
  EXPECT_EQ(Call(L"SetGuestInfo", none), E_FAIL);
  EXPECT_EQ(Call(L"WriteUserDataToFile", none), E_FAIL);
  EXPECT_EQ(Call(L"ReadUserDataFromFile", one), E_FAIL);
  // No argument block at all counts as no arguments.
  EXPECT_EQ(
      dispatch_->Invoke(0x1004, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
      E_FAIL);

  EXPECT_EQ(LauncherRecorder::received, 0);
  EXPECT_EQ(Settings().GameUrl, u"");
  EXPECT_EQ(Settings().Ext, u"");
  EXPECT_EQ(Settings().GameWindowWidth, 600);
}

TEST_F(DispatchTest, UserInfoAndGuestInfo) {
  Args user{Str(L"A"), Str(L"B")};
  EXPECT_EQ(Call(L"SetUserInfo", user), S_OK);
  EXPECT_EQ(Settings().Ext, u"A");
  EXPECT_EQ(Settings().UserInfo, u"B");
  Args guest{Str(L"C")};
  EXPECT_EQ(Call(L"SetGuestInfo", guest), S_OK);
  EXPECT_EQ(Settings().Ext, u"C");
  EXPECT_EQ(Settings().UserInfo, u"B");
  // A null string is the empty text.
  Args null_text{Str(nullptr)};
  EXPECT_EQ(Call(L"SetGuestInfo", null_text), S_OK);
  EXPECT_EQ(Settings().Ext, u"");
}

TEST_F(DispatchTest, UserDataMethods) {
  Args none;
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(Call(L"ReadUserDataFromFile", none, &result), S_OK);
  ASSERT_EQ(V_VT(&result), VT_BSTR);
  EXPECT_EQ(SysStringLen(V_BSTR(&result)), 0u);
  VariantClear(&result);

  Args text{Str(L"server=3;name=Ash")};
  VARIANT write_result;
  VariantInit(&write_result);
  EXPECT_EQ(Call(L"WriteUserDataToFile", text, &write_result), S_OK);
  EXPECT_EQ(V_VT(&write_result), VT_EMPTY);
  EXPECT_EQ(ReadUserDataAt(data_path_), u"server=3;name=Ash");

  EXPECT_EQ(Call(L"ReadUserDataFromFile", none, &result), S_OK);
  ASSERT_EQ(V_VT(&result), VT_BSTR);
  EXPECT_EQ(FromWide(V_BSTR(&result)), u"server=3;name=Ash");
  VariantClear(&result);
  // Without a result slot the call still succeeds.
  EXPECT_EQ(Call(L"ReadUserDataFromFile", none, nullptr), S_OK);
}

TEST_F(DispatchTest, ChannelIdUnknownIdsAndFavorite) {
  Args none;
  Args some{I4(1), Str(L"x"), Bool(false)};
  EXPECT_EQ(Call(L"GetChannelID", none), E_NOTIMPL);
  EXPECT_EQ(Call(L"GetChannelID", some), E_NOTIMPL);
  EXPECT_EQ(dispatch_->Invoke(0x2000, IID_NULL, 0, DISPATCH_METHOD, none.params(), nullptr, nullptr,
                              nullptr),
            E_NOTIMPL);
  EXPECT_EQ(dispatch_->Invoke(DISPID_UNKNOWN, IID_NULL, 0, DISPATCH_PROPERTYGET, none.params(),
                              nullptr, nullptr, nullptr),
            E_NOTIMPL);
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(Call(L"addFavorite", none, &result), S_OK);
  EXPECT_EQ(Call(L"addFavorite", some, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_EMPTY);
  EXPECT_EQ(LauncherRecorder::received, 0);
}

TEST_F(DispatchTest, ArgumentsAreConvertedToTheTableType) {
  VARIANT by_ref_width;
  VariantInit(&by_ref_width);
  LONG width = 1280;
  V_VT(&by_ref_width) = VT_BYREF | VT_I4;
  V_I4REF(&by_ref_width) = &width;
  Args mixed{Str(L"http://g/42"), Str(L"-1"), by_ref_width, R8(720.0), I4(5), Str(L"anything")};
  EXPECT_EQ(Call(L"NavigateToGameUrl", mixed), S_OK);
  EXPECT_EQ(Settings().GameUrl, u"http://g/42");
  EXPECT_EQ(Settings().StartMaximized, -1);
  EXPECT_EQ(Settings().GameWindowWidth, 1280);
  EXPECT_EQ(Settings().GameWindowHeight, 720);
  EXPECT_EQ(Settings().GameWindowTitle, u"5");
  EXPECT_EQ(LauncherRecorder::received, 1);

  // A number is no web address, and neither is a local file: refused, nothing changes.
  for (VARIANT url : {I4(42), Str(L"file:///C:/windows/win.ini")}) {
    Args local{url, I4(0), I4(800), I4(600), Str(L"t"), I4(0)};
    EXPECT_EQ(Call(L"NavigateToGameUrl", local), E_ACCESSDENIED);
  }
  EXPECT_EQ(Settings().GameUrl, u"http://g/42");
  EXPECT_EQ(LauncherRecorder::received, 1);
}

TEST_F(DispatchTest, UnconvertibleArgumentsFailAsTypeMismatch) {
  UINT arg_error = 99;
  Args text_width{Str(L"http://g/"), I4(0), Str(L"wide"), I4(500), Str(L"t"), I4(0)};
  EXPECT_EQ(Call(L"NavigateToGameUrl", text_width, nullptr, &arg_error), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_error, 3u);

  Args null_title{Str(L"http://g/"), I4(0), I4(1), I4(1), Null(), I4(0)};
  EXPECT_EQ(Call(L"NavigateToGameUrl", null_title, nullptr, &arg_error), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_error, 1u);

  Args too_big{Str(L"p"), Str(L"http://g/"), I4(0), R8(1e10), I4(1), Str(L"t"), I4(0)};
  EXPECT_EQ(Call(L"NavigateToGameUrlEx", too_big), DISP_E_TYPEMISMATCH);

  Args null_ext{Null()};
  EXPECT_EQ(Call(L"SetGuestInfo", null_ext), DISP_E_TYPEMISMATCH);

  EXPECT_EQ(LauncherRecorder::received, 0);
  EXPECT_EQ(Settings().GameUrl, u"");
  EXPECT_EQ(Settings().PlayerName, u"");
  EXPECT_EQ(Settings().GameWindowWidth, 600);
}

TEST_F(DispatchTest, NoLauncherWindowStillKeepsTheRequest) {
  SetLauncherWindowHandle(nullptr);
  Args plain{Str(L"http://game.test/"), I4(0), I4(800), I4(500), Str(L"T"), I4(0)};
  EXPECT_EQ(Call(L"NavigateToGameUrl", plain), S_OK);
  EXPECT_EQ(Settings().GameUrl, u"http://game.test/");
  EXPECT_EQ(LauncherRecorder::received, 0);
}

TEST_F(DispatchTest, ComIdentityAndCountingWithoutDeletion) {
  IDispatch* dispatch = dispatch_.get();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(dispatch->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(dispatch));
  EXPECT_EQ(dispatch->QueryInterface(IID_IDispatch, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(dispatch));
  EXPECT_EQ(dispatch_->reference_count(), 2u);
  EXPECT_EQ(dispatch->QueryInterface(IID_IOleWindow, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  EXPECT_EQ(dispatch->AddRef(), 3u);
  EXPECT_EQ(dispatch->Release(), 2u);
  EXPECT_EQ(dispatch->Release(), 1u);
  EXPECT_EQ(dispatch->Release(), 0u);
  // Still alive: the owner deletes it, not the last Release.
  EXPECT_EQ(Id(L"SetGuestInfo"), 0x1005);

  UINT count = 7;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), E_NOTIMPL);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
}

TEST(ScriptBridgeObject, OneObjectUntilDeleted) {
  EXPECT_EQ(ScriptBridgeObject(), nullptr);
  CImpIDispatch* first = CreateScriptBridge();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CreateScriptBridge(), first);
  EXPECT_EQ(ScriptBridgeObject(), first);
  DeleteScriptBridge();
  EXPECT_EQ(ScriptBridgeObject(), nullptr);
}

}  // namespace
}  // namespace fernlite

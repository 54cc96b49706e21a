// The resources every Windows program of the build carries: the dialog templates as the
// windows read them, the icons (the window's, and the launcher's icon index 1 that the desktop
// shortcut shows), and the manifest's common controls.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fakes/com_doubles_win32.h"
#include "fakes/fake_platform.h"
#include "fakes/test_env.h"
#include "platform/handles_win32.h"
#include "platform/text.h"
#include "platform/wide_win32.h"
#include "skin/canvas.h"
#include "skin/drawing_win32.h"
#include "skin_art.h"

namespace fernlite {
namespace {

std::vector<uint8_t> Resource(const wchar_t* type, uint16_t id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!info) return {};
  const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(module, info)));
  return bytes ? std::vector<uint8_t>(bytes, bytes + SizeofResource(module, info))
               : std::vector<uint8_t>();
}

// An extended dialog template, read with every length checked.
struct DialogItem {
  uint32_t style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  uint32_t id = 0;
  uint16_t class_atom = 0;  // 0x80: button
  std::u16string text;
};

struct DialogTemplate {
  uint32_t style = 0;
  uint32_t ex_style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::u16string title;
  int font_points = 0;
  std::u16string font;
  std::vector<DialogItem> items;
};

class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  uint16_t Word() {
    if (!Need(2)) return 0;
    const uint16_t value = static_cast<uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
    at_ += 2;
    return value;
  }
  uint32_t Dword() { return Word() | static_cast<uint32_t>(Word()) << 16; }
  int16_t Short() { return static_cast<int16_t>(Word()); }
  void Skip(size_t count) {
    if (Need(count)) at_ += count;
  }
  std::u16string Text() {
    std::u16string text;
    while (ok_)
      if (const char16_t c = Word())
        text += c;
      else
        break;
    return text;
  }
  // A name or an ordinal; the ordinal when there is one.
  uint16_t NameOrOrdinal(std::u16string* name) {
    if (!Need(2)) return 0;
    if (bytes_[at_] == 0xFF && bytes_[at_ + 1] == 0xFF) {
      Word();
      return Word();
    }
    const std::u16string text = Text();
    if (name) *name = text;
    return 0;
  }
  void AlignDword() { Skip((4 - at_ % 4) % 4); }

 private:
  bool Need(size_t count) {
    ok_ = ok_ && at_ + count <= bytes_.size();
    return ok_;
  }
  const std::vector<uint8_t>& bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

std::optional<DialogTemplate> ReadTemplate(uint16_t id) {
  const std::vector<uint8_t> bytes = Resource(RT_DIALOG, id);
  TemplateReader in(bytes);
  DialogTemplate result;
  if (in.Word() != 1 || in.Word() != 0xFFFF) return std::nullopt;  // DLGTEMPLATEEX only
  in.Dword();                                                      // help id
  result.ex_style = in.Dword();
  result.style = in.Dword();
  const uint16_t count = in.Word();
  result.x = in.Short();
  result.y = in.Short();
  result.cx = in.Short();
  result.cy = in.Short();
  in.NameOrOrdinal(nullptr);  // menu
  in.NameOrOrdinal(nullptr);  // class
  result.title = in.Text();
  if (result.style & (DS_SETFONT | DS_SHELLFONT)) {
    result.font_points = in.Word();
    in.Skip(4);  // weight, italic, character set
    result.font = in.Text();
  }
  for (uint16_t i = 0; i < count && in.ok(); ++i) {
    in.AlignDword();
    DialogItem item;
    in.Dword();  // help id
    in.Dword();  // extended style
    item.style = in.Dword();
    item.x = in.Short();
    item.y = in.Short();
    item.cx = in.Short();
    item.cy = in.Short();
    item.id = in.Dword();
    item.class_atom = in.NameOrOrdinal(nullptr);
    in.NameOrOrdinal(&item.text);
    in.Skip(in.Word());  // creation data
    result.items.push_back(item);
  }
  if (!in.ok()) return std::nullopt;
  return result;
}

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

// A dialog made from one of the program's templates, destroyed at scope end.
class TemplateWindow {
 public:
  explicit TemplateWindow(uint16_t id)
      : window_(CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr,
                                   &QuietDialog, 0)) {}
  ~TemplateWindow() {
    if (window_) DestroyWindow(window_);
  }
  HWND get() const { return window_; }

  // A template rectangle in pixels: position and size are each converted, as the dialog
  // manager places controls.
  RECT Units(int x, int y, int cx, int cy) const {
    RECT rect{x, y, cx, cy};
    MapDialogRect(window_, &rect);
    return RECT{rect.left, rect.top, rect.left + rect.right, rect.top + rect.bottom};
  }

 private:
  HWND window_;
};

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

RECT ClientRect(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect;
}

TEST(DialogTemplates, LauncherDialog102HasItsSevenButtons) {
  const std::optional<DialogTemplate> dialog = ReadTemplate(102);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->style,
            static_cast<uint32_t>(WS_VISIBLE | WS_OVERLAPPEDWINDOW | DS_SETFONT | DS_FIXEDSYS));
  EXPECT_EQ(dialog->ex_style, 0u);
  EXPECT_EQ(dialog->cx, 431);
  EXPECT_EQ(dialog->cy, 250);
  EXPECT_EQ(dialog->title, u"");
  EXPECT_EQ(dialog->font_points, 8);
  EXPECT_EQ(dialog->font, u"MS Shell Dlg");

  struct Expected {
    uint32_t id;
    std::u16string text;
    int x, y, cx, cy;
  };
  const std::vector<Expected> expected{
      {1007, u"Button1", 355, 156, 6, 6}, {1005, u"", 335, 4, 35, 14},
      {1009, u"", 347, 26, 50, 14},       {1010, u"", 38, 12, 50, 14},
      {1011, u"", 119, 13, 50, 14},       {1012, u"", 100, 100, 50, 14},
      {1013, u"", 242, 105, 50, 14},
  };
  ASSERT_EQ(dialog->items.size(), expected.size());
  TemplateWindow window(102);
  ASSERT_NE(window.get(), nullptr);
  EXPECT_TRUE(SameRect(ClientRect(window.get()), window.Units(0, 0, 431, 250)));
  for (size_t i = 0; i < expected.size(); ++i) {
    const DialogItem& item = dialog->items[i];
    const Expected& want = expected[i];
    SCOPED_TRACE(want.id);
    EXPECT_EQ(item.id, want.id);
    EXPECT_EQ(item.text, want.text);
    EXPECT_EQ(item.class_atom, 0x80);
    EXPECT_EQ(item.style & 0x0F, static_cast<uint32_t>(BS_PUSHBUTTON));
    EXPECT_EQ(item.style & (WS_CHILD | WS_VISIBLE), static_cast<uint32_t>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(item.x, want.x);
    EXPECT_EQ(item.y, want.y);
    EXPECT_EQ(item.cx, want.cx);
    EXPECT_EQ(item.cy, want.cy);

    // The window made from the template has the button where the template puts it.
    HWND button = GetDlgItem(window.get(), static_cast<int>(want.id));
    ASSERT_NE(button, nullptr);
    wchar_t class_name[16] = {};
    GetClassNameW(button, class_name, 16);
    EXPECT_EQ(FromWide(class_name), u"Button");
    RECT placed{};
    GetWindowRect(button, &placed);
    MapWindowPoints(nullptr, window.get(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_TRUE(SameRect(placed, window.Units(want.x, want.y, want.cx, want.cy)));
  }
}

TEST(DialogTemplates, PageDialog129IsAnEmptyPopup) {
  const std::optional<DialogTemplate> dialog = ReadTemplate(129);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->style, static_cast<uint32_t>(WS_POPUP | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS));
  EXPECT_EQ(dialog->cx, 400);
  EXPECT_EQ(dialog->cy, 250);
  EXPECT_EQ(dialog->title, u"");
  EXPECT_EQ(dialog->font, u"MS Shell Dlg");
  EXPECT_EQ(dialog->font_points, 8);
  EXPECT_TRUE(dialog->items.empty());

  TemplateWindow window(129);
  ASSERT_NE(window.get(), nullptr);
  EXPECT_FALSE(IsWindowVisible(window.get()));
  EXPECT_EQ(GetWindow(window.get(), GW_CHILD), nullptr);
  // No frame: the window is the client area.
  RECT outer{};
  GetWindowRect(window.get(), &outer);
  EXPECT_EQ(outer.right - outer.left, window.Units(0, 0, 400, 250).right);
  EXPECT_EQ(outer.bottom - outer.top, window.Units(0, 0, 400, 250).bottom);
}

TEST(DialogTemplates, GameWindow131IsASizableCaptionedPopup) {
  const std::optional<DialogTemplate> dialog = ReadTemplate(131);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->style,
            static_cast<uint32_t>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                                  WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_SETFONT | DS_FIXEDSYS));
  EXPECT_EQ(dialog->cx, 481);
  EXPECT_EQ(dialog->cy, 246);
  EXPECT_EQ(dialog->title, u"WebGame");
  EXPECT_EQ(dialog->font, u"MS Shell Dlg");
  EXPECT_TRUE(dialog->items.empty());

  TemplateWindow window(131);
  ASSERT_NE(window.get(), nullptr);
  wchar_t title[32] = {};
  GetWindowTextW(window.get(), title, 32);
  EXPECT_EQ(FromWide(title), u"WebGame");
  EXPECT_TRUE(SameRect(ClientRect(window.get()), window.Units(0, 0, 481, 246)));
  EXPECT_EQ(GetWindow(window.get(), GW_CHILD), nullptr);
}

// The launcher built beside the tests, as a path this program can open.
std::u16string LauncherPath() {
  const std::string path = FERNLITE_LAUNCHER_PATH;
  // Wine's own conversion of a host path (cdecl, as Wine exports it); absent on Windows.
  using DosName = wchar_t*(CDECL*)(const char*);
  const auto dos_name = reinterpret_cast<DosName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (path.empty() || path[0] != '/' || !dos_name) return FromUtf8(path);
  wchar_t* converted = dos_name(path.c_str());
  if (!converted) return u"";
  std::u16string result = FromWide(converted);
  HeapFree(GetProcessHeap(), 0, converted);
  return result;
}

using test::SurfaceDC;

// The icon as drawn over an opaque background, against the art drawn over the same one.
void ExpectIconShowsTheArt(HICON icon, uint32_t background) {
  const ImagePixels art = test::ArtImage(127, ImageType::Png).ReadPixels();
  ASSERT_EQ(art.width, 48);
  const Image surface = test::Filled(48, 48, background);
  {
    SurfaceDC dc(surface);
    ASSERT_TRUE(DrawIconEx(dc.get(), 0, 0, icon, 48, 48, 0, nullptr, DI_NORMAL));
    GdiFlush();
  }
  const ImagePixels drawn = surface.ReadPixels();
  int mismatches = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      const uint32_t want = test::Over(background, art.At(x, y)) & 0xFFFFFF;
      if (!test::PixelNear(drawn.At(x, y) & 0xFFFFFF, want, 2) && ++mismatches <= 3)
        ADD_FAILURE() << "pixel " << x << "," << y << ": "
                      << test::PixelNear(drawn.At(x, y) & 0xFFFFFF, want, 2).message();
    }
  EXPECT_EQ(mismatches, 0);
}

struct IconDeleter {
  using Handle = HICON;
  static Handle Invalid() { return nullptr; }
  static bool Close(Handle icon) { return DestroyIcon(icon) != FALSE; }
};
using UniqueIcon = UniqueHandle<IconDeleter>;

UniqueIcon ExtractIcon48(const std::u16string& file, int index) {
  HICON icon = nullptr;
  UINT icon_id = 0;
  if (PrivateExtractIconsW(W(file), index, 48, 48, &icon, &icon_id, 1, 0) != 1) return {};
  return UniqueIcon(icon);
}

TEST(Icons, GroupIs127At48PixelsAnd32Bits) {
  const std::vector<uint8_t> group = Resource(RT_GROUP_ICON, 127);
  // GRPICONDIR: reserved, type 1, count; then one 14-byte entry per image.
  ASSERT_EQ(group.size(), 6u + 14u);
  EXPECT_EQ(group[2], 1);  // icon
  EXPECT_EQ(group[4], 1);  // one image
  EXPECT_EQ(group[6], 48);
  EXPECT_EQ(group[7], 48);
  EXPECT_EQ(group[12] | group[13] << 8, 32);

  HICON icon = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(127), IMAGE_ICON, 48, 48, 0));
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP colour{};
  ASSERT_NE(info.hbmColor, nullptr);
  GetObjectW(info.hbmColor, sizeof(colour), &colour);
  EXPECT_EQ(colour.bmWidth, 48);
  EXPECT_EQ(colour.bmHeight, 48);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  ExpectIconShowsTheArt(icon, 0xFF000000);
  DestroyIcon(icon);
}

TEST(Icons, TheLaunchersIconIndexOneIsTheGamesIcon) {
  const std::u16string launcher = LauncherPath();
  ASSERT_TRUE(PathFileExistsW(W(launcher))) << ToUtf8(launcher);
  // Two groups: index 0 for the file itself, index 1 for the shortcut.
  EXPECT_EQ(ExtractIconExW(W(launcher), -1, nullptr, nullptr, 0), 2u);
  for (int index : {0, 1}) {
    SCOPED_TRACE(index);
    const UniqueIcon icon = ExtractIcon48(launcher, index);
    ASSERT_TRUE(icon);
    ExpectIconShowsTheArt(icon.get(), 0xFF000000);
    ExpectIconShowsTheArt(icon.get(), 0xFFFFFFFF);
  }
  EXPECT_FALSE(ExtractIcon48(launcher, 2));
}

TEST(Icons, TheDesktopShortcutPointsAtTheGamesIcon) {
  const std::u16string launcher = LauncherPath();
  ASSERT_TRUE(PathFileExistsW(W(launcher)));
  test::ScopedServices services;
  test::TempDir folder;
  const std::u16string shortcut = folder.Join(u"game.lnk");
  ASSERT_TRUE(test::WriteShortcut(launcher, shortcut, u" /C 281 /CC 407"));

  ComPtr<IShellLinkW> link;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                             link.put_void()),
            S_OK);
  ComPtr<IPersistFile> file;
  ASSERT_EQ(link->QueryInterface(IID_IPersistFile, file.put_void()), S_OK);
  ASSERT_EQ(file->Load(W(shortcut), STGM_READ), S_OK);
  wchar_t icon_file[MAX_PATH] = {};
  int index = -1;
  ASSERT_EQ(link->GetIconLocation(icon_file, MAX_PATH, &index), S_OK);
  EXPECT_EQ(index, 1);
  const UniqueIcon icon = ExtractIcon48(FromWide(icon_file), index);
  ASSERT_TRUE(icon) << ToUtf8(FromWide(icon_file));
  ExpectIconShowsTheArt(icon.get(), 0xFF808080);
}

TEST(Manifest, TheProgramGetsCommonControlsSix) {
  ASSERT_FALSE(Resource(RT_MANIFEST, 1).empty());
  // The manifest's dependency redirects the plain name to the side-by-side version 6
  // assembly (whose DllGetVersion Wine does not report as 6).
  HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(comctl, path, MAX_PATH);
  CharLowerW(path);
  EXPECT_NE(FromWide(path).find(u"microsoft.windows.common-controls_6595b64144ccf1df_6."),
            std::u16string::npos)
      << ToUtf8(FromWide(path));
  FreeLibrary(comctl);
}

}  // namespace
}  // namespace fernlite

// The web engine opened at run time: not a link-time dependency of the launcher, opened only
// once the launcher frame is on screen, refused whole when it is not the engine we need, and
// given the renderer the display calls for.
#include "game/webkit_api_linux.h"

#include <elf.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "game/renderer_choice.h"
#include "game/renderer_choice_linux.h"
#include "game/script_bridge_linux.h"
#include "game/standard_dialog.h"
#include "skin/launcher_dialog.h"
#include "skin/launcher_dialog_linux.h"
#include "fakes/main_loop_linux.h"
#include "fakes/web_engine_leaks.h"

namespace fernlite {
namespace {

using test::RunUntil;

bool EngineMapped() {
  std::ifstream maps("/proc/self/maps");
  const std::string text((std::istreambuf_iterator<char>(maps)), {});
  return text.find("libwebkit2gtk-4.1.so") != std::string::npos ||
         text.find("libjavascriptcoregtk-4.1.so") != std::string::npos;
}

// Runs first, in a process that has not opened the engine yet.
TEST(WebEngineOpening, OnlyOnceTheLauncherFrameIsOnScreen) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
  ASSERT_FALSE(WebKitLoaded()) << "another test opened the engine first";
  ASSERT_FALSE(EngineMapped());
  const RunSettings saved = Settings();
  Settings().GuestBaseUrl = u"http://127.0.0.1:9/guest/c1/?";
  CreateScriptBridge();
  {
    CFernliteDlg dialog(kLauncherPngImage, ImageType::Png, Settings());
    ASSERT_TRUE(CreateLauncherWindow(dialog, Settings().GameTitle));
    struct AtMap {
      bool seen = false;
      bool opened = true;
    } at_map;
    g_signal_connect(static_cast<GtkWidget*>(dialog.Host()->Handle()), "map-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, AtMap* state) -> gboolean {
                       if (!state->seen) state->opened = WebKitLoaded() || EngineMapped();
                       state->seen = true;
                       return FALSE;
                     }),
                     &at_map);
    EXPECT_FALSE(WebKitLoaded() || EngineMapped()) << "opened while making the windows";
    ASSERT_TRUE(RunUntil([&] { return at_map.seen; }));
    EXPECT_FALSE(at_map.opened) << "the engine was open before the frame was on screen";

    auto* page = static_cast<CStandardDialog*>(dialog.GetBackground());
    ASSERT_TRUE(RunUntil([&] { return page->Browser() != nullptr; }));
    EXPECT_TRUE(WebKitLoaded());
    EXPECT_TRUE(EngineMapped());
    EXPECT_NE(AsWebView(page->Browser()), nullptr);
  }
  DeleteScriptBridge();
  Settings() = saved;
}

// DT_NEEDED entries of an ELF64 file, read from its dynamic section.
std::vector<std::string> NeededLibraries(const char* path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> file((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::string> needed;
  auto read = [&](size_t offset, auto& out) {
    if (offset > file.size() || file.size() - offset < sizeof out) return false;
    std::memcpy(&out, file.data() + offset, sizeof out);
    return true;
  };
  Elf64_Ehdr header{};
  if (!read(0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64) {
    ADD_FAILURE() << path << " is not an ELF64 file";
    return needed;
  }
  auto section = [&](size_t index, Elf64_Shdr& out) {
    return index < header.e_shnum && read(header.e_shoff + index * header.e_shentsize, out);
  };
  for (size_t i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr dynamic{}, strings{};
    if (!section(i, dynamic) || dynamic.sh_type != SHT_DYNAMIC) continue;
    if (!section(dynamic.sh_link, strings)) break;
    for (size_t at = dynamic.sh_offset;
         at + sizeof(Elf64_Dyn) <= dynamic.sh_offset + dynamic.sh_size; at += sizeof(Elf64_Dyn)) {
      Elf64_Dyn entry{};
      if (!read(at, entry) || entry.d_tag == DT_NULL) break;
      if (entry.d_tag != DT_NEEDED || entry.d_un.d_val >= strings.sh_size) continue;
      const size_t start = strings.sh_offset + entry.d_un.d_val;
      if (start >= file.size()) continue;
      needed.emplace_back(file.data() + start, strnlen(file.data() + start, file.size() - start));
    }
  }
  return needed;
}

TEST(LauncherExecutable, LinksNoWebEngine) {
  const std::vector<std::string> needed = NeededLibraries(FERNLITE_LAUNCHER_PATH);
  std::string all;
  for (const std::string& name : needed) all += name + " ";
  // What it does need is found, so an empty answer cannot pass for a clean one.
  EXPECT_NE(all.find("libgtk-3.so"), std::string::npos) << all;
  for (const char* engine : {"libwebkit2gtk", "libjavascriptcoregtk", "libsoup"})
    EXPECT_EQ(all.find(engine), std::string::npos) << engine << " is needed: " << all;
}

TEST(WebKitLibrary, MissingOrForeignLibrariesAreRefusedWithTheReason) {
  std::string error;
  EXPECT_EQ(OpenWebKitLibrary("libfernlite-no-such-engine.so.0", &error), nullptr);
  EXPECT_NE(error.find("libfernlite-no-such-engine.so.0"), std::string::npos) << error;

  // A library that loads but is not the engine: nothing of it is half used.
  error.clear();
  EXPECT_EQ(OpenWebKitLibrary("libgtk-3.so.0", &error), nullptr);
  EXPECT_NE(error.find("webkit_web_view_new"), std::string::npos) << error;
  EXPECT_NE(error.find("jsc_context_new"), std::string::npos) << error;
}

TEST(WebKitLibrary, TheEngineResolvesIntoWorkingFunctions) {
  std::string error;
  const std::unique_ptr<WebKitApi> api = OpenWebKitLibrary(kWebKitLibrary, &error);
  ASSERT_NE(api, nullptr) << error;
  EXPECT_EQ(api->webkit_web_view_get_type(), g_type_from_name("WebKitWebView"));
  JSCContext* context = api->jsc_context_new();
  JSCValue* value = api->jsc_context_evaluate(context, "6 * 7", -1);
  EXPECT_EQ(api->jsc_value_to_int32(value), 42);
  g_object_unref(value);
  g_object_unref(context);
}

TEST(WebKitLibrary, OnlyWebViewsAreWebViews) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
  WebKitWebView* view = NewWebView();
  ASSERT_NE(view, nullptr);
  g_object_ref_sink(view);
  EXPECT_EQ(AsWebView(view), view);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  EXPECT_EQ(AsWebView(window), nullptr);
  EXPECT_EQ(AsWebView(nullptr), nullptr);
  gtk_widget_destroy(window);
  g_object_unref(view);
}

// The server's extension list as xdpyinfo prints it: a second opinion on the facts.
bool ServerListsExtension(const std::string& name) {
  const char* display = gdk_display_get_name(gdk_display_get_default());
  const std::string command = std::string("xdpyinfo -display '") + display + "' -queryExtensions";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  std::string text;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  pclose(pipe);
  return text.find("    " + name + "  ") != std::string::npos;
}

TEST(RendererForTheDisplay, FactsMatchTheServerAndTheViewGetsTheChosenRenderer) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
  const DisplayFacts facts = FindDisplayFacts(gdk_display_get_default());
  ASSERT_EQ(facts.kind, DisplayKind::kX11) << "the tests run on an X display";
  if (std::system("command -v xdpyinfo >/dev/null 2>&1") == 0) {
    ASSERT_TRUE(ServerListsExtension("RENDER")) << "xdpyinfo output not understood";
    EXPECT_EQ(facts.x11_dri3, ServerListsExtension("DRI3"));
  }

  WebKitWebView* view = NewWebView();
  ASSERT_NE(view, nullptr);
  g_object_ref_sink(view);
  const WebKitHardwareAccelerationPolicy policy =
      WebKit().webkit_settings_get_hardware_acceleration_policy(
          WebKit().webkit_web_view_get_settings(view));
  if (ChooseRenderer(CurrentDisplayFacts()) == Renderer::kSoftware)
    EXPECT_EQ(policy, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  else
    EXPECT_NE(policy, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  g_object_unref(view);
}

// The process-wide switches: set only where the machine has no GPU, and the player's word
// stands.
TEST(RendererForTheDisplay, WithoutAGpuTheToolkitAndTheEngineLeaveGlOutUnlessThePlayerSaid) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
  const bool gpu = CurrentDisplayFacts().render_node;
  struct Switch {
    const char* name;
    const char* off;
    std::optional<std::string> before;
  };
  std::vector<Switch> switches{{"GDK_GL", "disable", {}},
                               {"WEBKIT_DISABLE_DMABUF_RENDERER", "1", {}}};
  for (Switch& each : switches) {
    if (const char* value = std::getenv(each.name)) each.before = value;
    unsetenv(each.name);
  }

  PrepareEnvironmentForTheMachine();
  for (const Switch& each : switches) {
    const char* value = std::getenv(each.name);
    if (gpu) {
      EXPECT_EQ(value, nullptr) << each.name;
    } else {
      ASSERT_NE(value, nullptr) << each.name;
      EXPECT_STREQ(value, each.off) << each.name;
    }
    setenv(each.name, "player", 1);
  }
  PrepareEnvironmentForTheMachine();
  for (const Switch& each : switches) {
    EXPECT_STREQ(std::getenv(each.name), "player") << each.name;
    if (each.before) {
      setenv(each.name, each.before->c_str(), 1);
    } else {
      unsetenv(each.name);
    }
  }
}

}  // namespace
}  // namespace fernlite

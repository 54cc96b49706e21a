// Times one composition of the launcher's 661 x 420 layer against a plain copy of as many
// bytes, then the time from starting the launcher to its window being on screen (the page
// load not included): the launcher, started against the development platform with
// FERNLITE_REPORT_MAPPED=1, prints the monotonic clock when its window maps and exits.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "first_window.h"
#include "skin/translucent.h"
#include "platform/native_tables.h"

namespace {

using Clock = std::chrono::steady_clock;

class LauncherLayer : public fernlite::CTranslucentDialog {
 public:
  LauncherLayer() : CTranslucentDialog(102, 153, fernlite::ImageType::Png) {}
  fernlite::BackgroundWindow* CreateBackground() override { return nullptr; }
  fernlite::BackgroundWindow* GetBackground() override { return nullptr; }
  void InitControls() override {
    close_.SetStateImages({172, 172, 172, 172, 0}, fernlite::ImageType::Png);
    close_.ActionCode = 16;
    AddChild(&close_);
    close_.SetBounds(fernlite::RectXYWH(627, 0, 31, 26));
    minimize_.SetStateImages({171, 171, 171, 171, 0}, fernlite::ImageType::Png);
    minimize_.ActionCode = fernlite::kMinimizeActionCode;
    AddChild(&minimize_);
    minimize_.SetBounds(fernlite::RectXYWH(595, 0, 27, 22));
  }

 private:
  fernlite::CTranslucentButton close_;
  fernlite::CTranslucentButton minimize_;
};

template <typename F>
double BestMicros(int rounds, F&& f) {
  double best = 1e300;
  for (int i = 0; i < rounds; ++i) {
    auto start = Clock::now();
    f();
    double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (us < best) best = us;
  }
  return best;
}

}  // namespace

int main() {
  fernlite::InstallPlatform();
  LauncherLayer dialog;
  if (!dialog.BackgroundImage()) {
    std::fprintf(stderr, "bench_render: launcher image missing\n");
    return 1;
  }
  dialog.InitControls();
  dialog.RenderLayered();
  const size_t bytes = static_cast<size_t>(dialog.Layer().Width()) * 4 * dialog.Layer().Height();
  std::vector<unsigned char> from(bytes, 0x5A), to(bytes);

  const int rounds = 200;
  double render = BestMicros(rounds, [&] { dialog.RenderLayered(); });
  double copy = BestMicros(rounds, [&] {
    std::memcpy(to.data(), from.data(), bytes);
    // Keep the copy from being optimised away.
    asm volatile("" : : "r"(to.data()) : "memory");
  });
  std::printf("surface: %dx%d, %zu bytes\n", dialog.Layer().Width(), dialog.Layer().Height(),
              bytes);
  std::printf("render: %.1f us (best of %d)\n", render, rounds);
  std::printf("copy: %.1f us (best of %d)\n", copy, rounds);
  std::printf("render/copy ratio: %.2f\n", copy > 0 ? render / copy : 0.0);
  const long long first_window = FirstWindowMs();
  if (first_window < 0) {
    std::printf("first window ms: n/a (needs a display and the Linux launcher)\n");
  } else {
    std::printf("first window ms: %lld\n", first_window);
  }
  return 0;
}

// The LV2 instance and its UI on the threads a host gives them: blocks on an
// audio thread with the host moving ports, the UI thread taking port events
// and idling, and the host freeing the instance from a third thread while the
// UI still shows it. Under AddressSanitizer a UI that used the freed instance
// fails; under ThreadSanitizer any value the UI and a block share unguarded.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "lv2/Lv2Ui.h"
#include "lv2/instance-access/instance-access.h"
#include "lv2/ui/ui.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/XvfbServer.h"
// After the test framework: Xlib's macros would break its headers.
#include <X11/Xlib.h>

extern "C" const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index);

TEST(Lv2Threads, BlocksPortEventsAndAnEarlyCleanupBesideTheUi) {
  XvfbServer& server = XvfbServer::shared();
  if (!server.running()) GTEST_SKIP() << "Xvfb is not installed";
  setenv("DISPLAY", server.display().c_str(), 1);
  TempConfigHome config;
  Display* display = openTestDisplay(server.display().c_str());
  ASSERT_NE(display, nullptr);
  const Window parent =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 900, 120, 0, 0, 0);
  XMapRaised(display, parent);
  XSync(display, False);
  const LV2UI_Descriptor* d = lv2ui_descriptor(0);
  const auto* idle =
      static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
  ASSERT_NE(idle, nullptr);

  for (int cycle = 0; cycle < 8; ++cycle) {
    auto* host = new Lv2TestHost();
    ASSERT_NE(host->handle, nullptr);
    host->activate();
    LV2_Feature parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(parent)};
    LV2_Feature instanceFeature = {LV2_INSTANCE_ACCESS_URI, host->handle};
    const LV2_Feature* features[] = {&parentFeature, &instanceFeature, &host->mapFeature, nullptr};
    std::atomic<int> writes{0};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = d->instantiate(
        d, "http://vek-sonimark.com/plugins/korva", "/nonexistent/",
        [](LV2UI_Controller c, uint32_t, uint32_t, uint32_t, const void*) {
          static_cast<std::atomic<int>*>(c)->fetch_add(1);
        },
        &writes, &widget, features);
    ASSERT_NE(ui, nullptr);

    std::atomic<bool> stopAudio{false}, freed{false};
    std::thread audio([&] {
      for (int n = 0; !stopAudio.load(); ++n) {
        host->controls[kFbck] = -1.0f - static_cast<float>(n % 40);
        host->controls[kDlyClk] = static_cast<float>((n / 7) % 2);
        host->run(0.1f);
      }
    });
    std::thread cleanup;
    for (int k = 0; k < 300; ++k) {
      const float mix = static_cast<float>(k % 101);
      d->port_event(ui, korvalv2::kPortFirstControl + kMix, sizeof mix, 0, &mix);
      const float time = static_cast<float>(10 * (k % 300));
      d->port_event(ui, korvalv2::kPortFirstControl + kDlyTime, sizeof time, 0, &time);
      idle->idle(ui);
      if (k == 150) {
        stopAudio = true;
        audio.join();
        // The host frees the instance while its UI lives on.
        cleanup = std::thread([&] {
          host->descriptor->deactivate(host->handle);
          host->descriptor->cleanup(host->handle);
          host->handle = nullptr;
          freed = true;
        });
      }
    }
    cleanup.join();
    EXPECT_TRUE(freed.load());
    idle->idle(ui);
    d->cleanup(ui);
    delete host;
  }
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

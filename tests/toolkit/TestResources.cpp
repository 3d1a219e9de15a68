// Bitmaps from the library's resources and the module handle.
#include <gtest/gtest.h>

#include <vector>

#include "TestResourceTable.h"
#include "platform/ModuleHandle.h"
#include "toolkit/OffscreenFrame.h"
#include "toolkit/Toolkit.h"

TEST(Resources, BitmapLoadsAnEmbeddedPngById) {
  auto* bitmap = new CBitmap(kTestResourceId);
  ASSERT_TRUE(bitmap->isLoaded());
  EXPECT_EQ(bitmap->getWidth(), 3);
  EXPECT_EQ(bitmap->getHeight(), 2);
  EXPECT_EQ(bitmap->getResourceId(), kTestResourceId);
  CFrame* frame = new CFrame(CRect(0, 0, 3, 2), nullptr, nullptr);
  frame->setBackground(bitmap);
  bitmap->forget();
  toolkit::OffscreenFrame drv(frame);
  const std::vector<uint32_t> px = drv.surfacePixels();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(px[i], kTestResourceColours[i]) << i;
  frame->close();
}

TEST(Resources, UnknownIdGivesAnEmptyBitmapThatDrawsNothing) {
  auto* bitmap = new CBitmap(4242);
  EXPECT_FALSE(bitmap->isLoaded());
  EXPECT_EQ(bitmap->getWidth(), 0);
  auto* broken = new CBitmap("not a png", 9);
  EXPECT_FALSE(broken->isLoaded());
  CFrame* frame = new CFrame(CRect(0, 0, 4, 4), nullptr, nullptr);
  auto* view = new CMovieBitmap(CRect(0, 0, 4, 4), nullptr, 0, bitmap);
  bitmap->forget();
  broken->forget();
  frame->addView(view);
  toolkit::OffscreenFrame drv(frame);
  EXPECT_EQ(drv.surfacePixels()[5], 0xFF000000u);  // the frame's black, nothing over it
  frame->close();
}

TEST(Resources, ModuleHandleIsTheBaseOfTheLoadedImage) {
  void* handle = platform::getModuleHandle();
  ASSERT_NE(handle, nullptr);
  // The function itself lies above the start of the image that holds it.
  EXPECT_LT(reinterpret_cast<uintptr_t>(handle),
            reinterpret_cast<uintptr_t>(&platform::getModuleHandle));
}

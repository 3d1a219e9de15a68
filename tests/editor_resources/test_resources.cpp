#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

#include "editor/resources/generator/SkinPainter.h"
#include "editor/resources/resources.h"

namespace {

// The skin table as the window's layout needs it: id, width, total height.
struct Expected {
  int id, width, height;
};

const Expected kSkin[] = {
    {128, 870, 101}, {129, 870, 101}, {130, 21, 40},   {131, 35, 3535}, {132, 35, 3535},
    {133, 35, 3535}, {134, 21, 52},   {135, 21, 52},   {136, 35, 3535}, {137, 22, 52},
    {138, 26, 52},   {139, 26, 52},   {140, 14, 240},  {141, 14, 240},  {142, 15, 240},
    {143, 14, 240},  {144, 16, 256},  {145, 11, 22},   {146, 7, 903},   {147, 23, 52},
    {148, 36, 3636}, {149, 35, 3535}, {150, 36, 3636}, {151, 36, 3636}, {152, 22, 40},
    {153, 10, 1010}, {154, 12, 25},   {155, 15, 20},   {990, 17, 45},   {991, 17, 45},
    {992, 32, 39},   {993, 44, 39},   {994, 28, 39},   {995, 30, 65},   {998, 24, 48},
    {999, 24, 48},
};

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

struct Reader {
  const unsigned char* p;
  std::size_t left;
};

cairo_status_t readChunk(void* closure, unsigned char* out, unsigned int length) {
  auto* r = static_cast<Reader*>(closure);
  if (length > r->left) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, r->p, length);
  r->p += length;
  r->left -= length;
  return CAIRO_STATUS_SUCCESS;
}

Surface decode(int id) {
  const skin::Resource* res = skin::findResource(nullptr, id);
  if (!res) return Surface(nullptr, &cairo_surface_destroy);
  Reader r{res->data, res->size};
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readChunk, &r);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return Surface(nullptr, &cairo_surface_destroy);
  }
  cairo_surface_flush(s);
  return Surface(s, &cairo_surface_destroy);
}

struct Rgb {
  int r, g, b;
};

Rgb pixel(cairo_surface_t* s, int x, int y) {
  const unsigned char* row =
      cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
  std::uint32_t v;
  std::memcpy(&v, row + 4 * x, 4);
  return {int((v >> 16) & 0xff), int((v >> 8) & 0xff), int(v & 0xff)};
}

// Sum of a per-pixel measure over a rectangle.
double sumOver(cairo_surface_t* s, int x0, int y0, int w, int h,
               const std::function<double(Rgb)>& f) {
  double sum = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) sum += f(pixel(s, x, y));
  return sum;
}

double luminance(Rgb p) {
  return 0.299 * p.r + 0.587 * p.g + 0.114 * p.b;
}
double brightRed(Rgb p) {
  return (p.r > 200 && p.g < 140) ? 1.0 : 0.0;
}
double lit(Rgb p) {
  return luminance(p) > 110 ? 1.0 : 0.0;
}

bool framesDiffer(cairo_surface_t* s, int frameH, int a, int b) {
  int w = cairo_image_surface_get_width(s);
  for (int y = 0; y < frameH; ++y)
    for (int x = 0; x < w; ++x) {
      Rgb p = pixel(s, x, a * frameH + y), q = pixel(s, x, b * frameH + y);
      if (p.r != q.r || p.g != q.g || p.b != q.b) return true;
    }
  return false;
}

}  // namespace

TEST(SkinResources, EveryImageIsAPngOfItsLayoutSize) {
  static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  for (const Expected& e : kSkin) {
    SCOPED_TRACE(e.id);
    const skin::Resource* res = skin::findResource(nullptr, e.id);
    ASSERT_NE(res, nullptr);
    EXPECT_EQ(res->id, e.id);
    ASSERT_NE(res->data, nullptr);
    ASSERT_GT(res->size, 8u);
    EXPECT_EQ(std::memcmp(res->data, kPngSignature, 8), 0);
    Surface s = decode(e.id);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(cairo_image_surface_get_width(s.get()), e.width);
    EXPECT_EQ(cairo_image_surface_get_height(s.get()), e.height);
  }
}

TEST(SkinResources, LookupIgnoresTheModuleHandleAndIsStable) {
  int dummy = 0;
  const skin::Resource* a = skin::findResource(nullptr, 128);
  const skin::Resource* b = skin::findResource(&dummy, 128);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  // distinct ids are distinct images
  const skin::Resource* about = skin::findResource(nullptr, 129);
  ASSERT_NE(about, nullptr);
  EXPECT_NE(about->data, a->data);
}

TEST(SkinResources, UnknownIdsAreAbsent) {
  for (int id : {0, 1, -1, 127, 156, 200, 989, 996, 997, 1000, INT_MIN, INT_MAX})
    EXPECT_EQ(skin::findResource(nullptr, id), nullptr) << id;
}

// The strips must show what the editor selects: images that differ where
// the state differs, lit where the state says lit.
TEST(SkinResources, KnobStripsTurn) {
  for (int id : {131, 132, 133, 136, 148, 149, 150, 151}) {
    SCOPED_TRACE(id);
    Surface s = decode(id);
    ASSERT_NE(s, nullptr);
    int h = cairo_image_surface_get_width(s.get());  // square images
    EXPECT_TRUE(framesDiffer(s.get(), h, 0, 50));
    EXPECT_TRUE(framesDiffer(s.get(), h, 50, 100));
    EXPECT_TRUE(framesDiffer(s.get(), h, 0, 100));
    EXPECT_TRUE(framesDiffer(s.get(), h, 49, 50));
  }
}

TEST(SkinResources, DigitsShowSevenSegmentFigures) {
  for (int id : {140, 141, 142, 143}) {
    SCOPED_TRACE(id);
    Surface s = decode(id);
    ASSERT_NE(s, nullptr);
    int w = cairo_image_surface_get_width(s.get());
    double red[12];
    for (int i = 0; i < 12; ++i) red[i] = sumOver(s.get(), 0, i * 20, w, 20, brightRed);
    // 8 lights all seven segments, 1 only two, the blank none.
    for (int d = 0; d <= 9; ++d) {
      if (d != 8) {
        EXPECT_GT(red[8], red[d]) << d;
      }
      if (d != 1) {
        EXPECT_LT(red[1], red[d]) << d;
      }
    }
    EXPECT_EQ(red[10], 0.0);
    EXPECT_GT(red[11], 0.0);
    EXPECT_LT(red[11], red[1] * 1.5);
    for (int a = 0; a <= 10; ++a)
      for (int b = a + 1; b <= 10; ++b)
        EXPECT_TRUE(framesDiffer(s.get(), 20, a, b)) << a << " vs " << b;
  }
}

TEST(SkinResources, StatusLampsFollowTheBitsOfTheImageIndex) {
  Surface s = decode(144);
  ASSERT_NE(s, nullptr);
  // top third: cycle flag (bit 2); middle: infinite repeat (bit 1);
  // bottom third: high cut (bit 0)
  const int bandTop[3] = {0, 11, 22};
  const int bandHeight[3] = {11, 11, 10};
  const int bit[3] = {4, 2, 1};
  for (int band = 0; band < 3; ++band) {
    double dark = sumOver(s.get(), 0, bandTop[band], 16, bandHeight[band], luminance);
    for (int i = 0; i < 8; ++i) {
      double v = sumOver(s.get(), 0, i * 32 + bandTop[band], 16, bandHeight[band], luminance);
      if (i & bit[band]) {
        EXPECT_GT(v, dark * 1.3) << "image " << i << " band " << band;
      } else {
        EXPECT_NEAR(v, dark, dark * 0.02) << "image " << i << " band " << band;
      }
    }
  }
}

TEST(SkinResources, LevelMeterLightsOneMoreSegmentPerImage) {
  Surface s = decode(146);
  ASSERT_NE(s, nullptr);
  double prev = -1;
  for (int n = 0; n <= 20; ++n) {
    double count = sumOver(s.get(), 0, n * 43, 7, 43, lit);
    if (n == 0) {
      EXPECT_EQ(count, 0.0);
    } else {
      EXPECT_GT(count, prev) << n;
    }
    prev = count;
  }
  // the top segment is red, the bottom one green
  Surface full = decode(146);
  double topRed = sumOver(full.get(), 0, 20 * 43, 7, 4,
                          [](Rgb p) { return p.r > 200 && p.g < 120 ? 1.0 : 0.0; });
  double bottomGreen = sumOver(full.get(), 0, 20 * 43 + 38, 7, 5,
                               [](Rgb p) { return p.g > 180 && p.r < 150 ? 1.0 : 0.0; });
  EXPECT_GT(topRed, 0.0);
  EXPECT_GT(bottomGreen, 0.0);
}

TEST(SkinResources, LampsBrightenWithTheirValue) {
  Surface bypass = decode(145);
  ASSERT_NE(bypass, nullptr);
  EXPECT_GT(sumOver(bypass.get(), 0, 11, 11, 11, luminance),
            1.3 * sumOver(bypass.get(), 0, 0, 11, 11, luminance));

  Surface lfo = decode(153);
  ASSERT_NE(lfo, nullptr);
  double prev = -1;
  for (int i = 0; i <= 100; ++i) {
    double v = sumOver(lfo.get(), 0, i * 10, 10, 10, luminance);
    EXPECT_GE(v, prev) << i;
    prev = v;
  }
  EXPECT_GT(sumOver(lfo.get(), 0, 1000, 10, 10, luminance),
            1.5 * sumOver(lfo.get(), 0, 0, 10, 10, luminance));
}

TEST(SkinResources, OnOffButtonsAreLitInTheLowerImage) {
  for (int id : {130, 134, 135, 137, 147, 152}) {
    SCOPED_TRACE(id);
    Surface s = decode(id);
    ASSERT_NE(s, nullptr);
    int w = cairo_image_surface_get_width(s.get()), h = cairo_image_surface_get_height(s.get()) / 2;
    double off = sumOver(s.get(), 0, 0, w, h, luminance);
    double on = sumOver(s.get(), 0, h, w, h, luminance);
    EXPECT_GT(on, off * 1.3);
  }
}

TEST(SkinResources, StripButtonsHaveDistinctStates) {
  struct Strip {
    int id, images, frameH;
  };
  for (Strip st : {Strip{990, 3, 15}, Strip{991, 3, 15}, Strip{992, 3, 13}, Strip{993, 3, 13},
                   Strip{994, 3, 13}, Strip{995, 5, 13}, Strip{998, 3, 16}, Strip{999, 3, 16},
                   Strip{138, 2, 26}, Strip{139, 2, 26}, Strip{155, 2, 10}}) {
    SCOPED_TRACE(st.id);
    Surface s = decode(st.id);
    ASSERT_NE(s, nullptr);
    for (int a = 0; a < st.images; ++a)
      for (int b = a + 1; b < st.images; ++b)
        EXPECT_TRUE(framesDiffer(s.get(), st.frameH, a, b)) << a << " vs " << b;
  }
  // the up and down step buttons carry different arrows
  Surface down = decode(138), up = decode(139);
  ASSERT_NE(down, nullptr);
  ASSERT_NE(up, nullptr);
  bool differ = false;
  for (int y = 0; y < 26 && !differ; ++y)
    for (int x = 0; x < 26 && !differ; ++x) {
      Rgb p = pixel(down.get(), x, y), q = pixel(up.get(), x, y);
      differ = p.r != q.r || p.g != q.g || p.b != q.b;
    }
  EXPECT_TRUE(differ);
}

TEST(SkinResources, AboutImageLeavesRoomForTheVersionText) {
  Surface s = decode(129);
  ASSERT_NE(s, nullptr);
  // The version is drawn in white into (520, 57) - (620, 72): the image must
  // be dark there and carry no light marks of its own.
  double maxLum = 0;
  for (int y = 57; y < 72; ++y)
    for (int x = 520; x < 620; ++x) maxLum = std::max(maxLum, luminance(pixel(s.get(), x, y)));
  EXPECT_LT(maxLum, 110.0);
}

namespace {

using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

// The largest difference of a colour channel between two images, over `rows`
// rows from fromRowA and fromRowB; 256 when their widths differ.
int largestDifference(cairo_surface_t* a, int fromRowA, cairo_surface_t* b, int fromRowB,
                      int rows) {
  cairo_surface_flush(a);
  cairo_surface_flush(b);
  const int w = cairo_image_surface_get_width(a);
  if (w != cairo_image_surface_get_width(b)) return 256;
  int largest = 0;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < w; ++x) {
      Rgb p = pixel(a, x, fromRowA + y), q = pixel(b, x, fromRowB + y);
      largest = std::max({largest, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
    }
  return largest;
}

}  // namespace

// The generator's painter draws exactly the committed skin at 100 %, so that
// redrawing the skin changes nothing unless the drawing changed.
TEST(SkinPainter, DrawsTheCommittedSkinAtOneHundredPercent) {
  SurfacePtr background(skin::paintBackground(1.0), &cairo_surface_destroy);
  for (int id : skin::kSkinImageIds) {
    SCOPED_TRACE(id);
    Surface committed = decode(id);
    ASSERT_NE(committed, nullptr);
    SurfacePtr painted(skin::paintImage(id, 1.0, background.get()), &cairo_surface_destroy);
    ASSERT_NE(painted, nullptr);
    const int height = cairo_image_surface_get_height(committed.get());
    ASSERT_EQ(cairo_image_surface_get_height(painted.get()), height);
    EXPECT_EQ(largestDifference(painted.get(), 0, committed.get(), 0, height), 0);
  }
}

// An image of a strip drawn alone, as the editor draws them at other scales,
// is that image of the whole strip: exactly at 100 % (what reaches over from
// its neighbours included), and but for the rounding of gradients far down a
// strip at a quarter step.
TEST(SkinPainter, AnImageDrawnAloneIsThatImageOfItsStrip) {
  for (const auto& [scale, tolerance] : {std::pair<double, int>{1.0, 0}, {1.75, 2}}) {
    SCOPED_TRACE(scale);
    SurfacePtr background(skin::paintBackground(scale), &cairo_surface_destroy);
    for (int id : skin::kSkinImageIds) {
      const int count = skin::imageCount(id);
      SurfacePtr strip(skin::paintImage(id, scale, background.get()), &cairo_surface_destroy);
      ASSERT_NE(strip, nullptr) << id;
      const int imageHeight = cairo_image_surface_get_height(strip.get()) / count;
      for (int i = 0; i < count; ++i) {
        // Of the long strips, the ends and a few between.
        if (count > 12 && i > 1 && i < count - 2 && i % 25 != 0) continue;
        SurfacePtr alone(skin::paintOneImage(id, scale, background.get(), i),
                         &cairo_surface_destroy);
        ASSERT_NE(alone, nullptr) << id << " image " << i;
        ASSERT_EQ(cairo_image_surface_get_height(alone.get()), imageHeight) << id;
        EXPECT_LE(largestDifference(alone.get(), 0, strip.get(), i * imageHeight, imageHeight),
                  tolerance)
            << id << " image " << i;
      }
      EXPECT_EQ(skin::paintOneImage(id, scale, background.get(), count), nullptr) << id;
    }
  }
}

// The skin at scales other than 1: each image of a strip is drawn by the
// skin's painter the first time it is shown at a scale, then kept for the
// life of the library, so every editor of the process shares one drawing per
// scale and a knob costs one of its 101 images until it turns. At 1 the
// committed PNGs are used (resources.cpp).
#include <mutex>
#include <vector>

#include "editor/resources/generator/SkinPainter.h"
#include "editor/resources/resources.h"
#include "toolkit/DeviceScale.h"

namespace skin {
namespace {

class ScaledSets {
 public:
  ~ScaledSets() {
    for (Set& set : sets) {
      for (Strip& strip : set.strips)
        for (cairo_surface_t* image : strip.images)
          if (image) cairo_surface_destroy(image);
      cairo_surface_destroy(set.background);
    }
  }

  cairo_surface_t* image(int id, double scale, int index, int32_t* images) {
    const int count = imageCount(id);
    *images = count;
    if (index < 0 || index >= count) return nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    Strip& strip = stripFor(setFor(scale), id, count);
    cairo_surface_t*& image = strip.images[static_cast<size_t>(index)];
    // Once drawn, an image is never drawn into again: editors on other
    // threads may be showing it.
    if (!image) image = paintOneImage(id, scale, setFor(scale).background, index);
    return image ? cairo_surface_reference(image) : nullptr;
  }

 private:
  struct Strip {
    int id;
    std::vector<cairo_surface_t*> images;
  };
  struct Set {
    double scale;
    cairo_surface_t* background;
    std::vector<Strip> strips;
  };

  Set& setFor(double scale) {
    for (Set& set : sets)
      if (set.scale == scale) return set;
    sets.push_back({scale, paintBackground(scale), {}});
    return sets.back();
  }

  static Strip& stripFor(Set& set, int id, int count) {
    for (Strip& strip : set.strips)
      if (strip.id == id) return strip;
    set.strips.push_back({id, std::vector<cairo_surface_t*>(static_cast<size_t>(count), nullptr)});
    return set.strips.back();
  }

  // Editors of several instances may open on different threads.
  std::mutex mutex;
  std::vector<Set> sets;
};

ScaledSets& scaledSets() {
  static ScaledSets sets;
  return sets;
}

}  // namespace

_cairo_surface* scaledImage(int32_t id, double scale, int32_t index, int32_t* images) {
  if (!images) return nullptr;
  *images = 0;
  if (scale == 1.0 || toolkit::quarterScale(scale) != scale) return nullptr;
  return scaledSets().image(id, scale, index, images);
}

}  // namespace skin

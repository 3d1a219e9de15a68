#include "toolkit/CBitmap.h"

#include <cairo.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "toolkit/CDrawContext.h"
#include "toolkit/CResourceProvider.h"
#include "toolkit/DeviceScale.h"

namespace {

struct PngReader {
  const unsigned char* data;
  std::size_t size;
  std::size_t pos;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
  auto* r = static_cast<PngReader*>(closure);
  if (length > r->size - r->pos) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, r->data + r->pos, length);
  r->pos += length;
  return CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* decodePng(const void* data, std::size_t size) {
  if (!data || size == 0) return nullptr;
  PngReader reader{static_cast<const unsigned char*>(data), size, 0};
  return cairo_image_surface_create_from_png_stream(readPng, &reader);
}

// Embedded images decoded once per process and shared: hosts open and close
// editors all the time, and decoding the whole skin is most of an open. No
// bitmap is ever drawn into, so sharing a surface is safe. Freed when the
// library is unloaded.
class DecodedResources {
 public:
  ~DecodedResources() {
    for (const Entry& e : entries) cairo_surface_destroy(e.surface);
  }
  // A new reference to the decoded image, or null when it does not decode.
  cairo_surface_t* get(const CResource& res) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const Entry& e : entries)
      if (e.data == res.data) return cairo_surface_reference(e.surface);
    cairo_surface_t* s = decodePng(res.data, res.size);
    if (!s) return nullptr;
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      return nullptr;
    }
    entries.push_back({res.data, s});
    return cairo_surface_reference(s);
  }

 private:
  struct Entry {
    const unsigned char* data;
    cairo_surface_t* surface;
  };
  std::mutex mutex;  // editors of several instances may open on different threads
  std::vector<Entry> entries;
};

// Paints the source set, with a global alpha below 1 where one applies.
void paint(cairo_t* cr, float alpha) {
  if (alpha >= 1.f)
    cairo_paint(cr);
  else
    cairo_paint_with_alpha(cr, alpha);
}

std::atomic<CResourceProvider> resourceProvider{nullptr};
std::atomic<CScaledResourceProvider> scaledResourceProvider{nullptr};

DecodedResources& decodedResources() {
  static DecodedResources resources;
  return resources;
}

}  // namespace

void setResourceProvider(CResourceProvider provider) {
  resourceProvider.store(provider, std::memory_order_release);
}

CResourceProvider getResourceProvider() {
  return resourceProvider.load(std::memory_order_acquire);
}

void setScaledResourceProvider(CScaledResourceProvider provider) {
  scaledResourceProvider.store(provider, std::memory_order_release);
}

CScaledResourceProvider getScaledResourceProvider() {
  return scaledResourceProvider.load(std::memory_order_acquire);
}

CBitmap::CBitmap(int32_t resourceId) : resourceId(resourceId) {
  const CResourceProvider provider = getResourceProvider();
  const CResource* res = provider ? provider(resourceId) : nullptr;
  if (!res) return;
  // A PNG starts with its signature and the IHDR chunk: width and height, big
  // endian, at bytes 16 and 20.
  static const unsigned char kSignature[12] = {0x89, 'P',  'N', 'G', '\r', '\n',
                                               0x1a, '\n', 0,   0,   0,    13};
  if (res->data && res->size >= 24 && std::memcmp(res->data, kSignature, 12) == 0 &&
      std::memcmp(res->data + 12, "IHDR", 4) == 0) {
    auto bigEndian = [](const unsigned char* p) {
      return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    };
    const uint32_t w = bigEndian(res->data + 16), h = bigEndian(res->data + 20);
    if (w > 0 && h > 0 && w <= 32767 && h <= 32767) {
      width = static_cast<int32_t>(w);
      height = static_cast<int32_t>(h);
      resource = res;
      return;
    }
  }
  adopt(decodedResources().get(*res));  // not a PNG we can read ahead: decoded (or not) now
}

bool CBitmap::decode() {
  if (surface) return true;
  if (!resource) return false;
  const CResource* res = resource;
  resource = nullptr;
  const int32_t w = width, h = height;
  adopt(decodedResources().get(*res));
  // A header that does not match its image: the image is not drawn.
  if (surface && (width != w || height != h)) {
    cairo_surface_destroy(surface);
    surface = nullptr;
  }
  if (!surface) width = w, height = h;
  return surface != nullptr;
}

cairo_surface_t* CBitmap::getSurface() {
  decode();
  return surface;
}

CBitmap::CBitmap(const void* pngData, std::size_t size) {
  adopt(decodePng(pngData, size));
}

CBitmap::CBitmap(int32_t w, int32_t h, const uint32_t* argb) {
  if (w <= 0 || h <= 0) return;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (argb && cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(s);
    unsigned char* base = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(base + y * stride);
      for (int x = 0; x < w; ++x) {
        // cairo keeps premultiplied alpha.
        const uint32_t p = argb[static_cast<std::size_t>(y) * w + x];
        const uint32_t a = p >> 24;
        auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
        row[x] =
            (a << 24) | (mul((p >> 16) & 0xff) << 16) | (mul((p >> 8) & 0xff) << 8) | mul(p & 0xff);
      }
    }
    cairo_surface_mark_dirty(s);
  }
  adopt(s);
}

CBitmap::~CBitmap() {
  if (surface) cairo_surface_destroy(surface);
  releaseScaled();
}

void CBitmap::releaseScaled() {
  for (cairo_surface_t* image : scaledImages)
    if (image) cairo_surface_destroy(image);
  scaledImages.clear();
  scaledCount = -1;
}

cairo_surface_t* CBitmap::imageFor(double scale, int32_t index) {
  if (scale != scaledFor) {
    releaseScaled();
    scaledFor = scale;
  }
  if (scaledCount == 0 || index < 0 || (scaledCount > 0 && index >= scaledCount)) return nullptr;
  if (scaledCount > 0 && scaledImages[static_cast<size_t>(index)])
    return scaledImages[static_cast<size_t>(index)];
  const CScaledResourceProvider provider = getScaledResourceProvider();
  int32_t count = 0;
  cairo_surface_t* s =
      resourceId >= 0 && provider ? provider(resourceId, scale, index, &count) : nullptr;
  if (scaledCount < 0) {
    scaledCount = count > 0 ? count : 0;
    scaledImages.assign(static_cast<size_t>(scaledCount), nullptr);
  }
  if (!s) return nullptr;
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE || count != scaledCount ||
      index >= scaledCount) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  scaledImages[static_cast<size_t>(index)] = s;
  return s;
}

void CBitmap::adopt(_cairo_surface* decoded) {
  if (!decoded) return;
  if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(decoded);
    return;
  }
  surface = decoded;
  width = cairo_image_surface_get_width(decoded);
  height = cairo_image_surface_get_height(decoded);
}

void CBitmap::draw(CDrawContext* context, const CRect& destRect, const CPoint& offset,
                   float alpha) {
  if (!isLoaded() || !context || destRect.isEmpty()) return;
  const double scale = context->getScale();
  if (scale != 1.0) {
    drawScaled(context, destRect, offset, alpha, scale);
    return;
  }
  if (!decode()) return;
  cairo_t* cr = context->getCairo();
  cairo_save(cr);
  cairo_rectangle(cr, destRect.left, destRect.top, destRect.getWidth(), destRect.getHeight());
  cairo_clip(cr);
  cairo_set_source_surface(cr, surface, destRect.left - offset.x, destRect.top - offset.y);
  // Skins are pixel art: never interpolate or repeat.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_NONE);
  paint(cr, alpha * context->getGlobalAlpha());
  cairo_restore(cr);
}

void CBitmap::drawScaled(CDrawContext* context, const CRect& destRect, const CPoint& offset,
                         float alpha, double scale) {
  cairo_t* cr = context->getCairo();
  const CRect device = context->toDevice(destRect);
  // Which image the offset points into, and where in it: drawn for a scale,
  // each image of a strip has the device size of one image.
  if (scaledCount < 0 || scale != scaledFor) imageFor(scale, 0);
  cairo_surface_t* image = nullptr;
  double sourceY = offset.y;
  if (scaledCount > 0) {
    const double imageHeight = static_cast<double>(height) / scaledCount;
    const double index = scaledCount > 1 ? std::floor(offset.y / imageHeight) : 0;
    sourceY = offset.y - index * imageHeight;
    image = imageFor(scale, static_cast<int32_t>(index));
    if (!image) return;  // an image the strip does not have
  }
  cairo_save(cr);
  cairo_matrix_t logical;
  cairo_get_matrix(cr, &logical);
  cairo_identity_matrix(cr);
  cairo_rectangle(cr, device.left, device.top, device.getWidth(), device.getHeight());
  cairo_clip(cr);
  if (image) {
    cairo_set_source_surface(cr, image, device.left - toolkit::devicePixels(offset.x, scale),
                             device.top - toolkit::devicePixels(sourceY, scale));
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_NONE);
  } else {
    if (!decode()) {
      cairo_restore(cr);
      return;
    }
    // No drawing for this scale: this image, stretched; its edge pixels
    // repeat outward, so that the edges of the area stay opaque.
    cairo_set_matrix(cr, &logical);
    cairo_set_source_surface(cr, surface, destRect.left - offset.x, destRect.top - offset.y);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  }
  paint(cr, alpha * context->getGlobalAlpha());
  cairo_restore(cr);
}

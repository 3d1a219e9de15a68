// Drawing surface handed to views. Backed by cairo; the cairo types stay out of
// this header so that modules that only hold views need no cairo headers.
#pragma once

#include <cstdint>
#include <vector>

#include "toolkit/CColor.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/CRect.h"

struct _cairo;  // cairo_t

enum CDrawStyle { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };
enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };

class CDrawContext {
 public:
  // Draws through `cr` (not owned) inside `surfaceRect`; no clip reaches beyond it.
  // Coordinates are logical; at a scale other than 1 the context draws on a
  // device `scale` times as fine (toolkit/DeviceScale.h) and its clip takes in
  // the device pixels of every view that reaches into surfaceRect.
  CDrawContext(_cairo* cr, const CRect& surfaceRect, double scale = 1.0);
  ~CDrawContext();
  CDrawContext(const CDrawContext&) = delete;
  CDrawContext& operator=(const CDrawContext&) = delete;

  void setLineWidth(CCoord width) { lineWidth = width; }
  CCoord getLineWidth() const { return lineWidth; }
  void setFrameColor(const CColor& color) { frameColor = color; }
  const CColor& getFrameColor() const { return frameColor; }
  void setFillColor(const CColor& color) { fillColor = color; }
  const CColor& getFillColor() const { return fillColor; }
  void setFontColor(const CColor& color) { fontColor = color; }
  const CColor& getFontColor() const { return fontColor; }
  // Copies the font; a size > 0 or a style >= 0 replaces the font's own.
  void setFont(const CFontDesc* font, CCoord size = 0, int32_t style = -1);
  const CFontDesc* getFont() const { return &font; }
  void setGlobalAlpha(float alpha) { globalAlpha = alpha; }
  float getGlobalAlpha() const { return globalAlpha; }

  void moveTo(const CPoint& point);
  void lineTo(const CPoint& point);
  void drawLine(const CPoint& start, const CPoint& end);
  void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
  void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);
  void fillRect(const CRect& rect) { drawRect(rect, kDrawFilled); }

  // Text in UTF-8, vertically centred in `rect`, clipped to it.
  void drawString(const char* utf8, const CRect& rect, CHoriTxtAlign align = kCenterText,
                  bool antialias = true);
  // Text with its baseline starting at `point`.
  void drawString(const char* utf8, const CPoint& point, bool antialias = true);
  CCoord getStringWidth(const char* utf8);

  // Clip area in context coordinates, combined with the area being redrawn.
  void setClipRect(const CRect& clip);
  CRect& getClipRect(CRect& clip) const;
  void resetClipRect();

  void saveGlobalState();
  void restoreGlobalState();

  const CRect& getSurfaceRect() const { return surfaceRect; }
  _cairo* getCairo() const { return cr; }
  double getScale() const { return scale; }
  // The device pixels a logical rectangle covers.
  CRect toDevice(const CRect& rect) const;
  // The clip in device pixels.
  const CRect& getDeviceClip() const { return deviceClip; }

 private:
  void applyFont();
  void setSourceColor(const CColor& color);
  void applyDeviceClip();
  // A logical coordinate moved to the nearest device pixel.
  CCoord onDevicePixel(CCoord logical) const;

  _cairo* cr;
  CRect surfaceRect;
  CRect clipRect;
  double scale;
  CRect deviceSurface;  // the device pixels the context may draw on
  CRect deviceClip;
  CCoord lineWidth = 1;
  CColor frameColor = kBlackCColor;
  CColor fillColor = kWhiteCColor;
  CColor fontColor = kBlackCColor;
  CFontDesc font;
  float globalAlpha = 1.f;
  CPoint pen;
  std::vector<CRect> savedClips;
  std::vector<CRect> savedDeviceClips;
};

#include "editor/controls/VEKSwitch.h"

VEKSwitch::VEKSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                     CCoord heightOfOneImage, int32_t maxPositions, CBitmap* background,
                     const CPoint& offset)
    : CHorizontalSwitch(size, listener, tag, subPixmaps, heightOfOneImage, maxPositions, background,
                        offset) {}

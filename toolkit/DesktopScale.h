// The scale the desktop asks applications to draw at, on X11: GDK_SCALE when
// it is set (the user's explicit factor for the session's toolkits), else the
// Xft.dpi resource of the X server over 96 dpi. Read only, never set.
#pragma once

namespace toolkit {

// The desktop's scale, as a quarter step from 1 to 3 (toolkit/DeviceScale.h);
// 1 when neither says. Read once per process (a desktop's scale changes with
// a new session).
double desktopScale();

// The scale the two settings give: `gdkScale` is the GDK_SCALE value, null
// when unset; `xResources` the X server's resource string, null when there is
// none. Text in any other form counts as unset.
double desktopScaleFrom(const char* gdkScale, const char* xResources);

}  // namespace toolkit

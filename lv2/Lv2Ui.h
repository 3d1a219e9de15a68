// The editor as an LV2 X11 UI, embedded in the host's window (ui:parent),
// driven by ui:idleInterface, its fixed size told through ui:resize. With
// instance access it is the plug-in's own editor: edits reach the effect at
// once and the host through port writes, the preset strip works on the
// plug-in's presets. Without instance access the UI keeps an effect of its
// own that mirrors the ports: the sound controls work through port writes and
// port events, the strip's preset operations are disabled.
#pragma once

#include <cstdint>

#include "engine/VEK.h"
#include "lv2/options/options.h"
#include "lv2/ui/ui.h"
#include "lv2/urid/urid.h"

namespace korvalv2 {

class Lv2Korva;

class Lv2KorvaUi {
 public:
  // Null (with the reason on stderr) without ui:parent or when the editor
  // cannot open.
  static Lv2KorvaUi* create(LV2UI_Write_Function write, LV2UI_Controller controller,
                            LV2UI_Widget* widget, const LV2_Feature* const* features);
  ~Lv2KorvaUi();
  Lv2KorvaUi(const Lv2KorvaUi&) = delete;
  Lv2KorvaUi& operator=(const Lv2KorvaUi&) = delete;

  void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
  int idle();
  // The host's ui:scaleFactor, at instantiation (the options feature) and
  // while open (the options interface): the editor's size follows.
  uint32_t setOptions(const LV2_Options_Option* options);

  bool hasInstanceAccess() const { return plugin != nullptr; }
  // The effect whose editor is shown: the plug-in's, or the UI's own.
  VEK* shownEffect() const { return effect; }

 private:
  Lv2KorvaUi(LV2UI_Write_Function write, LV2UI_Controller controller, Lv2Korva* plugin);
  static VstIntPtr privateHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                       VstIntPtr value, void* ptr, float opt);
  void writePort(int parameter, float engineValue);
  // Tells the host the editor's size when it changed (ui:resize).
  void reportSize();

  LV2UI_Write_Function write;
  LV2UI_Controller controller;
  Lv2Korva* plugin;          // instance access, or null
  VEK* ownEffect = nullptr;  // without instance access
  VEK* effect = nullptr;     // the one whose editor is shown
  bool opened = false;
  const LV2UI_Resize* resize = nullptr;
  int reportedWidth = 0;
  int reportedHeight = 0;
  LV2_URID scaleFactorUrid = 0;
  LV2_URID floatUrid = 0;
};

}  // namespace korvalv2

// The editor as an LV2 X11 UI, embedded in the host's window (ui:parent),
// driven by ui:idleInterface, its fixed size told through ui:resize. With
// instance access it is the plug-in's own editor: edits reach the effect at
// once and the host through port writes, the preset strip works on the
// plug-in's presets. Without instance access the UI keeps an effect of its
// own that mirrors the ports: the sound controls work through port writes and
// port events, the strip's preset operations are disabled.
//
// The effect owns its one editor, so one UI at a time shows it: a second UI
// on the same instance mirrors the ports as if it had no instance access, in
// a window of its own. A UI holds its instance (see Lv2Korva), so the editor
// stays valid when the host frees the instance first; from then on the UI
// writes no ports.
#pragma once

#include <cstdint>

#include "engine/ParameterIds.h"
#include "engine/VEK.h"
#include "lv2/options/options.h"
#include "lv2/ui/ui.h"
#include "lv2/urid/urid.h"

namespace korvalv2 {

class Lv2Korva;

class Lv2KorvaUi {
 public:
  // Null (with the reason on stderr) without ui:parent, for a parent window
  // that is 0 or not on the display, or when the editor cannot open.
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

  // Whether the plug-in's own editor shows here.
  bool showsPluginEditor() const { return plugin != nullptr; }
  // The effect whose editor is shown: the plug-in's, or the UI's own.
  VEK* shownEffect() const { return effect; }

 private:
  // `plugin`: the instance whose editor this UI claimed, or null; `seed`: an
  // instance whose values the UI's own effect starts from, or null.
  Lv2KorvaUi(LV2UI_Write_Function write, LV2UI_Controller controller, Lv2Korva* plugin,
             Lv2Korva* seed);
  static VstIntPtr privateHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                       VstIntPtr value, void* ptr, float opt);
  void writePort(int parameter, float engineValue);
  void takeReportedValues();
  // Tells the host the editor's size when it changed (ui:resize).
  void reportSize();

  LV2UI_Write_Function write;
  LV2UI_Controller controller;
  Lv2Korva* plugin;          // held, its editor claimed; or null
  VEK* ownEffect = nullptr;  // when the plug-in's editor is not ours
  VEK* effect = nullptr;     // the one whose editor is shown
  bool opened = false;

  // Port values the host reported while the plug-in's editor shows here. A
  // running plug-in hears them from its ports; one that ran no block since the
  // report (deactivated, or its host's engine stopped) gets them at the next
  // idle. A report older than this UI's own latest write of that port is the
  // host's echo of an earlier write, and is dropped.
  float reported[kNumParams] = {};
  uint32_t reportedAtBlock[kNumParams] = {};
  uint32_t reportedAtWrite[kNumParams] = {};
  uint32_t portWrites[kNumParams] = {};
  uint32_t pendingReports = 0;
  const LV2UI_Resize* resize = nullptr;
  int reportedWidth = 0;
  int reportedHeight = 0;
  LV2_URID scaleFactorUrid = 0;
  LV2_URID floatUrid = 0;
};

}  // namespace korvalv2

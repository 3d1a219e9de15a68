#include "lv2/Lv2Ui.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "editor/CPresetSystemEditor.h"
#include "lv2/Lv2Korva.h"
#include "lv2/Lv2Ports.h"
#include "lv2/atom/atom.h"
#include "lv2/instance-access/instance-access.h"
#include "toolkit/CFrame.h"
#include "toolkit/PlatformFrame.h"

namespace korvalv2 {

namespace {

const void* feature(const LV2_Feature* const* features, const char* uri) {
  if (!features) return nullptr;
  for (int i = 0; features[i]; ++i)
    if (features[i]->URI && std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  return nullptr;
}

// Whether a feature is present at all (ui:parent's data may be window 0).
bool hasFeature(const LV2_Feature* const* features, const char* uri) {
  if (!features) return false;
  for (int i = 0; features[i]; ++i)
    if (features[i]->URI && std::strcmp(features[i]->URI, uri) == 0) return true;
  return false;
}

}  // namespace

Lv2KorvaUi* Lv2KorvaUi::create(LV2UI_Write_Function write, LV2UI_Controller controller,
                               LV2UI_Widget* widget, const LV2_Feature* const* features) {
  if (!hasFeature(features, LV2_UI__parent)) {
    std::fputs("korva.lv2: the host gives the UI no parent window (" LV2_UI__parent ")\n", stderr);
    return nullptr;
  }
  void* parent = const_cast<void*>(feature(features, LV2_UI__parent));
  if (!parent) {
    std::fputs("korva.lv2: the host gives the UI parent window 0\n", stderr);
    return nullptr;
  }
  auto* instance =
      static_cast<Lv2Korva*>(const_cast<void*>(feature(features, LV2_INSTANCE_ACCESS_URI)));
  Lv2Korva* plugin = instance && instance->claimEditor() ? instance : nullptr;
  if (instance && !plugin)
    std::fputs(
        "korva.lv2: the plug-in's editor already shows in another UI; this UI follows "
        "the ports, without the preset strip\n",
        stderr);
  auto* ui = new (std::nothrow) Lv2KorvaUi(write, controller, plugin, instance);
  if (!ui) {
    if (plugin) plugin->giveBackEditor();
    return nullptr;
  }
  AEffEditor* editor = ui->effect ? ui->effect->getEditor() : nullptr;
  // The host's scale before the window opens, so that it opens at that size.
  if (const auto* map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map))) {
    ui->scaleFactorUrid = map->map(map->handle, LV2_UI__scaleFactor);
    ui->floatUrid = map->map(map->handle, LV2_ATOM__Float);
    if (const auto* options =
            static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options)))
      ui->setOptions(options);
  }
  ui->opened = editor && editor->open(parent);
  if (!ui->opened) {
    std::fputs("korva.lv2: the editor cannot open in the host's window\n", stderr);
    delete ui;
    return nullptr;
  }
  auto* gui = static_cast<CPresetSystemEditor*>(editor);
  // Without a window of its own in the parent (a window id the display does
  // not know, or no display at all) the editor would draw offscreen, unseen.
  CFrame* frame = gui->getFrame();
  toolkit::PlatformFrame* platform = frame ? frame->getPlatformFrame() : nullptr;
  const unsigned long window = platform ? platform->nativeWindow() : 0;
  if (!window) {
    std::fprintf(stderr, "korva.lv2: the host's parent window 0x%lx is not on the display\n",
                 static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent)));
    delete ui;
    return nullptr;
  }
  if (!plugin) gui->setPresetOperationsEnabled(false);
  if (widget) *widget = reinterpret_cast<LV2UI_Widget>(window);
  ui->resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));
  ui->reportSize();
  return ui;
}

void Lv2KorvaUi::reportSize() {
  ERect* rect = nullptr;
  AEffEditor* editor = effect ? effect->getEditor() : nullptr;
  if (!resize || !resize->ui_resize || !editor || !editor->getRect(&rect) || !rect) return;
  const int width = rect->right - rect->left, height = rect->bottom - rect->top;
  if (width == reportedWidth && height == reportedHeight) return;
  reportedWidth = width;
  reportedHeight = height;
  resize->ui_resize(resize->handle, width, height);
}

uint32_t Lv2KorvaUi::setOptions(const LV2_Options_Option* options) {
  uint32_t status = LV2_OPTIONS_SUCCESS;
  AEffEditor* editor = effect ? effect->getEditor() : nullptr;
  for (const LV2_Options_Option* o = options; o && o->key; ++o) {
    if (!scaleFactorUrid || o->key != scaleFactorUrid) {
      status |= LV2_OPTIONS_ERR_BAD_KEY;
    } else if (o->type != floatUrid || o->size != sizeof(float) || !o->value || !editor) {
      status |= LV2_OPTIONS_ERR_BAD_VALUE;
    } else {
      float scale;
      std::memcpy(&scale, o->value, sizeof scale);
      editor->setScaleFactor(scale);
    }
  }
  return status;
}

Lv2KorvaUi::Lv2KorvaUi(LV2UI_Write_Function write, LV2UI_Controller controller, Lv2Korva* plugin,
                       Lv2Korva* seed)
    : write(write), controller(controller), plugin(plugin) {
  if (plugin) {
    plugin->retain();
    effect = &plugin->effect();
    plugin->takePortsToReport();  // what happened before the window opened is the host's
    return;
  }
  ownEffect = new (std::nothrow) VEK(&privateHostCallback);
  if (!ownEffect) return;
  // Values only: a host sends port events for them as well, but not all do
  // at once.
  if (seed && !seed->cleanedUp())
    for (int i = 0; i < kNumParams; ++i) ownEffect->setParameter(i, seed->effect().getParameter(i));
  ownEffect->getAeffect()->user = this;
  effect = ownEffect;
}

Lv2KorvaUi::~Lv2KorvaUi() {
  if (opened && effect && effect->getEditor()) effect->getEditor()->close();
  if (ownEffect) {
    ownEffect->close();
    delete ownEffect;
  }
  if (plugin) {
    plugin->giveBackEditor();
    plugin->release();
  }
}

void Lv2KorvaUi::writePort(int parameter, float engine) {
  if (!write || parameter < 0 || parameter >= kNumParams) return;
  const float x = portValue(parameter, engine);
  write(controller, static_cast<uint32_t>(kPortFirstControl + parameter), sizeof(float), 0, &x);
}

// The UI's own effect asks its host the same questions; edits and preset
// selections become port writes at once (this is the UI thread).
VstIntPtr Lv2KorvaUi::privateHostCallback(AEffect* e, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr /*value*/, void* /*ptr*/, float opt) {
  auto* self = e ? static_cast<Lv2KorvaUi*>(e->user) : nullptr;
  switch (opcode) {
    case audioMasterVersion:
      return kVstVersion;
    case audioMasterAutomate:
      if (self) self->writePort(index, opt);
      return 0;
    default:
      return 0;
  }
}

void Lv2KorvaUi::portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  if (format != 0 || size != sizeof(float) || !buffer) return;
  if (port < kPortFirstControl || port >= kNumPorts) return;
  const int parameter = static_cast<int>(port - kPortFirstControl);
  float x;
  std::memcpy(&x, buffer, sizeof x);
  if (!(x == x)) return;
  if (plugin) {
    reported[parameter] = x;
    reportedAtBlock[parameter] = plugin->blocksRun();
    reportedAtWrite[parameter] = portWrites[parameter];
    pendingReports |= 1u << parameter;
    return;
  }
  if (!ownEffect) return;
  if (portValue(parameter, ownEffect->getParameter(parameter)) == x) return;
  ownEffect->setParameter(parameter, engineValue(parameter, x));
}

void Lv2KorvaUi::takeReportedValues() {
  const uint32_t blocks = plugin->blocksRun();
  for (int i = 0; i < kNumParams; ++i)
    if ((pendingReports & (1u << i)) && reportedAtBlock[i] == blocks &&
        reportedAtWrite[i] == portWrites[i])
      plugin->takeReportedPortValue(i, reported[i]);
  pendingReports = 0;
}

int Lv2KorvaUi::idle() {
  if (plugin) {
    // Writes first: a report older than one of them is an echo.
    const uint32_t report = plugin->takePortsToReport();
    if (!plugin->cleanedUp())
      for (int i = 0; i < kNumParams; ++i)
        if (report & (1u << i)) {
          writePort(i, effect->getParameter(i));
          ++portWrites[i];
        }
    if (pendingReports) takeReportedValues();
  }
  if (effect && effect->getEditor()) effect->getEditor()->idle();
  reportSize();  // a new scale resizes the editor in its idle
  return 0;
}

}  // namespace korvalv2

// Stands in for the editor's factory in the engine's layer check
// (cmake/LayerChecks.cmake), so that the effect links without the layer above
// it. Never part of a plug-in.
#include "host/AEffEditor.h"

AEffEditor* createPluginEditor(AudioEffect*) {
  return nullptr;
}

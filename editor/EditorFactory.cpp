#include "editor/EditorFactory.h"

#include "editor/Editor.h"

AEffEditor* createPluginEditor(AudioEffect* effect) {
  // The editor registers itself with the effect, which owns it from then on.
  return new Editor(effect);
}

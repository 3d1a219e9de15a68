// The editor's side of the one place where the effect meets the editor's
// concrete class: createPluginEditor, declared with the generic editor class.
#pragma once

#include "host/AEffEditor.h"

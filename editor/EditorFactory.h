// The one place where the effect meets the editor's concrete class: the effect
// calls this during construction; the editor module defines it. The editor's
// constructor registers itself with the effect (setEditor); the pointer is also
// returned. Null when the editor cannot be created.
#pragma once

class AEffEditor;
class AudioEffect;

AEffEditor* createPluginEditor(AudioEffect* effect);

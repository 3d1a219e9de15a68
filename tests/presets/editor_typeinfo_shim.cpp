// Until the editor module defines CPresetSystemEditor, the preset system's
// dynamic_cast of the (always null) editor still names the class's type
// information. This weak placeholder satisfies the link and gives way to the
// real definition as soon as the editor module provides it.
__attribute__((weak)) void* presetEditorTypeInfo[2] __asm__("_ZTI19CPresetSystemEditor") = {
    nullptr, nullptr};

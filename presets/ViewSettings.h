// The editor's per-user size, kept with the preset system's settings (same
// key, value "EditorScale": the size in percent as text).
#pragma once

namespace viewsettings {

// The size the user chose, in percent: 100 to 300 in steps of 25; 0 when none
// is stored or the stored value is no such size.
int readScalePercent();

// Stores a chosen size in percent; 0 removes the choice. false when the
// settings store refused (nothing is changed then) or the size is no step.
bool storeScalePercent(int percent);

}  // namespace viewsettings

#pragma once

// Integer ids of the skin images embedded in the library (see
// resources.h). Strips hold their images stacked vertically.

constexpr int kBmpBackground = 128;     // window background, 870 x 101
constexpr int kBmpAbout = 129;          // about view, 870 x 101
constexpr int kBmpDlyx2 = 130;          // Dlyx2 button, 2 images of 21 x 20 (off, on)
constexpr int kBmpKnobInput = 131;      // Input knob, 101 images of 35 x 35
constexpr int kBmpKnobOutput = 132;     // Output knob, 101 images of 35 x 35
constexpr int kBmpKnobFbck = 133;       // Fbck knob, 101 images of 35 x 35
constexpr int kBmpFbInv = 134;          // FbInv button, 2 images of 21 x 26 (off, on)
constexpr int kBmpDlyInv = 135;         // DlyInv button, 2 images of 21 x 26 (off, on)
constexpr int kBmpKnobMix = 136;        // Mix knob, 101 images of 35 x 35
constexpr int kBmpRptInf = 137;         // RptInf button, 2 images of 22 x 26 (off, on)
constexpr int kBmpStepDown = 138;       // left step button, 2 images of 26 x 26 (up, pressed)
constexpr int kBmpStepUp = 139;         // right step button, 2 images of 26 x 26 (up, pressed)
constexpr int kBmpDigit1 = 140;         // readout digit 1, 12 images of 14 x 20 (0-9, blank, dash)
constexpr int kBmpDigit2 = 141;         // readout digit 2, 12 images of 14 x 20
constexpr int kBmpDigit3 = 142;         // readout digit 3, 12 images of 15 x 20
constexpr int kBmpDigit4 = 143;         // readout digit 4, 12 images of 14 x 20
constexpr int kBmpStatusLamps = 144;    // cycle/repeat/high-cut lamps, 8 images of 16 x 32
constexpr int kBmpBypassLamp = 145;     // bypass lamp, 2 images of 11 x 11 (dark, lit)
constexpr int kBmpLevelMeter = 146;     // level meter, 21 images of 7 x 43 (0-20 segments lit)
constexpr int kBmpHiCut = 147;          // HiCut button, 2 images of 23 x 26 (off, on)
constexpr int kBmpKnobDepth = 148;      // Depth knob, 101 images of 36 x 36
constexpr int kBmpKnobManVco = 149;     // ManVCO knob, 101 images of 35 x 35
constexpr int kBmpKnobRate = 150;       // Rate knob, 101 images of 36 x 36
constexpr int kBmpKnobWaveform = 151;   // Waveform knob, 101 images of 36 x 36
constexpr int kBmpPower = 152;          // Power button, 2 images of 22 x 20 (off, on)
constexpr int kBmpLfoLamp = 153;        // modulation lamp, 101 images of 10 x 10 (dark to full)
constexpr int kBmpUnused154 = 154;      // spare plate, 12 x 25, not used by the editor
constexpr int kBmpDlyClkSwitch = 155;   // Dly<>Clk switch, 2 images of 15 x 10 (left, right)
constexpr int kBmpLoad = 990;           // load arrow, 3 images of 17 x 15 (normal, hover, pressed)
constexpr int kBmpSave = 991;           // save arrow, 3 images of 17 x 15 (normal, hover, pressed)
constexpr int kBmpDefaultBank = 992;    // "BANK" default button, 3 images of 32 x 13
constexpr int kBmpDefaultPreset = 993;  // "PRESET" default button, 3 images of 44 x 13
constexpr int kBmpDefaultMidi = 994;    // "MIDI" default button, 3 images of 28 x 13
constexpr int kBmpPresetRocker = 995;   // previous/next rocker, 5 images of 30 x 13
constexpr int kBmpLearn = 998;          // MIDI learn, 3 images of 24 x 16 (off, hover, on)
constexpr int kBmpForget = 999;         // MIDI forget, 3 images of 24 x 16 (off, hover, on)

// Writes the bundle's Turtle files (manifest.ttl, korva.ttl, presets.ttl) from
// the plug-in's own tables: the parameter names, the LV2 port table with its
// mapping and the factory presets. Numbers are written locale-free, in the
// shortest form that reads back as the same float.
// Usage: make_lv2_ttl <bundle folder> <binary file name>
#include <charconv>
#include <cstdio>
#include <string>

#include "engine/VEK.h"
#include "korva_version.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Uris.h"
#include "presets/FactoryPresets.h"

namespace {

using namespace korvalv2;

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

std::string number(float v) {
  char text[32];
  auto r = std::to_chars(text, text + sizeof(text), v);
  std::string s(text, r.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string quoted(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') q += '\\';
    q += c;
  }
  return q + "\"";
}

std::string presetUri(const char* name) {
  std::string s = KORVA_LV2_URI "#preset-";
  for (const char* c = name; *c; ++c) s += (*c == ' ') ? '-' : *c;
  return s;
}

const char* const kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

std::string manifest(const std::string& binary) {
  std::string t = kPrefixes;
  t += "<" KORVA_LV2_URI ">\n    a lv2:Plugin ;\n    lv2:binary <" + binary +
       "> ;\n    rdfs:seeAlso <korva.ttl> .\n";
  t += "\n<" KORVA_LV2_UI_URI ">\n    a ui:X11UI ;\n    ui:binary <" + binary +
       "> ;\n    rdfs:seeAlso <korva.ttl> .\n";
  for (const FactoryPreset& p : kFactoryPresets)
    t += "\n<" + presetUri(p.name) +
         ">\n    a pset:Preset ;\n    lv2:appliesTo <" KORVA_LV2_URI "> ;\n    rdfs:label " +
         quoted(p.name) + " ;\n    rdfs:seeAlso <presets.ttl> .\n";
  return t;
}

std::string audioPort(int index, bool input, const char* symbol, const char* name) {
  return std::string("[\n        a lv2:") + (input ? "InputPort" : "OutputPort") +
         ", lv2:AudioPort ;\n        lv2:index " + std::to_string(index) +
         " ;\n        lv2:symbol \"" + symbol + "\" ;\n        lv2:name \"" + name + "\"\n    ]";
}

std::string controlPortText(int parameter) {
  const ControlPort& p = controlPort(parameter);
  const float def = exactPortValue(parameter, kFactoryPresets[0].values[parameter]);
  std::string t = "[\n        a lv2:InputPort, lv2:ControlPort ;\n        lv2:index " +
                  std::to_string(kPortFirstControl + parameter) + " ;\n        lv2:symbol \"" +
                  p.symbol + "\" ;\n        lv2:name " + quoted(kParameterNames[parameter]) +
                  " ;\n        lv2:default " + number(def) + " ;\n        lv2:minimum " +
                  number(p.minimum) + " ;\n        lv2:maximum " + number(p.maximum);
  if (p.unitUri) t += std::string(" ;\n        units:unit <") + p.unitUri + ">";
  if (p.kind == PortKind::Toggle) t += " ;\n        lv2:portProperty lv2:toggled, lv2:integer";
  if (p.kind == PortKind::Enumeration)
    t += " ;\n        lv2:portProperty lv2:integer, lv2:enumeration";
  if (p.logarithmic) t += " ;\n        lv2:portProperty pprops:logarithmic";
  for (int i = 0; i < p.numPoints; ++i)
    t += std::string(i == 0 ? " ;\n        lv2:scalePoint " : " ,\n            ") +
         "[ rdfs:label " + quoted(p.points[i].label) + " ; rdf:value " + number(p.points[i].value) +
         " ]";
  return t + "\n    ]";
}

std::string pluginText(const std::string& name, const std::string& vendor) {
  std::string t = kPrefixes;
  t += "<" KORVA_LV2_URI ">\n    a lv2:Plugin, lv2:DelayPlugin ;\n    doap:name " + quoted(name) +
       " ;\n    doap:maintainer [ foaf:name " + quoted(vendor) + " ] ;\n    lv2:minorVersion " +
       std::to_string(KORVA_VERSION_MINOR) + " ;\n    lv2:microVersion " +
       std::to_string(KORVA_VERSION_MICRO) +
       " ;\n"
       "    lv2:requiredFeature urid:map ;\n"
       "    lv2:optionalFeature lv2:hardRTCapable ;\n"
       "    lv2:extensionData state:interface ;\n"
       "    ui:ui <" KORVA_LV2_UI_URI
       "> ;\n"
       "    lv2:port ";
  t += audioPort(kPortInL, true, "in_l", "In L") + " , " +
       audioPort(kPortInR, true, "in_r", "In R") + " , " +
       audioPort(kPortOutL, false, "out_l", "Out L") + " , " +
       audioPort(kPortOutR, false, "out_r", "Out R");
  t += " , [\n        a lv2:InputPort, atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n"
       "        atom:supports midi:MidiEvent, time:Position ;\n"
       "        lv2:designation lv2:control ;\n        lv2:index " +
       std::to_string(kPortEvents) +
       " ;\n        lv2:symbol \"events\" ;\n        lv2:name \"MIDI and time\"\n    ]";
  for (int i = 0; i < kNumParams; ++i) t += " , " + controlPortText(i);
  t += " .\n\n";
  // The editor: a fixed-size X11 window in the host's; the preset strip
  // needs the instance, the sound controls do not.
  t += "<" KORVA_LV2_UI_URI
       ">\n    a ui:X11UI ;\n"
       "    lv2:requiredFeature ui:idleInterface ;\n"
       "    lv2:optionalFeature ui:parent, ui:resize, ui:noUserResize,\n"
       "        <http://lv2plug.in/ns/ext/instance-access>, urid:map,\n"
       "        <http://lv2plug.in/ns/ext/options#options> ;\n"
       "    <http://lv2plug.in/ns/ext/options#supportedOption> ui:scaleFactor ;\n"
       "    lv2:extensionData ui:idleInterface, <http://lv2plug.in/ns/ext/options#interface> .\n";
  return t;
}

// Each preset selects the stored preset of its number, as the editor's preset
// menu does, so the strip names it and no other preset takes its values; the
// port values are those the selected preset holds until it is edited.
std::string presetsText() {
  std::string t = kPrefixes;
  for (int n = 0; n < kNumPresets; ++n) {
    const FactoryPreset& p = kFactoryPresets[n];
    t += "<" + presetUri(p.name) +
         ">\n    a pset:Preset ;\n    lv2:appliesTo <" KORVA_LV2_URI "> ;\n    rdfs:label " +
         quoted(p.name) + " ;\n    lv2:port ";
    for (int i = 0; i < kNumParams; ++i)
      t += std::string(i ? " , " : "") + "[ lv2:symbol \"" + controlPort(i).symbol +
           "\" ; pset:value " + number(exactPortValue(i, p.values[i])) + " ]";
    t += " ;\n    state:state [ <" KORVA_LV2_PRESET_KEY "> \"" + std::to_string(n) +
         "\"^^xsd:int ] .\n\n";
  }
  return t;
}

bool writeFile(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::fprintf(stderr, "make_lv2_ttl: cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_lv2_ttl <bundle folder> <binary file name>\n");
    return 2;
  }
  const std::string folder = argv[1];
  AEffect* record = pluginEntry(&quietHost);
  if (!record) {
    std::fprintf(stderr, "make_lv2_ttl: the plug-in could not be created\n");
    return 1;
  }
  auto* effect = static_cast<VEK*>(static_cast<AudioEffect*>(record->object));
  char name[64] = {}, vendor[64] = {};
  effect->getEffectName(name);
  effect->getVendorString(vendor);
  record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);

  bool ok = writeFile(folder + "/manifest.ttl", manifest(argv[2]));
  ok = writeFile(folder + "/korva.ttl", pluginText(name, vendor)) && ok;
  ok = writeFile(folder + "/presets.ttl", presetsText()) && ok;
  return ok ? 0 : 1;
}

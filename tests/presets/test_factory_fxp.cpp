// The factory presets written as .fxp files at build time: one program file
// in chunk form per preset, readable by any host, restoring that preset.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/io/fx_container.h"

namespace {

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t littleWord(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

}  // namespace

TEST(FactoryFxp, OneChunkProgramPerPreset) {
  const char* names[17] = {
      "default",       "wiper",        "8th fast tape",    "didgee",  "dotted 8th slow tape",
      "light flanger", "wow tape",     "16th downsampled", "doubler", "running up",
      "deep flanger",  "lezlie",       "fourforty fast",   "vocoder", "fourforty slow",
      "driven crazy",  "16th slapback"};
  for (int p = 0; p < 17; ++p) {
    std::string file = names[p];
    for (char& c : file)
      if (c == ' ') c = '-';
    const std::vector<uint8_t> bytes =
        readAll(std::string(KORVA_FACTORY_DIR) + "/" + file + ".fxp");
    ASSERT_FALSE(bytes.empty()) << file;
    // Big-endian container: 'CcnK', size, 'FPCh'.
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "CcnK");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "FPCh");
    fx::Container c;
    std::string error;
    ASSERT_TRUE(fx::read(bytes.data(), bytes.size(), c, error)) << file << ": " << error;
    EXPECT_EQ(c.kind, fx::Container::Kind::Program);
    EXPECT_TRUE(c.opaque);
    EXPECT_EQ(c.fxID, 0x4B565241);
    EXPECT_EQ(c.numParams, 36);
    EXPECT_EQ(c.programName, names[p]);
    ASSERT_EQ(c.chunk.size(), 1736u);
    // The chunk inside is the plug-in's own, current preset p.
    EXPECT_EQ(littleWord(c.chunk, 0), 0x01000000u);
    EXPECT_EQ(littleWord(c.chunk, 4), 0x4B565241u);
    EXPECT_EQ(littleWord(c.chunk, 12), static_cast<uint32_t>(p));
    EXPECT_STREQ(reinterpret_cast<const char*>(&c.chunk[32 + 96 * p]), names[p]);
    // No controller assignment travels with a factory preset.
    for (int i = 0; i < 18; ++i) {
      float v;
      std::memcpy(&v, &c.chunk[1664 + 4 * i], 4);
      EXPECT_GE(v, 128.0f / 129.0f);
    }
  }
}

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tools/io/fx_container.h"

namespace {

using Bytes = std::vector<uint8_t>;

void add(Bytes& b, std::initializer_list<int> v) {
  for (int x : v) b.push_back(static_cast<uint8_t>(x));
}
void addText(Bytes& b, const std::string& s) {
  b.insert(b.end(), s.begin(), s.end());
}
void addZeros(Bytes& b, size_t n) {
  b.insert(b.end(), n, 0);
}

// A program record written out by hand: id 'ABCD', version 3, name "Hi",
// parameters 1.0 (3F800000) and -2.0 (C0000000).
Bytes handProgram() {
  Bytes b;
  addText(b, "CcnK");
  add(b, {0, 0, 0, 56});  // 64 bytes in all, 56 after the size field
  addText(b, "FxCk");
  add(b, {0, 0, 0, 1});
  addText(b, "ABCD");
  add(b, {0, 0, 0, 3});
  add(b, {0, 0, 0, 2});
  addText(b, "Hi");
  addZeros(b, 26);
  add(b, {0x3F, 0x80, 0, 0});
  add(b, {0xC0, 0x00, 0, 0});
  return b;
}

constexpr int32_t kABCD = 0x41424344;

TEST(FxContainer, ProgramBytesAreBigEndianAsLaidOut) {
  const Bytes written = fx::writeProgram(kABCD, 3, fx::Program{"Hi", {1.0f, -2.0f}});
  EXPECT_EQ(written, handProgram());
}

TEST(FxContainer, ProgramChunkBytes) {
  Bytes b;
  addText(b, "CcnK");
  add(b, {0, 0, 0, 55});  // 56 header + 4 size + 3 data = 63
  addText(b, "FPCh");
  add(b, {0, 0, 0, 1});
  addText(b, "ABCD");
  add(b, {0x01, 0x02, 0x03, 0x04});
  add(b, {0, 0, 0, 9});
  addText(b, "X");
  addZeros(b, 27);
  add(b, {0, 0, 0, 3, 0xAA, 0xBB, 0xCC});
  EXPECT_EQ(fx::writeProgramChunk(kABCD, 0x01020304, 9, "X", {0xAA, 0xBB, 0xCC}), b);

  fx::Container c;
  std::string error;
  ASSERT_TRUE(fx::read(b.data(), b.size(), c, error)) << error;
  EXPECT_EQ(c.kind, fx::Container::Kind::Program);
  EXPECT_TRUE(c.opaque);
  EXPECT_EQ(c.fxID, kABCD);
  EXPECT_EQ(c.fxVersion, 0x01020304);
  EXPECT_EQ(c.numParams, 9);
  EXPECT_EQ(c.programName, "X");
  EXPECT_EQ(c.chunk, (Bytes{0xAA, 0xBB, 0xCC}));
}

TEST(FxContainer, BankOfParameterListsBytes) {
  Bytes b;
  addText(b, "CcnK");
  add(b, {0, 0, 0x01, 0x0C});  // 156 + 2 * 60 = 276 bytes, 268 after the size
  addText(b, "FxBk");
  add(b, {0, 0, 0, 1});
  addText(b, "ABCD");
  add(b, {0, 0, 0, 3});
  add(b, {0, 0, 0, 2});
  addZeros(b, 128);
  for (const char* name : {"One", "Two"}) {
    addText(b, "CcnK");
    add(b, {0, 0, 0, 52});
    addText(b, "FxCk");
    add(b, {0, 0, 0, 1});
    addText(b, "ABCD");
    add(b, {0, 0, 0, 3});
    add(b, {0, 0, 0, 1});
    addText(b, name);
    addZeros(b, 25);
    if (std::string(name) == "One")
      add(b, {0x3E, 0x80, 0, 0});  // 0.25
    else
      add(b, {0x3F, 0x40, 0, 0});  // 0.75
  }
  ASSERT_EQ(b.size(), 276u);
  EXPECT_EQ(fx::writeBank(kABCD, 3, {fx::Program{"One", {0.25f}}, fx::Program{"Two", {0.75f}}}), b);

  fx::Container c;
  std::string error;
  ASSERT_TRUE(fx::read(b.data(), b.size(), c, error)) << error;
  EXPECT_EQ(c.kind, fx::Container::Kind::Bank);
  EXPECT_FALSE(c.opaque);
  ASSERT_EQ(c.programs.size(), 2u);
  EXPECT_EQ(c.programs[0].name, "One");
  EXPECT_EQ(c.programs[0].params, std::vector<float>{0.25f});
  EXPECT_EQ(c.programs[1].name, "Two");
  EXPECT_EQ(c.programs[1].params, std::vector<float>{0.75f});
}

TEST(FxContainer, BankChunkBytesAndVersion2CurrentProgram) {
  Bytes b;
  addText(b, "CcnK");
  add(b, {0, 0, 0, 154});  // 156 + 4 + 2 = 162
  addText(b, "FBCh");
  add(b, {0, 0, 0, 1});
  addText(b, "ABCD");
  add(b, {0, 0, 0, 3});
  add(b, {0, 0, 0, 17});
  addZeros(b, 128);
  add(b, {0, 0, 0, 2, 0x10, 0x20});
  EXPECT_EQ(fx::writeBankChunk(kABCD, 3, 17, {0x10, 0x20}), b);

  b[15] = 2;  // version 2 keeps the current program in the first future word
  b[31] = 5;
  fx::Container c;
  std::string error;
  ASSERT_TRUE(fx::read(b.data(), b.size(), c, error)) << error;
  EXPECT_TRUE(c.opaque);
  EXPECT_EQ(c.numPrograms, 17);
  EXPECT_EQ(c.currentProgram, 5);
  EXPECT_EQ(c.chunk, (Bytes{0x10, 0x20}));
}

TEST(FxContainer, RoundTripsKeepEveryValue) {
  std::vector<float> params = {0.0f, 1.0f, 0.1f, 1e-30f, -0.0f, 0.333333f, 123456.75f};
  std::string error;
  fx::Container c;
  const Bytes p = fx::writeProgram(-5, 42, fx::Program{"A name of 27 characters...", params});
  ASSERT_TRUE(fx::read(p.data(), p.size(), c, error)) << error;
  EXPECT_EQ(c.fxID, -5);
  EXPECT_EQ(c.programName, "A name of 27 characters...");
  ASSERT_EQ(c.params.size(), params.size());
  for (size_t i = 0; i < params.size(); ++i)
    EXPECT_EQ(std::memcmp(&c.params[i], &params[i], 4), 0) << i;

  // Names longer than the field keep 27 characters and a terminator.
  const Bytes longName = fx::writeProgram(1, 1, fx::Program{std::string(40, 'n'), {}});
  ASSERT_TRUE(fx::read(longName.data(), longName.size(), c, error)) << error;
  EXPECT_EQ(c.programName, std::string(27, 'n'));

  Bytes chunk(1000);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 7);
  const Bytes bank = fx::writeBankChunk(1, 2, 3, chunk);
  ASSERT_TRUE(fx::read(bank.data(), bank.size(), c, error)) << error;
  EXPECT_EQ(c.chunk, chunk);

  const Bytes empty = fx::writeBank(1, 2, {});
  ASSERT_TRUE(fx::read(empty.data(), empty.size(), c, error)) << error;
  EXPECT_EQ(c.numPrograms, 0);
}

bool refused(const Bytes& b) {
  fx::Container c;
  std::string error;
  const bool ok = fx::read(b.data(), b.size(), c, error);
  return !ok && !error.empty();
}

TEST(FxContainer, DamagedFilesAreRefused) {
  const Bytes good = handProgram();
  ASSERT_FALSE(refused(good));

  EXPECT_TRUE(refused(Bytes(good.begin(), good.end() - 1))) << "truncated";
  Bytes longer = good;
  longer.push_back(0);
  EXPECT_TRUE(refused(longer)) << "trailing byte";
  EXPECT_TRUE(refused(Bytes(good.begin(), good.begin() + 20))) << "header only";
  EXPECT_TRUE(refused(Bytes{})) << "empty";

  Bytes magic = good;
  magic[3] = 'X';
  EXPECT_TRUE(refused(magic)) << "wrong CcnK";
  Bytes kind = good;
  kind[8] = 'G';
  EXPECT_TRUE(refused(kind)) << "unknown kind";

  // Count and data disagree, with the sizes kept consistent.
  Bytes count = good;
  count[27] = 3;
  EXPECT_TRUE(refused(count)) << "more parameters than data";
  Bytes negative = good;
  negative[24] = 0xFF;
  EXPECT_TRUE(refused(negative)) << "negative count";

  // Chunk size larger, then smaller, than the data present.
  Bytes chunk = fx::writeProgramChunk(1, 1, 0, "", {1, 2, 3});
  Bytes big = chunk;
  big[59] = 4;
  EXPECT_TRUE(refused(big));
  Bytes small = chunk;
  small[59] = 2;
  EXPECT_TRUE(refused(small));
  Bytes huge = chunk;
  huge[56] = 0xFF;
  EXPECT_TRUE(refused(huge)) << "chunk size near 4 GiB";

  // A bank whose program inside is not a parameter list.
  Bytes bank = fx::writeBank(kABCD, 1, {fx::Program{"p", {0.5f}}});
  Bytes badInner = bank;
  badInner[156 + 8] = 'Z';
  EXPECT_TRUE(refused(badInner));
  Bytes otherId = bank;
  otherId[156 + 19] = 'E';
  EXPECT_TRUE(refused(otherId)) << "program of another plug-in inside the bank";
  Bytes moreProgs = bank;
  moreProgs[27] = 2;
  EXPECT_TRUE(refused(moreProgs)) << "bank announces more programs than it holds";
}

}  // namespace

// The file's bytes at the very end of a readable page, with an unreadable
// page after it: any read past the end crashes, with or without a sanitizer.
class EdgeOfPage {
 public:
  explicit EdgeOfPage(const Bytes& b) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_ = (b.size() / page + 2) * page;
    base_ = static_cast<uint8_t*>(
        mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(base_ + size_ - page, page, PROT_NONE);
    data_ = base_ + size_ - page - b.size();
    std::memcpy(data_, b.data(), b.size());
  }
  ~EdgeOfPage() { munmap(base_, size_); }
  const uint8_t* data() const { return data_; }

 private:
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Banks of 164 and 168 bytes: one program announced, but only 8 or 12 bytes
// of it present. The inner program's header must not be read past the file.
TEST(FxContainer, BankWithATruncatedProgramHeaderIsRefusedWithoutReadingPastTheEnd) {
  for (size_t inner : {8u, 12u, 20u, 55u}) {
    Bytes b;
    addText(b, "CcnK");
    const uint32_t after = static_cast<uint32_t>(148 + inner);
    add(b, {0, 0, static_cast<uint8_t>(after >> 8), static_cast<uint8_t>(after)});
    addText(b, "FxBk");
    add(b, {0, 0, 0, 1});
    addText(b, "ABCD");
    add(b, {0, 0, 0, 1});
    add(b, {0, 0, 0, 1});  // one program
    addZeros(b, 128);
    addText(b, "CcnK");
    const uint32_t innerSize = static_cast<uint32_t>(inner - 8);
    add(b, {0, 0, 0, static_cast<uint8_t>(innerSize)});
    if (inner >= 12) addText(b, "FxCk");
    addZeros(b, inner - std::min<size_t>(inner, 12));
    ASSERT_EQ(b.size(), 156 + inner);
    EdgeOfPage page(b);
    fx::Container c;
    std::string error;
    EXPECT_FALSE(fx::read(page.data(), b.size(), c, error)) << inner;
    EXPECT_NE(error.find("program 0"), std::string::npos) << error;
  }
}

#include "editor/resources/resources.h"

#include <array>
#include <cstdint>

// The skin PNGs are pulled into the object file by the assembler, so the
// build needs no converter and no generated sources. KORVA_SKIN_DIR is the
// absolute folder of the committed PNGs; the build lists them as dependencies
// of this file so that a changed image is embedded again.
#ifndef KORVA_SKIN_DIR
#error "KORVA_SKIN_DIR must name the folder of the skin PNGs"
#endif

// clang-format off
#define KORVA_SKIN_LIST(X)                                                    \
  X(128) X(129) X(130) X(131) X(132) X(133) X(134) X(135) X(136) X(137)       \
  X(138) X(139) X(140) X(141) X(142) X(143) X(144) X(145) X(146) X(147)       \
  X(148) X(149) X(150) X(151) X(152) X(153) X(154) X(155)                     \
  X(990) X(991) X(992) X(993) X(994) X(995) X(998) X(999)

// Each image gets a start label, its bytes and a 32-bit length word computed
// by the assembler (the length of a blob is not a C++ constant expression).
#define KORVA_SKIN_EMBED(id)                                                  \
  asm(".pushsection .rodata.korva_skin,\"a\"\n"                               \
      ".balign 16\n"                                                          \
      ".globl korva_skin_" #id "\n"                                           \
      ".hidden korva_skin_" #id "\n"                                          \
      "korva_skin_" #id ":\n"                                                 \
      ".incbin \"" KORVA_SKIN_DIR "/" #id ".png\"\n"                          \
      "korva_skin_" #id "_end:\n"                                             \
      ".balign 4\n"                                                           \
      ".globl korva_skin_" #id "_size\n"                                      \
      ".hidden korva_skin_" #id "_size\n"                                     \
      "korva_skin_" #id "_size:\n"                                            \
      ".long korva_skin_" #id "_end - korva_skin_" #id "\n"                   \
      ".popsection\n");                                                       \
  extern "C" __attribute__((visibility("hidden")))                            \
  const unsigned char korva_skin_##id[];                                      \
  extern "C" __attribute__((visibility("hidden")))                            \
  const std::uint32_t korva_skin_##id##_size;
// clang-format on

KORVA_SKIN_LIST(KORVA_SKIN_EMBED)

namespace skin {
namespace {

#define KORVA_SKIN_COUNT(id) +1
constexpr std::size_t kSkinCount = 0 KORVA_SKIN_LIST(KORVA_SKIN_COUNT);

std::array<Resource, kSkinCount> buildTable() {
#define KORVA_SKIN_ENTRY(id) Resource{id, korva_skin_##id, korva_skin_##id##_size},
  return {{KORVA_SKIN_LIST(KORVA_SKIN_ENTRY)}};
}

const CResource* provide(int32_t id) {
  return findResource(nullptr, id);
}

}  // namespace

const Resource* findResource(void* /*module*/, int id) {
  static const std::array<Resource, kSkinCount> table = buildTable();
  for (const Resource& r : table) {
    if (r.id == id) return &r;
  }
  return nullptr;
}

void registerSkin() {
  setResourceProvider(&provide);
  setScaledResourceProvider(&scaledImage);
}

}  // namespace skin

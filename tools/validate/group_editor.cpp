// editor: the rect before and after open, open/close cycles with X
// descriptors, child windows and X errors counted, state restored while
// open, and the CPU an idle editor takes (a figure). Needs DISPLAY.
#include <time.h>

#include <chrono>
#include <thread>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/editor_host.h"
#include "tools/validate/instance.h"

namespace validate {

namespace {

// False (and the check skipped, saying why) when there is nothing to test.
bool editorAvailable(Check& c, Instance& inst) {
  if (!inst.hasEditor()) {
    c.skip("no editor (effFlagsHasEditor not set)");
    return false;
  }
  if (!c.haveDisplay()) {
    c.skip("no DISPLAY: editor checks skipped");
    return false;
  }
  return true;
}

std::string rectText(const ERect* r) {
  if (r == nullptr) return "no rect";
  return std::to_string(r->left) + "," + std::to_string(r->top) + " to " +
         std::to_string(r->right) + "," + std::to_string(r->bottom);
}

bool rectValid(const ERect* r) {
  return r != nullptr && r->right > r->left && r->bottom > r->top && r->right - r->left <= 8192 &&
         r->bottom - r->top <= 8192;
}

void rect(Check& c) {
  Instance inst(c.pluginPath());
  if (!editorAvailable(c, inst)) return;
  EditorHost x;
  c.step("effEditGetRect before effEditOpen");
  ERect* before = nullptr;
  inst.dispatch(effEditGetRect, 0, 0, &before);
  c.tried();
  if (!rectValid(before)) c.warn("effEditGetRect before effEditOpen gives " + rectText(before));
  c.step("effEditOpen");
  x.open(inst);
  c.step("effEditGetRect while open");
  ERect* during = nullptr;
  inst.dispatch(effEditGetRect, 0, 0, &during);
  c.tried();
  c.expect(rectValid(during), "effEditGetRect while open gives " + rectText(during));
  c.step("effEditClose");
  x.close(inst);
}

// The plug-in talks to the X server on a connection of its own, so what it
// just created or destroyed may reach the server a moment after our query:
// an unexpected count is read again for up to 200 ms before it counts.
int settledChildren(EditorHost& x, Instance& inst, bool closed) {
  int n = x.childWindows();
  for (int t = 0; t < 20 && (closed ? n > 0 : n == 0); ++t) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!closed) x.idle(inst);
    n = x.childWindows();
  }
  return n;
}

void cycles(Check& c) {
  Instance inst(c.pluginPath());
  if (!editorAvailable(c, inst)) return;
  EditorHost x;
  const long n = 50 * c.level();
  // One cycle first: libraries may open what they keep for the process.
  c.step("cycle 0: effEditOpen");
  x.open(inst);
  x.idle(inst);
  c.step("cycle 0: effEditClose");
  x.close(inst);
  const int fdsBefore = openDescriptors();
  const long errorsBefore = EditorHost::xErrors();
  long noChild = 0;
  for (long k = 1; k <= n; ++k) {
    c.step("cycle " + std::to_string(k) + ": effEditOpen");
    x.open(inst);
    for (int i = 0; i < 3; ++i) {
      c.step("cycle " + std::to_string(k) + ": effEditIdle");
      x.idle(inst);
    }
    if (settledChildren(x, inst, false) == 0) ++noChild;
    c.step("cycle " + std::to_string(k) + ": effEditClose");
    x.close(inst);
    c.tried();
    const int children = settledChildren(x, inst, true);
    if (children > 0)
      c.reportAgain(Kind::Resources, "cycle " + std::to_string(k) + ": " +
                                         std::to_string(children) +
                                         " child window(s) left in the host's window after "
                                         "effEditClose");
  }
  const int fdsAfter = openDescriptors();
  c.figure("descriptors gained over open/close cycles", fdsAfter - fdsBefore,
           "in " + std::to_string(n) + " cycles");
  c.figure("X errors over open/close cycles",
           static_cast<double>(EditorHost::xErrors() - errorsBefore),
           "in " + std::to_string(n) + " cycles");
  if (fdsAfter - fdsBefore > 2)
    c.report(Kind::Resources, std::to_string(fdsAfter - fdsBefore) +
                                  " more descriptors open after " + std::to_string(n) +
                                  " open/close cycles");
  if (EditorHost::xErrors() > errorsBefore)
    c.report(Kind::Interface, std::to_string(EditorHost::xErrors() - errorsBefore) +
                                  " X errors in " + std::to_string(n) +
                                  " cycles, first: " + EditorHost::firstXError());
  if (noChild > 0 && c.failures() == 0)
    c.warn("no child window in the host's window after effEditOpen (" + std::to_string(noChild) +
           " of " + std::to_string(n) + " cycles)");
}

void stateWhileOpen(Check& c) {
  Instance inst(c.pluginPath());
  if (!editorAvailable(c, inst)) return;
  EditorHost x;
  const int n = inst.plugin().numParams();
  std::vector<std::vector<uint8_t>> chunks;
  if (inst.hasChunks()) {
    const std::vector<uint8_t> original = inst.chunk(false);
    for (int k = 0; k < 4; ++k) {
      for (int i = 0; i < n; ++i) inst.setParameter(i, static_cast<float>(c.uniform(0, 1)));
      chunks.push_back(inst.chunk(false));
    }
    inst.setChunk(original, false);
  }
  c.step("effEditOpen");
  x.open(inst);
  inst.start(44100, 512);
  for (long k = 0; k < 20 * c.level(); ++k) {
    c.tried();
    if (!chunks.empty() && k % 2 == 0) {
      const auto& chunk = chunks[static_cast<size_t>(k / 2) % chunks.size()];
      c.step("step " + std::to_string(k) + ": effSetChunk while open");
      inst.setChunk(chunk, false);
      x.idle(inst);
      c.step("step " + std::to_string(k) + ": effGetChunk while open");
      const std::vector<uint8_t> got = inst.chunk(false);
      if (got != chunk)
        c.fail("step " + std::to_string(k) +
               ": effGetChunk after effSetChunk and an idle call while the editor is open "
               "differs");
    } else if (n > 0) {
      const int i = static_cast<int>(c.between(0, n - 1));
      const float v = static_cast<float>(c.uniform(0, 1));
      c.step("step " + std::to_string(k) + ": setParameter(" + std::to_string(i) + ", " +
             describeFloat(v) + ") while open");
      inst.setParameter(i, v);
      const float before = inst.getParameter(i);
      x.idle(inst);
      const float after = inst.getParameter(i);
      if (after != before)
        c.fail("step " + std::to_string(k) + ": parameter " + std::to_string(i) + " moved from " +
               describeFloat(before) + " to " + describeFloat(after) + " on an idle call");
    }
  }
  c.step("effEditClose");
  x.close(inst);
}

double processSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void idleCpu(Check& c) {
  Instance inst(c.pluginPath());
  if (!editorAvailable(c, inst)) return;
  EditorHost x;
  c.step("effEditOpen");
  x.open(inst);
  for (int i = 0; i < 10; ++i) x.idle(inst);  // first drawing
  c.step("idle calls every 30 ms with nothing changing");
  const auto start = std::chrono::steady_clock::now();
  const double cpu0 = processSeconds();
  for (int i = 0; i < 66; ++i) {
    x.idle(inst);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = processSeconds() - cpu0;
  c.tried();
  c.figure("idle editor CPU", 100.0 * cpu / wall, "% of one core");
  c.step("effEditClose");
  x.close(inst);
}

}  // namespace

std::vector<CheckDef> editorChecks() {
  return {{"rect", rect, Kind::Interface},
          {"open/close cycles", cycles, Kind::Resources},
          {"state while open", stateWhileOpen, Kind::State},
          {"idle CPU", idleCpu, Kind::RealTime}};
}

}  // namespace validate

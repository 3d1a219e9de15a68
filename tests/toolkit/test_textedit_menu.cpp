// The text field and the option menu: editing keys, commit and cancel, the
// menu's entries and its pop-up list, simulated on the offscreen backend and as
// a real override-redirect window (with pointer and keyboard grabs) on a
// private Xvfb server driven through XTest.
// gtest first: X11 defines None, Bool and Status as macros.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// clang-format on

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ToolkitTestSupport.h"
#include "tests/support/XvfbServer.h"
#include "toolkit/CFrame.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CTextEdit.h"
#include "toolkit/OffscreenFrame.h"

namespace {

VstKeyCode ch(char c) {
  return VstKeyCode{static_cast<unsigned char>(c), 0, 0};
}
VstKeyCode vk(unsigned char v) {
  return VstKeyCode{0, v, 0};
}

// An offscreen frame with a text field at (10,10,110,30) and a menu of four
// entries at (120,10,180,30) over a plain area where clicks land on nothing.
class Offscreen : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = new CFrame(CRect(0, 0, 200, 100), nullptr, &log);
    edit = new CTextEdit(CRect(10, 10, 110, 30), &log, 33, "abc");
    edit->setBackColor(kWhiteCColor);
    edit->setFontColor(kBlackCColor);
    frame->addView(edit);
    menu = new COptionMenu(CRect(120, 10, 180, 30), &log, 45);
    for (const char* t : {"zero", "one", "two", "three"}) menu->addEntry(t);
    frame->addView(menu);
    drv = new toolkit::OffscreenFrame(frame);
  }
  void TearDown() override {
    delete drv;
    frame->close();
  }
  void type(const char* text) {
    for (const char* p = text; *p; ++p) {
      VstKeyCode k = ch(*p);
      drv->keyDown(k);
    }
  }
  int32_t key(unsigned char virt) {
    VstKeyCode k = vk(virt);
    return drv->keyDown(k);
  }
  void clickAway() {
    drv->advanceTime(1000);
    drv->click(CPoint(100, 80));
  }
  // Pixels of the frame inside r darker than mid-grey.
  int darkPixels(const CRect& r) {
    const std::vector<uint32_t> px = drv->surfacePixels();
    int n = 0;
    for (int y = static_cast<int>(r.top); y < r.bottom; ++y)
      for (int x = static_cast<int>(r.left); x < r.right; ++x) {
        const uint32_t p = px[static_cast<size_t>(y) * 200 + x];
        n += ((p >> 16) & 0xFF) < 100 && ((p >> 8) & 0xFF) < 100 && (p & 0xFF) < 100;
      }
    return n;
  }

  EventLog log;
  CFrame* frame = nullptr;
  CTextEdit* edit = nullptr;
  COptionMenu* menu = nullptr;
  toolkit::OffscreenFrame* drv = nullptr;
};

TEST_F(Offscreen, ClickEditsAndReturnCommits) {
  EXPECT_EQ(key(VKEY_BACK), -1);  // keys do nothing before the click
  drv->click(CPoint(50, 20));
  ASSERT_TRUE(edit->isEditing());
  EXPECT_EQ(frame->getFocusView(), edit);
  EXPECT_EQ(edit->getCaretPosition(), 3u);  // caret after "abc"
  type("de");                               // abcde|
  EXPECT_EQ(key(VKEY_BACK), 1);             // abcd|
  key(VKEY_LEFT);
  key(VKEY_LEFT);    // ab|cd
  type("X");         // abX|cd
  key(VKEY_DELETE);  // abX|d
  key(VKEY_HOME);
  type("<");  // <|abXd
  key(VKEY_END);
  VstKeyCode space = vk(VKEY_SPACE);
  drv->keyDown(space);
  type("!");        // <abXd !|
  key(VKEY_RIGHT);  // already at the end
  EXPECT_EQ(edit->getEditText(), "<abXd !");
  EXPECT_STREQ(edit->getText(), "abc");  // not committed yet
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(key(VKEY_RETURN), 1);
  EXPECT_STREQ(edit->getText(), "<abXd !");
  EXPECT_FALSE(edit->isEditing());
  EXPECT_EQ(frame->getFocusView(), nullptr);
  EXPECT_EQ(log.events, (std::vector<std::string>{"value 33"}));
  // A second Return after the commit is nobody's.
  EXPECT_EQ(key(VKEY_RETURN), -1);
}

TEST_F(Offscreen, EscapeCancelsAndNonPrintableKeysAreRefused) {
  drv->click(CPoint(50, 20));
  type("zz");
  EXPECT_EQ(key(VKEY_TAB), -1);
  EXPECT_EQ(key(VKEY_F1), -1);
  VstKeyCode control = ch(1);  // Ctrl+A as XLookupString gives it
  EXPECT_EQ(drv->keyDown(control), -1);
  VstKeyCode c1 = ch(static_cast<char>(0x85));  // a control of the C1 set
  EXPECT_EQ(drv->keyDown(c1), -1);
  VstKeyCode del = ch(0x7F);
  EXPECT_EQ(drv->keyDown(del), -1);
  EXPECT_EQ(edit->getEditText(), "abczz");
  EXPECT_EQ(key(VKEY_ESCAPE), 1);
  EXPECT_STREQ(edit->getText(), "abc");
  EXPECT_FALSE(edit->isEditing());
  EXPECT_EQ(frame->getFocusView(), nullptr);
  EXPECT_TRUE(log.events.empty());
}

TEST_F(Offscreen, LosingTheFocusCommits) {
  drv->click(CPoint(50, 20));
  type("1");
  clickAway();
  EXPECT_STREQ(edit->getText(), "abc1");
  EXPECT_EQ(log.events, (std::vector<std::string>{"value 33"}));
  drv->advanceTime(1000);
  drv->click(CPoint(50, 20));
  type("2");
  frame->platformFocusLost();  // the window lost the keyboard
  EXPECT_STREQ(edit->getText(), "abc12");
  EXPECT_EQ(log.events.size(), 2u);
  // Taken out of the frame while editing: the edit is dropped, nobody told.
  drv->advanceTime(1000);
  drv->click(CPoint(50, 20));
  type("3");
  edit->remember();
  frame->removeView(edit);
  EXPECT_FALSE(edit->isEditing());
  EXPECT_STREQ(edit->getText(), "abc12");
  EXPECT_EQ(log.events.size(), 2u);
  edit->forget();
}

TEST_F(Offscreen, CaretFollowsClicksAndTextKeepsItsLimit) {
  edit->setHoriAlign(kLeftText);
  edit->setText("iiiiWWWW");
  drv->click(CPoint(50, 20));
  ASSERT_TRUE(edit->isEditing());
  drv->advanceTime(1000);
  drv->click(CPoint(11, 20));  // left edge: before the first character
  EXPECT_EQ(edit->getCaretPosition(), 0u);
  drv->advanceTime(1000);
  drv->click(CPoint(108, 20));  // right of the text
  EXPECT_EQ(edit->getCaretPosition(), 8u);
  key(VKEY_ESCAPE);

  edit->setText(std::string(300, 'q').c_str());
  EXPECT_EQ(std::string(edit->getText()), std::string(CTextEdit::kMaxTextLength, 'q'));
  drv->advanceTime(1000);
  drv->click(CPoint(50, 20));
  type("r");  // full: nothing more goes in
  EXPECT_EQ(edit->getEditText().size(), CTextEdit::kMaxTextLength);
  key(VKEY_ESCAPE);
  edit->setText(nullptr);
  EXPECT_STREQ(edit->getText(), "");
}

VstKeyCode unicode(VstInt32 c) {
  return VstKeyCode{c, 0, 0};
}
VstKeyCode withMods(VstKeyCode k, unsigned char modifier) {
  k.modifier = modifier;
  return k;
}

// Names in any script: typed characters go in as UTF-8 and every editing key
// steps over whole characters, never into one.
TEST_F(Offscreen, TypedUnicodeIsUtf8AndKeysMoveByCharacter) {
  drv->click(CPoint(50, 20));
  for (VstInt32 c : {0xE9, 0x20AC, 0x416, 0x1D11E}) {  // é € Ж and a clef beyond 16 bits
    VstKeyCode k = unicode(c);
    EXPECT_EQ(drv->keyDown(k), 1) << c;
  }
  EXPECT_EQ(edit->getEditText(), "abc\u00E9\u20AC\u0416\U0001D11E");
  key(VKEY_LEFT);  // before the clef
  EXPECT_EQ(edit->getCaretPosition(), 3u + 2 + 3 + 2);
  key(VKEY_BACK);  // Ж goes whole
  EXPECT_EQ(edit->getEditText(), "abc\u00E9\u20AC\U0001D11E");
  key(VKEY_LEFT);
  key(VKEY_DELETE);  // € goes whole
  EXPECT_EQ(edit->getEditText(), "abc\u00E9\U0001D11E");
  key(VKEY_RIGHT);
  key(VKEY_RIGHT);
  EXPECT_EQ(edit->getCaretPosition(), edit->getEditText().size());
  key(VKEY_RETURN);
  EXPECT_STREQ(edit->getText(), "abc\u00E9\U0001D11E");
}

TEST_F(Offscreen, CtrlASelectsAllAndTypingOrDeletingReplacesTheSelection) {
  drv->click(CPoint(50, 20));
  type("de");  // abcde|
  VstKeyCode hostCtrlA = withMods(ch('a'), MODIFIER_CONTROL);
  EXPECT_EQ(drv->keyDown(hostCtrlA), 1);
  EXPECT_EQ(edit->getSelectionStart(), 0u);
  EXPECT_EQ(edit->getSelectionEnd(), 5u);
  type("x");
  EXPECT_EQ(edit->getEditText(), "x");
  type("yz");  // xyz|
  VstKeyCode shiftHome = withMods(vk(VKEY_HOME), MODIFIER_SHIFT);
  drv->keyDown(shiftHome);
  key(VKEY_RIGHT);  // no Shift: the selection collapses to its end
  EXPECT_EQ(edit->getCaretPosition(), 3u);
  EXPECT_EQ(edit->getSelectionStart(), edit->getSelectionEnd());
  VstKeyCode shiftLeft = withMods(vk(VKEY_LEFT), MODIFIER_SHIFT);
  drv->keyDown(shiftLeft);
  drv->keyDown(shiftLeft);  // x[yz]
  key(VKEY_BACK);
  EXPECT_EQ(edit->getEditText(), "x");
  type(" two words");
  VstKeyCode ctrlBack = withMods(vk(VKEY_BACK), MODIFIER_CONTROL);
  drv->keyDown(ctrlBack);  // a word at a time
  EXPECT_EQ(edit->getEditText(), "x two ");
  VstKeyCode ctrlLeft = withMods(vk(VKEY_LEFT), MODIFIER_CONTROL);
  drv->keyDown(ctrlLeft);
  EXPECT_EQ(edit->getCaretPosition(), 2u);
  // Other Ctrl keys are the host's, not text.
  VstKeyCode ctrlS = withMods(ch('s'), MODIFIER_CONTROL);
  EXPECT_EQ(drv->keyDown(ctrlS), -1);
  EXPECT_EQ(edit->getEditText(), "x two ");
}

TEST_F(Offscreen, ByteLimitCutsOnACharacterBoundary) {
  edit->setMaxLength(6);
  edit->setText("ab\u20AC\u20AC");  // 8 bytes: the second € does not fit whole
  EXPECT_STREQ(edit->getText(), "ab\u20AC");
  edit->setText("abcde\xE2\x82");  // cut short before it arrived
  EXPECT_STREQ(edit->getText(), "abcde");
  drv->click(CPoint(50, 20));
  VstKeyCode euro = unicode(0x20AC);
  drv->keyDown(euro);  // 5 + 3 > 6: refused
  EXPECT_EQ(edit->getEditText(), "abcde");
  VstKeyCode e = unicode(0xE9);
  drv->keyDown(e);  // 5 + 2 > 6: refused
  type("f");
  EXPECT_EQ(edit->getEditText(), "abcdef");
  // Over a selection the room it frees counts.
  VstKeyCode shiftLeft = withMods(vk(VKEY_LEFT), MODIFIER_SHIFT);
  drv->keyDown(shiftLeft);
  drv->keyDown(shiftLeft);
  drv->keyDown(euro);  // 4 + 3 > 6: refused, the selection stays
  EXPECT_EQ(edit->getEditText(), "abcdef");
  drv->keyDown(e);  // 4 + 2
  EXPECT_EQ(edit->getEditText(), "abcd\u00E9");
}

// A name saved as Latin-1 is no UTF-8: it must not stop the drawing.
TEST_F(Offscreen, TextThatIsNotUtf8StillDraws) {
  edit->setText("Caf\xE9 \xFF");
  drv->idle();
  const std::vector<uint32_t> before = drv->surfacePixels();
  edit->setText("Caf\xE9 \xFF!");
  menu->setCurrent(2);  // drawn after the field: must still change
  drv->idle();
  EXPECT_TRUE(drv->surfacePixels() != before);
}

TEST_F(Offscreen, ValueToStringSetsTheText) {
  edit->setValueToStringFunction([](float v, char out[256]) {
    std::snprintf(out, 256, "v=%d", static_cast<int>(v * 100));
    return true;
  });
  edit->setValue(0.25f);
  EXPECT_STREQ(edit->getText(), "v=25");
  // Without a conversion the value leaves the text alone.
  menu->setValue(1.f);
  CTextEdit plain(CRect(0, 0, 10, 10), nullptr, 1, "keep");
  plain.setValue(0.5f);
  EXPECT_STREQ(plain.getText(), "keep");
}

TEST_F(Offscreen, TextIsDrawnAndNoTextStyleHidesIt) {
  const CRect inside(12, 12, 108, 28);
  edit->setText("");
  EXPECT_EQ(darkPixels(inside), 0);
  edit->setText("WWWW");
  EXPECT_GT(darkPixels(inside), 20);
  edit->setStyle(kNoTextStyle);
  edit->setDirty(true);
  EXPECT_EQ(darkPixels(inside), 0);
  edit->setStyle(0);
  // While editing the caret shows even without text.
  edit->setText("");
  drv->click(CPoint(50, 20));
  EXPECT_GT(darkPixels(inside), 5);
}

TEST_F(Offscreen, MenuEntriesAndCurrentIndex) {
  EXPECT_EQ(menu->getNbEntries(), 4);
  EXPECT_STREQ(menu->getEntry(3), "three");
  EXPECT_EQ(menu->getEntry(4), nullptr);
  EXPECT_EQ(menu->getEntry(-1), nullptr);
  EXPECT_FLOAT_EQ(menu->getMax(), 3.f);
  EXPECT_TRUE(menu->setEntry(2, "TWO"));
  EXPECT_FALSE(menu->setEntry(4, "x"));
  EXPECT_STREQ(menu->getEntry(2), "TWO");
  EXPECT_TRUE(menu->setCurrent(2));
  EXPECT_EQ(menu->getCurrentIndex(), 2);
  EXPECT_FALSE(menu->setCurrent(4));
  EXPECT_EQ(menu->getCurrentIndex(), 2);
  menu->setValue(1.49f);
  EXPECT_EQ(menu->getCurrentIndex(), 1);
  menu->setValue(1.5f);
  EXPECT_EQ(menu->getCurrentIndex(), 2);
  char text[256];
  menu->getDisplayString(2.4f, text);
  EXPECT_STREQ(text, "TWO");
  EXPECT_TRUE(menu->addEntry("first", 0));
  EXPECT_STREQ(menu->getEntry(0), "first");
  EXPECT_STREQ(menu->getEntry(4), "three");
  EXPECT_FLOAT_EQ(menu->getMax(), 4.f);
  EXPECT_TRUE(menu->removeEntry(0));
  EXPECT_TRUE(menu->removeAllEntry());
  EXPECT_EQ(menu->getCurrentIndex(), -1);
  EXPECT_FALSE(menu->popup());  // nothing to show
}

TEST_F(Offscreen, ClickOpensTheListKeysChoose) {
  menu->setCurrent(1);
  drv->click(CPoint(150, 20), kRButton);
  EXPECT_FALSE(menu->isPopupOpen());
  drv->click(CPoint(150, 20));
  ASSERT_TRUE(menu->isPopupOpen());
  EXPECT_EQ(menu->getHighlightedIndex(), 1);
  key(VKEY_DOWN);
  key(VKEY_DOWN);
  key(VKEY_DOWN);  // stops at the last entry
  EXPECT_EQ(menu->getHighlightedIndex(), 3);
  key(VKEY_UP);
  EXPECT_EQ(menu->getHighlightedIndex(), 2);
  EXPECT_TRUE(log.events.empty());
  key(VKEY_RETURN);
  EXPECT_FALSE(menu->isPopupOpen());
  EXPECT_EQ(menu->getCurrentIndex(), 2);
  EXPECT_EQ(log.events, (std::vector<std::string>{"value 45"}));
  EXPECT_EQ(log.values, (std::vector<float>{2.f}));
  EXPECT_EQ(frame->getFocusView(), nullptr);
}

TEST_F(Offscreen, EscapeOutsideClickAndSecondClickCloseWithoutChoosing) {
  menu->setCurrent(3);
  drv->click(CPoint(150, 20));
  key(VKEY_HOME);
  EXPECT_EQ(menu->getHighlightedIndex(), 0);
  key(VKEY_ESCAPE);
  EXPECT_FALSE(menu->isPopupOpen());
  drv->advanceTime(1000);
  drv->click(CPoint(150, 20));
  ASSERT_TRUE(menu->isPopupOpen());
  clickAway();
  EXPECT_FALSE(menu->isPopupOpen());
  drv->advanceTime(1000);
  drv->click(CPoint(150, 20));
  drv->advanceTime(1000);
  drv->click(CPoint(150, 20));
  EXPECT_FALSE(menu->isPopupOpen());
  EXPECT_EQ(menu->getCurrentIndex(), 3);
  EXPECT_TRUE(log.events.empty());
  EXPECT_FALSE(menu->choosePopupEntry(1));  // closed: no choice
  EXPECT_TRUE(log.events.empty());
}

TEST_F(Offscreen, ChoosingAnEntryEvenTheCurrentOneTellsTheListener) {
  menu->setCurrent(2);
  drv->click(CPoint(150, 20));
  EXPECT_FALSE(menu->choosePopupEntry(4));  // no such entry: the list stays
  EXPECT_TRUE(menu->isPopupOpen());
  EXPECT_TRUE(menu->choosePopupEntry(2));
  drv->advanceTime(1000);
  drv->click(CPoint(150, 20));
  EXPECT_TRUE(menu->choosePopupEntry(0));
  EXPECT_EQ(log.values, (std::vector<float>{2.f, 0.f}));
  EXPECT_EQ(menu->getCurrentIndex(), 0);
}

TEST_F(Offscreen, ClosedMenuShowsTheCurrentTitleUnlessNoText) {
  const CRect inside(122, 12, 178, 28);
  menu->setBackColor(kWhiteCColor);
  menu->setFontColor(kBlackCColor);
  menu->setStyle(kNoFrame);
  menu->setEntry(0, "");
  menu->setCurrent(0);
  EXPECT_EQ(darkPixels(inside), 0);
  menu->setCurrent(3);  // "three"
  EXPECT_GT(darkPixels(inside), 20);
  menu->setStyle(kNoFrame | kNoTextStyle);
  menu->setDirty(true);
  EXPECT_EQ(darkPixels(inside), 0);
}

// ---------------------------------------------------------------- X11

class X11Popup : public ::testing::Test {
 protected:
  void SetUp() override {
    XvfbServer& server = XvfbServer::shared();
    if (!server.running()) GTEST_SKIP() << "Xvfb not available";
    setenv("DISPLAY", server.display().c_str(), 1);
    dpy = openTestDisplay(server.display().c_str());
    ASSERT_NE(dpy, nullptr);
    int ev, err, major, minor;
    ASSERT_TRUE(XTestQueryExtension(dpy, &ev, &err, &major, &minor));
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.background_pixel = WhitePixel(dpy, DefaultScreen(dpy));
    parent = XCreateWindow(dpy, DefaultRootWindow(dpy), kParentX, kParentY,
                           static_cast<unsigned>(300 * scale), static_cast<unsigned>(60 * scale), 0,
                           CopyFromParent, InputOutput, CopyFromParent,
                           CWOverrideRedirect | CWBackPixel, &attrs);
    XMapRaised(dpy, parent);
    XSync(dpy, False);
    frame = new CFrame(CRect(0, 0, 300, 60), reinterpret_cast<void*>(parent), &log, scale);
    ASSERT_TRUE(frame->isWindowed());
    menu = new COptionMenu(CRect(100, 10, 160, 30), &log, 45);
    for (int i = 0; i < 20; ++i) menu->addEntry(("entry " + std::to_string(i)).c_str());
    menu->setNbItemsPerColumn(20);
    menu->setCurrent(4);
    frame->addView(menu);
    edit = new CTextEdit(CRect(10, 10, 90, 30), &log, 33, "name");
    frame->addView(edit);
    ASSERT_TRUE(idleUntil([&] { return popupWindows().empty() && viewable(childOf(parent)); }));
  }
  void TearDown() override {
    if (frame) frame->close();
    if (dpy) {
      XDestroyWindow(dpy, parent);
      XCloseDisplay(dpy);
    }
  }
  static constexpr int kParentX = 50, kParentY = 40;
  double scale = 1.0;  // the frame's

  bool viewable(Window w) {
    XWindowAttributes a;
    return w && XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable;
  }
  Window childOf(Window w) {
    Window root, par, *kids = nullptr;
    unsigned int n = 0;
    Window child = 0;
    if (XQueryTree(dpy, w, &root, &par, &kids, &n) && n > 0) child = kids[0];
    if (kids) XFree(kids);
    return child;
  }
  bool isTopLevel(Window w) {
    XSync(dpy, False);
    Window root, par, *kids = nullptr;
    unsigned int n = 0;
    bool found = false;
    XQueryTree(dpy, DefaultRootWindow(dpy), &root, &par, &kids, &n);
    for (unsigned int i = 0; i < n; ++i) found = found || kids[i] == w;
    if (kids) XFree(kids);
    return found;
  }
  // Top-level override-redirect windows other than the test's own parent.
  std::vector<Window> popupWindows() {
    XSync(dpy, False);
    std::vector<Window> out;
    Window root, par, *kids = nullptr;
    unsigned int n = 0;
    XQueryTree(dpy, DefaultRootWindow(dpy), &root, &par, &kids, &n);
    for (unsigned int i = 0; i < n; ++i) {
      XWindowAttributes a;
      if (kids[i] != parent && XGetWindowAttributes(dpy, kids[i], &a) && a.override_redirect &&
          a.map_state == IsViewable)
        out.push_back(kids[i]);
    }
    if (kids) XFree(kids);
    return out;
  }
  template <typename F>
  bool idleUntil(F done) {
    for (int i = 0; i < 300; ++i) {
      frame->idle();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  void settle(int ms) {
    for (int i = 0; i < ms / 10; ++i) {
      frame->idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  void clickAtRoot(int x, int y) {
    XTestFakeMotionEvent(dpy, DefaultScreen(dpy), x, y, 0);
    XTestFakeButtonEvent(dpy, 1, True, 0);
    XTestFakeButtonEvent(dpy, 1, False, 0);
    XFlush(dpy);
  }
  // A key of the test's keyboard that gives `sym`: the server's own, or a
  // spare keycode mapped to it (as a layout switch does).
  KeyCode keyFor(KeySym sym) {
    if (const KeyCode code = XKeysymToKeycode(dpy, sym)) return code;
    int low = 0, high = 0, perCode = 0;
    XDisplayKeycodes(dpy, &low, &high);
    KeySym* map = XGetKeyboardMapping(dpy, static_cast<KeyCode>(low), high - low + 1, &perCode);
    KeyCode spare = 0;
    for (int k = high; k >= low && !spare; --k) {
      bool empty = true;
      for (int i = 0; i < perCode; ++i) empty = empty && map[(k - low) * perCode + i] == NoSymbol;
      if (empty) spare = static_cast<KeyCode>(k);
    }
    XFree(map);
    if (!spare) return 0;
    KeySym syms[2] = {sym, sym};
    XChangeKeyboardMapping(dpy, spare, 2, syms, 1);
    XSync(dpy, False);
    return spare;
  }
  void press(KeySym sym) {
    const KeyCode code = keyFor(sym);
    XTestFakeKeyEvent(dpy, code, True, 0);
    XTestFakeKeyEvent(dpy, code, False, 0);
    XFlush(dpy);
  }
  // Opens the list with a real click and returns its window and geometry.
  Window openList(XWindowAttributes* geometry) {
    clickAtRoot(kParentX + static_cast<int>(130 * scale), kParentY + static_cast<int>(20 * scale));
    Window list = 0;
    idleUntil([&] {
      const std::vector<Window> w = popupWindows();
      if (w.size() == 1) list = w[0];
      return list != 0;
    });
    if (list) XGetWindowAttributes(dpy, list, geometry);
    return list;
  }

  EventLog log;
  Display* dpy = nullptr;
  Window parent = 0;
  CFrame* frame = nullptr;
  COptionMenu* menu = nullptr;
  CTextEdit* edit = nullptr;
};

TEST_F(X11Popup, ListIsATopLevelWindowBelowTheMenuAndKeysChoose) {
  XWindowAttributes g;
  const Window list = openList(&g);
  ASSERT_NE(list, 0u);
  EXPECT_TRUE(menu->isPopupOpen());
  // Below the menu's bottom edge, taller than the editor's window: not clipped.
  EXPECT_EQ(g.x, kParentX + 100);
  EXPECT_EQ(g.y, kParentY + 30);
  EXPECT_GT(g.height, 60 * 3);
  EXPECT_GE(g.width, 60);
  // The release of the opening click chose nothing.
  settle(300);
  EXPECT_TRUE(log.events.empty());
  EXPECT_TRUE(menu->isPopupOpen());
  press(XK_Down);
  press(XK_Down);
  press(XK_Up);
  press(XK_Down);
  press(XK_Return);
  ASSERT_TRUE(idleUntil([&] { return !log.values.empty(); }));
  EXPECT_EQ(log.values, (std::vector<float>{6.f}));  // current 4, two down
  EXPECT_EQ(menu->getCurrentIndex(), 6);
  EXPECT_FALSE(menu->isPopupOpen());
  // Destroyed, not just hidden.
  EXPECT_TRUE(popupWindows().empty());
  EXPECT_FALSE(isTopLevel(list));
}

TEST_F(X11Popup, ClickOnAnEntryChoosesIt) {
  XWindowAttributes g;
  const Window list = openList(&g);
  ASSERT_NE(list, 0u);
  const int row = (g.height - 2) / 20;  // one column of 20 rows inside a 1-pixel border
  clickAtRoot(g.x + g.width / 2, g.y + 1 + 11 * row + row / 2);
  ASSERT_TRUE(idleUntil([&] { return !log.values.empty(); }));
  EXPECT_EQ(log.values, (std::vector<float>{11.f}));
  EXPECT_FALSE(isTopLevel(list));
}

// The frame at 200 %: its window, the list below the menu and the list's
// entries all in device pixels, twice the list of a frame at 100 %.
class X11PopupAtTwice : public X11Popup {
 protected:
  void SetUp() override {
    scale = 2.0;
    X11Popup::SetUp();
  }
};

TEST_F(X11PopupAtTwice, TheListIsScaledAndAClickOnAScaledEntryChoosesIt) {
  XWindowAttributes window;
  ASSERT_TRUE(XGetWindowAttributes(dpy, childOf(parent), &window));
  EXPECT_EQ(window.width, 600);
  EXPECT_EQ(window.height, 120);
  XWindowAttributes g;
  const Window list = openList(&g);
  ASSERT_NE(list, 0u);
  EXPECT_EQ(g.x, kParentX + 200);
  EXPECT_EQ(g.y, kParentY + 60);
  // One column of 20 rows of the font's height plus 6, inside a border of 1,
  // all doubled.
  const int row = static_cast<int>(std::ceil(menu->getFont()->getSize())) + 6;
  EXPECT_EQ(g.height, 2 * (20 * row + 2));
  EXPECT_GE(g.width, 120);
  clickAtRoot(g.x + g.width / 2, g.y + 2 * (1 + 11 * row + row / 2));
  ASSERT_TRUE(idleUntil([&] { return !log.values.empty(); }));
  EXPECT_EQ(log.values, (std::vector<float>{11.f}));
  EXPECT_FALSE(isTopLevel(list));
}

TEST_F(X11Popup, OutsideClickAndEscapeDismiss) {
  XWindowAttributes g;
  ASSERT_NE(openList(&g), 0u);
  clickAtRoot(900, 700);  // far from everything
  ASSERT_TRUE(idleUntil([&] { return !menu->isPopupOpen(); }));
  EXPECT_TRUE(popupWindows().empty());
  ASSERT_NE(openList(&g), 0u);
  press(XK_Escape);
  ASSERT_TRUE(idleUntil([&] { return !menu->isPopupOpen(); }));
  EXPECT_TRUE(popupWindows().empty());
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(menu->getCurrentIndex(), 4);
  // The grabs are gone: a click reaches the frame again.
  clickAtRoot(kParentX + 50, kParentY + 20);
  EXPECT_TRUE(idleUntil([&] { return edit->isEditing(); }));
}

TEST_F(X11Popup, ClosingTheFrameTakesTheListAlong) {
  XWindowAttributes g;
  const Window list = openList(&g);
  ASSERT_NE(list, 0u);
  frame->close();
  frame = nullptr;
  EXPECT_FALSE(isTopLevel(list));
  // And the pointer is free: another client can grab it.
  EXPECT_EQ(XGrabPointer(dpy, parent, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                         None, CurrentTime),
            GrabSuccess);
  XUngrabPointer(dpy, CurrentTime);
}

TEST_F(X11Popup, TextFieldTakesTheKeyboardOnClick) {
  clickAtRoot(kParentX + 50, kParentY + 20);
  ASSERT_TRUE(idleUntil([&] { return edit->isEditing(); }));
  // The window has the focus now: typed keys arrive without any help.
  Window focus = 0;
  int revert = 0;
  ASSERT_TRUE(idleUntil([&] {
    XGetInputFocus(dpy, &focus, &revert);
    return focus == childOf(parent);
  }));
  press(XK_BackSpace);
  press(XK_x);
  press(XK_Return);
  ASSERT_TRUE(idleUntil([&] { return !log.events.empty(); }));
  EXPECT_STREQ(edit->getText(), "namx");
  EXPECT_EQ(log.events, (std::vector<std::string>{"value 33"}));
}

// Keys of any layout type their characters: the key's symbol is turned into
// Unicode, not into a Latin-1 byte (Cyrillic, the euro sign and every other
// script have none).
TEST_F(X11Popup, TextFieldTypesTheCharactersOfAnyLayout) {
  clickAtRoot(kParentX + 50, kParentY + 20);
  ASSERT_TRUE(idleUntil([&] { return edit->isEditing(); }));
  Window focus = 0;
  int revert = 0;
  ASSERT_TRUE(idleUntil([&] {
    XGetInputFocus(dpy, &focus, &revert);
    return focus == childOf(parent);
  }));
  press(XK_End);  // a key before the keyboard's mapping changes
  settle(100);
  press(XK_Cyrillic_ZHE);
  press(XK_EuroSign);
  press(XK_eacute);
  press(XK_Return);
  ASSERT_TRUE(idleUntil([&] { return !log.events.empty(); }));
  EXPECT_STREQ(edit->getText(), "name\u0416\u20AC\u00E9");
}

}  // namespace

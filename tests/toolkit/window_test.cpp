// Windows and controls built from a small layout held in a test archive.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <fstream>
#include <sstream>

#include "tests/toolkit/test_window.h"
#include "tests/toolkit/zip_builder.h"
#include "toolkit/check_box.h"
#include "toolkit/combo.h"
#include "toolkit/combo_drop_list.h"
#include "toolkit/edit.h"
#include "toolkit/toolkit_log.h"

namespace {

constexpr unsigned kNormal = 0xFF2040A0;
constexpr unsigned kHot = 0xFF40A020;
constexpr unsigned kPushed = 0xFFA02040;

const char kLayout[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="300,200" caption="0,0,0,30" bkcolor="#ffffffff">
  <Font id="1" face="Segoe UI" size="14" default="true"/>
  <Font id="2" face="Segoe UI" size="20" bold="true"/>
  <VerticalLayout name="root" bkcolor="#ffffffff">
    <Button name="btn" float="true" pos="10,40,110,70" normalimage="n.png" hotimage="h.png" pushedimage="p.png"/>
    <CheckBox name="cbx" float="true" pos="120,40,140,60" normalimage="n.png" selectedimage="p.png"/>
    <Label name="red" float="true" pos="150,40,200,60" bkcolor="#ffff0000"/>
    <Label name="ghost" float="true" pos="150,40,200,60" mouse="false"/>
    <Combo name="combo" float="true" pos="210,40,290,60" bkcolor="#ffdddddd"/>
    <Container name="box" float="true" pos="10,80,290,195" bkcolor="#ffffffff">
      <Label name="plain" float="true" pos="0,0,280,25" textcolor="#ff0000ff" text="{c #FF0000}Mark{/c}"/>
      <Label name="html" float="true" pos="0,25,280,50" showhtml="true" textcolor="#ff0000ff" text="{c #FF0000}Mark{/c}"/>
      <Label name="measure" float="true" pos="0,50,280,80" mouse="false" font="2" text="Measured"/>
      <Edit name="edit" float="true" pos="0,85,200,110" placeholder="type here"/>
    </Container>
  </VerticalLayout>
</Window>)";

std::string TestArchive() {
  return ZipBuilder()
      .Add("test.xml", kLayout)
      .Add("n.png", SolidPng(4, 4, kNormal), ZipBuilder::kStored)
      .Add("h.png", SolidPng(4, 4, kHot))
      .Add("p.png", SolidPng(4, 4, kPushed))
      .Build();
}

class ToolkitWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    UseArchive(TestArchive());
    ASSERT_TRUE(window.CreateShown());
    window.GetPaintManager().UpdateLayout();
  }
  kxui::Control* Find(const wchar_t* name) {
    kxui::Control* control = window.FindControl(name);
    EXPECT_NE(nullptr, control) << name;
    return control;
  }
  int CountPixels(const RECT& area, const std::function<bool(unsigned)>& match) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x) count += match(Rgb(window.GetPaintManager().PixelAt(x, y)));
    return count;
  }

  TestWindow window{L"test.xml"};
};

bool Reddish(unsigned rgb) { return ((rgb >> 16) & 0xFF) > 150 && ((rgb >> 8) & 0xFF) < 100 && (rgb & 0xFF) < 100; }
bool Bluish(unsigned rgb) { return (rgb & 0xFF) > 150 && ((rgb >> 16) & 0xFF) < 100 && ((rgb >> 8) & 0xFF) < 100; }
bool Ink(unsigned rgb) { return rgb != 0xFFFFFF; }

TEST_F(ToolkitWindow, PointOverAControlWithoutMouseFallsThrough) {
  // ghost lies over red: red answers; measure lies over nothing: its parent.
  EXPECT_EQ(Find(L"red"), window.GetPaintManager().FindControlAt(Centre(Find(L"ghost"))));
  EXPECT_EQ(Find(L"box"), window.GetPaintManager().FindControlAt(Centre(Find(L"measure"))));
  EXPECT_EQ(Find(L"root"), window.GetPaintManager().FindControlAt(POINT{5, 5}));
}

TEST_F(ToolkitWindow, NotificationsArriveByTypeWithTheirSender) {
  Click(window.GetHWND(), Centre(Find(L"btn")));
  Click(window.GetHWND(), Centre(Find(L"cbx")));
  auto* check = static_cast<kxui::CheckBox*>(Find(L"cbx")->GetInterface(L"CheckBox"));
  EXPECT_TRUE(check->IsSelected());
  check->Selected(false, false);  // quietly
  check->Selected(true, true);
  EXPECT_EQ((std::vector<std::wstring>{L"click:btn", L"selectchanged:cbx", L"click:cbx", L"selectchanged:cbx"}),
            window.Seen());

  // A press that leaves the button before the release is no click.
  window.notifications.clear();
  MouseAt(window.GetHWND(), WM_LBUTTONDOWN, Centre(Find(L"btn")));
  MouseAt(window.GetHWND(), WM_MOUSEMOVE, POINT{5, 150});
  MouseAt(window.GetHWND(), WM_LBUTTONUP, POINT{5, 150});
  EXPECT_TRUE(window.Seen().empty());
}

TEST_F(ToolkitWindow, ComboListSelectsByTheMouseAndQuietlyByTheProgram) {
  auto* combo = static_cast<kxui::Combo*>(Find(L"combo")->GetInterface(L"Combo"));
  for (const wchar_t* text : {L"English", L"日本語", L"Deutsch"}) combo->AddItem(text, 20);
  combo->SetDropBoxSize(SIZE{120, 62});
  EXPECT_EQ(3, combo->GetCount());
  EXPECT_TRUE(combo->SelectItem(0));
  EXPECT_TRUE(window.Seen().empty());
  EXPECT_EQ(L"English", combo->GetText());

  Click(window.GetHWND(), Centre(combo));
  ASSERT_TRUE(combo->IsDropped());
  HWND drop = ::FindWindowW(L"kxui_combo_drop", nullptr);
  ASSERT_NE(nullptr, drop);
  RECT dropRect = {};
  ::GetClientRect(drop, &dropRect);
  EXPECT_EQ(120, dropRect.right);
  // The second item: rows are 20 high below a one-pixel frame.
  ::SendMessageW(drop, WM_MOUSEMOVE, 0, MAKELPARAM(10, 31));
  ::SendMessageW(drop, WM_LBUTTONUP, 0, MAKELPARAM(10, 31));
  EXPECT_FALSE(combo->IsDropped());
  ASSERT_EQ((std::vector<std::wstring>{L"itemselect:combo"}), window.Seen());
  EXPECT_EQ(1u, window.notifications[0].wParam);
  EXPECT_EQ(L"日本語", combo->GetText());

  EXPECT_TRUE(combo->RemoveAt(0));
  EXPECT_EQ(0, combo->GetCurSel());
  EXPECT_EQ(L"Deutsch", combo->GetItemAt(1)->GetText());
  combo->RemoveAll();
  EXPECT_EQ(0, combo->GetCount());
  EXPECT_EQ(nullptr, combo->GetItemAt(0));
}

TEST_F(ToolkitWindow, EditTakesKeyboardInputWhileFocused) {
  auto* edit = static_cast<kxui::Edit*>(Find(L"edit")->GetInterface(L"Edit"));
  EXPECT_EQ(L"type here", edit->GetPlaceholder());
  Click(window.GetHWND(), Centre(edit));
  HWND native = edit->GetNativeWindow();
  ASSERT_NE(nullptr, native);
  EXPECT_EQ(native, ::GetFocus());
  for (wchar_t c : std::wstring(L"ok")) ::SendMessageW(native, WM_CHAR, c, 0);
  EXPECT_EQ(L"ok", edit->GetText());
  ASSERT_FALSE(window.notifications.empty());
  EXPECT_EQ(L"textchanged:edit", window.Seen().back());

  // Keys pass the window's key filter first, also inside the field.
  std::vector<WPARAM> filtered;
  window.keyFilter = [&](WPARAM key) {
    filtered.push_back(key);
    return key == VK_ESCAPE;
  };
  ::SendMessageW(native, WM_KEYDOWN, VK_ESCAPE, 0);
  ::SendMessageW(window.GetHWND(), WM_KEYDOWN, VK_F5, 0);
  EXPECT_EQ((std::vector<WPARAM>{VK_ESCAPE, VK_F5}), filtered);

  // Focus elsewhere ends the edit session and keeps the text.
  Click(window.GetHWND(), Centre(Find(L"btn")));
  PumpUntil([&] { return edit->GetNativeWindow() == nullptr; });
  EXPECT_EQ(nullptr, edit->GetNativeWindow());
  EXPECT_EQ(L"ok", edit->GetText());

  edit->SetReadOnly(true);
  Click(window.GetHWND(), Centre(edit));
  EXPECT_EQ(nullptr, edit->GetNativeWindow());
}

TEST_F(ToolkitWindow, TimersOwnedByAControlNotifyWithTheirId) {
  kxui::Control* red = Find(L"red");
  ASSERT_TRUE(red->SetTimer(1988, 10));
  ASSERT_TRUE(PumpUntil([&] { return !window.notifications.empty(); }));
  EXPECT_EQ(L"timer:red", window.Seen()[0]);
  EXPECT_EQ(1988u, window.notifications[0].wParam);
  red->KillTimer(1988);
}

TEST_F(ToolkitWindow, ButtonStatesDrawTheirOwnPictures) {
  kxui::PaintManager& manager = window.GetPaintManager();
  kxui::Control* button = Find(L"btn");
  const POINT centre = Centre(button);
  manager.Render();
  EXPECT_EQ(Rgb(kNormal), Rgb(manager.PixelAt(centre.x, centre.y)));
  MouseAt(window.GetHWND(), WM_MOUSEMOVE, centre);
  manager.Render();
  EXPECT_EQ(Rgb(kHot), Rgb(manager.PixelAt(centre.x, centre.y)));
  MouseAt(window.GetHWND(), WM_LBUTTONDOWN, centre);
  manager.Render();
  EXPECT_EQ(Rgb(kPushed), Rgb(manager.PixelAt(centre.x, centre.y)));
  MouseAt(window.GetHWND(), WM_LBUTTONUP, centre);
  button->SetEnabled(false);  // no disabled picture: the normal one
  manager.Render();
  EXPECT_EQ(Rgb(kNormal), Rgb(manager.PixelAt(centre.x, centre.y)));
}

TEST_F(ToolkitWindow, HiddenControlLeavesNoPixels) {
  const RECT all = {0, 0, 300, 80};
  window.GetPaintManager().Render();
  EXPECT_EQ(50 * 20, CountPixels(all, Reddish));
  Find(L"red")->SetVisible(false);
  window.GetPaintManager().Render();
  EXPECT_EQ(0, CountPixels(all, Reddish));
}

TEST_F(ToolkitWindow, MarkupIsRenderedOnlyWithShowHtml) {
  window.GetPaintManager().Render();
  const RECT plain = Find(L"plain")->GetPos();
  const RECT html = Find(L"html")->GetPos();
  EXPECT_EQ(0, CountPixels(plain, Reddish));
  EXPECT_GT(CountPixels(plain, Bluish), 0);
  EXPECT_GT(CountPixels(html, Reddish), 0);
  EXPECT_EQ(0, CountPixels(html, Bluish));
  // As typed, the tags take their room on the line.
  auto inkWidth = [&](const RECT& area) {
    int left = area.right, right = area.left - 1;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x)
        if (Ink(Rgb(window.GetPaintManager().PixelAt(x, y)))) {
          left = std::min(left, x);
          right = std::max(right, x);
        }
    return right - left + 1;
  };
  const int typed = window.MeasureText(L"{c #FF0000}Mark{/c}", 1).cx;
  const int rendered = window.MeasureText(L"Mark", 1).cx;
  EXPECT_NEAR(typed, inkWidth(plain), 4);
  EXPECT_NEAR(rendered, inkWidth(html), 4);
}

TEST_F(ToolkitWindow, TextMeasurementMatchesTheDrawnText) {
  window.GetPaintManager().Render();
  const RECT area = Find(L"measure")->GetPos();
  const SIZE size = window.MeasureText(L"Measured", 2);
  int left = area.right, right = area.left - 1, top = area.bottom, bottom = area.top - 1;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x)
      if (Ink(Rgb(window.GetPaintManager().PixelAt(x, y)))) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_GE(left, area.left);
  // Glyph ink sits inside the advance width, short of it by the side bearings.
  EXPECT_LE(right - area.left + 1, size.cx + 1);
  EXPECT_GE(right - area.left + 1, size.cx - 4);
  EXPECT_LE(bottom - top + 1, size.cy);
  EXPECT_GT(size.cx, window.MeasureText(L"Measured", 1).cx);  // the larger font is wider
}

TEST_F(ToolkitWindow, ModalLoopReturnsTheNumberPassedToClose) {
  TestWindow owner(L"test.xml", L"kxui_test_owner");
  ASSERT_TRUE(owner.CreateShown());
  TestWindow dialog(L"test.xml", L"kxui_test_dialog");
  ASSERT_TRUE(dialog.Create(owner.GetHWND(), L"dialog", WS_OVERLAPPEDWINDOW, 0));
  dialog.onNotify = [&](TestWindow& self, kxui::Notification& n) {
    EXPECT_FALSE(::IsWindowEnabled(owner.GetHWND()));
    if (n.type == L"click") self.Close(8);
  };
  dialog.GetPaintManager().UpdateLayout();
  const POINT centre = Centre(dialog.FindControl(L"btn"));
  ::PostMessageW(dialog.GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
  ::PostMessageW(dialog.GetHWND(), WM_LBUTTONUP, 0, MAKELPARAM(centre.x, centre.y));
  EXPECT_EQ(8u, dialog.ShowModal());
  EXPECT_FALSE(::IsWindow(dialog.GetHWND()));
  EXPECT_TRUE(::IsWindowEnabled(owner.GetHWND()));
  EXPECT_EQ(1, dialog.finalMessages);

  TestWindow closedBySystem(L"test.xml", L"kxui_test_dialog");
  ASSERT_TRUE(closedBySystem.Create(owner.GetHWND(), L"dialog", WS_OVERLAPPEDWINDOW, 0));
  ::PostMessageW(closedBySystem.GetHWND(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(0u, closedBySystem.ShowModal());
}

TEST_F(ToolkitWindow, HooksSeeTheirMessages) {
  EXPECT_TRUE(window.initRan);
  const UINT registered = ::RegisterWindowMessageW(L"kxui.test.message");
  ::SendMessageW(window.GetHWND(), WM_USER + 5, 0, 0);
  ::SendMessageW(window.GetHWND(), registered, 0, 0);
  EXPECT_EQ((std::vector<UINT>{WM_USER + 5, registered}), window.customMessages);
  ::SendMessageW(window.GetHWND(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_EQ(std::vector<WPARAM>{SC_RESTORE}, window.sysCommands);

  // The caption band drags the window, except over controls that take clicks.
  POINT caption = {200, 10}, below = {200, 120};
  for (POINT* p : {&caption, &below}) ::ClientToScreen(window.GetHWND(), p);
  EXPECT_EQ(HTCAPTION, ::SendMessageW(window.GetHWND(), WM_NCHITTEST, 0, MAKELPARAM(caption.x, caption.y)));
  EXPECT_EQ(HTCLIENT, ::SendMessageW(window.GetHWND(), WM_NCHITTEST, 0, MAKELPARAM(below.x, below.y)));
  EXPECT_GE(window.hitTests, 2);
  EXPECT_EQ(0, ::GetWindowLongW(window.GetHWND(), GWL_STYLE) & WS_CAPTION);

  ::DestroyWindow(window.GetHWND());
  EXPECT_EQ(1, window.finalMessages);
}

TEST_F(ToolkitWindow, PlacementShowAndResize) {
  RECT client = {};
  ::GetClientRect(window.GetHWND(), &client);
  EXPECT_EQ(300, client.right);
  EXPECT_EQ(200, client.bottom);
  window.ResizeClient(260, 150);
  ::GetClientRect(window.GetHWND(), &client);
  EXPECT_EQ(260, client.right);
  EXPECT_EQ(150, client.bottom);

  TestWindow child(L"test.xml", L"kxui_test_child");
  ASSERT_TRUE(child.Create(window.GetHWND(), L"child", WS_OVERLAPPEDWINDOW, 0));
  ::SetWindowPos(window.GetHWND(), nullptr, 200, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  child.CenterWindow();
  RECT owner = {}, centred = {};
  ::GetWindowRect(window.GetHWND(), &owner);
  ::GetWindowRect(child.GetHWND(), &centred);
  EXPECT_EQ((owner.left + owner.right) / 2, (centred.left + centred.right) / 2);
  EXPECT_EQ((owner.top + owner.bottom) / 2, (centred.top + centred.bottom) / 2);

  ::SetActiveWindow(window.GetHWND());
  child.ShowWindow(true, false);
  EXPECT_TRUE(::IsWindowVisible(child.GetHWND()));
  EXPECT_EQ(window.GetHWND(), ::GetActiveWindow());
  child.ShowWindow(false);
  EXPECT_FALSE(::IsWindowVisible(child.GetHWND()));
}

TEST_F(ToolkitWindow, ToolTipShowsOnHover) {
  kxui::Control* button = Find(L"btn");
  button->SetToolTip(L"Pick a folder");
  MouseAt(window.GetHWND(), WM_MOUSEMOVE, Centre(button));
  ::SendMessageW(window.GetHWND(), WM_MOUSEHOVER, 0, MAKELPARAM(Centre(button).x, Centre(button).y));
  HWND tip = window.GetPaintManager().GetToolTipWindow();
  ASSERT_NE(nullptr, tip);
  wchar_t text[64] = {};
  TOOLINFOW info = {};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.hwnd = window.GetHWND();
  info.uId = 1;
  info.lpszText = text;
  ::SendMessageW(tip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&info));
  EXPECT_STREQ(L"Pick a folder", text);
}

TEST(ToolkitArchive, SecondWindowReadsTheSameArchiveWithoutTheDisk) {
  // A layout of the same name on disk, where file mode would read it.
  const std::wstring decoy = kxui::SkinResources::Folder() + L"test.xml";
  {
    std::ofstream file(decoy.c_str());
    file << "<Window size=\"111,111\"><Label name=\"decoy\"/></Window>";
  }
  UseArchive(TestArchive());
  TestWindow first(L"test.xml"), second(L"test.xml");
  ASSERT_TRUE(first.CreateShown());
  ASSERT_TRUE(second.CreateShown());
  for (TestWindow* window : {&first, &second}) {
    RECT client = {};
    ::GetClientRect(window->GetHWND(), &client);
    EXPECT_EQ(300, client.right);
    EXPECT_NE(nullptr, window->FindControl(L"btn"));
    EXPECT_EQ(nullptr, window->FindControl(L"decoy"));
  }
  // The decoy is a good layout: file mode does read it.
  kxui::SkinResources::SetMode(kxui::ResourceMode::kFiles);
  TestWindow fromDisk(L"test.xml");
  ASSERT_TRUE(fromDisk.CreateShown());
  EXPECT_NE(nullptr, fromDisk.FindControl(L"decoy"));
  ::DeleteFileW(decoy.c_str());
}

std::string ToolkitLogText() {
  std::ifstream file(kxui::ToolkitLog().LogPath().c_str());
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Faulty layouts and pictures: a log line and a default, never a crash.
TEST(ToolkitArchive, BadInputIsLoggedAndSkipped) {
  struct Case {
    const char* what;
    std::string layout;
    const char* logged;
    const wchar_t* builtName;  // a control that must still be there
  };
  const std::string head = "<Window size=\"120,80\"><VerticalLayout name=\"root\">";
  const std::string tail = "</VerticalLayout></Window>";
  const Case cases[] = {
      {"unknown tag", head + "<Sparkler name=\"s\"/><Label name=\"after\"/>" + tail, "unknown control kind [Sparkler]",
       L"after"},
      {"unknown attribute", head + "<Label name=\"a\" glitter=\"1\"/>" + tail, "unknown attribute [glitter]", L"a"},
      {"pos with too few numbers", head + "<Label name=\"p\" float=\"true\" pos=\"5\"/>" + tail,
       "pos [5] of control [p] needs two or four numbers", L"p"},
      {"colour without #", head + "<Label name=\"c\" bkcolor=\"ff0000\"/>" + tail, "bad colour [ff0000]", L"c"},
      {"image that is not a PNG", head + "<Label name=\"i\" bkimage=\"fake.png\"/>" + tail,
       "image [fake.png] is not a PNG", L"i"},
      {"missing image", head + "<Label name=\"m\" bkimage=\"nowhere.png\"/>" + tail, "nowhere.png not found", L"m"},
      {"broken XML", head + "<Label name=\"b\" text=\"unclosed/>" + tail, "layout bad.xml:", nullptr},
      {"not a layout", "plain words", "layout bad.xml:", nullptr},
  };
  for (const Case& c : cases) {
    UseArchive(ZipBuilder().Add("bad.xml", c.layout).Add("fake.png", "GIF89a not really").Build());
    const size_t before = ToolkitLogText().size();
    TestWindow window(L"bad.xml", L"kxui_test_bad");
    ASSERT_TRUE(window.CreateShown()) << c.what;
    window.GetPaintManager().Render();
    EXPECT_NE(std::string::npos, ToolkitLogText().find(c.logged, before)) << c.what;
    if (c.builtName) {
      EXPECT_NE(nullptr, window.FindControl(c.builtName)) << c.what;
    }
  }
  // The colour kept its default (none): nothing red was drawn.
  UseArchive(ZipBuilder().Add("bad.xml", head + "<Label name=\"c\" bkcolor=\"ff0000\"/>" + tail).Build());
  TestWindow window(L"bad.xml", L"kxui_test_bad");
  ASSERT_TRUE(window.CreateShown());
  window.GetPaintManager().Render();
  EXPECT_EQ(0xFFFFFFu, Rgb(window.GetPaintManager().PixelAt(60, 40)));
}

TEST(ToolkitArchive, LayoutMissingFromTheArchiveGivesAnEmptyWindow) {
  UseArchive(ZipBuilder().Add("other.xml", "<Window/>").Build());
  TestWindow window(L"absent.xml", L"kxui_test_absent");
  ASSERT_TRUE(window.CreateShown());
  EXPECT_EQ(nullptr, window.FindControl(L"root"));
  EXPECT_NE(std::string::npos, ToolkitLogText().find("layout absent.xml cannot be read"));
  kxui::SkinResources::SetZip(nullptr, 0);
  TestWindow noArchive(L"test.xml", L"kxui_test_absent");
  ASSERT_TRUE(noArchive.CreateShown());
  noArchive.GetPaintManager().Render();
}

}  // namespace

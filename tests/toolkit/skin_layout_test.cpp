// The embedded skin package: the four layouts as the windows load them.
#include <gtest/gtest.h>

#include "tests/toolkit/test_window.h"
#include "toolkit/web_browser.h"
#include "ui/skin_loader.h"

namespace {

class SkinPackage : public ::testing::Test {
 protected:
  void SetUp() override { LoadSkinPackage(::GetModuleHandleW(nullptr)); }
};

kxui::Control* BrowserFactory(const std::wstring& kind) {
  return kind == L"WebBrowserEx" ? new kxui::WebBrowser() : nullptr;
}

TEST_F(SkinPackage, MainWindowControlsHaveTheirGeometryAndInitialVisibility) {
  TestWindow window(L"skin.xml", L"QIV");
  window.factory = BrowserFactory;
  ASSERT_TRUE(window.CreateShown());
  RECT client = {};
  ::GetClientRect(window.GetHWND(), &client);
  EXPECT_EQ(600, client.right);
  EXPECT_EQ(400, client.bottom);
  window.GetPaintManager().UpdateLayout();
  struct Expected {
    const wchar_t* name;
    RECT pos;
    bool visible;
  };
  const Expected table[] = {
      {L"lab_bk0", {0, 0, 600, 440}, true},
      {L"lab_bk", {0, 0, 600, 400}, true},
      {L"lay_before", {0, 0, 600, 440}, true},
      {L"lay_download", {0, 0, 600, 400}, false},
      {L"lay_after", {0, 0, 600, 400}, false},
      {L"lay_license", {0, 0, 600, 536}, false},
      {L"lay_caption", {0, 0, 600, 30}, true},
      {L"btn_install", {204, 265, 396, 305}, true},
      {L"cbx_agree", {89, 330, 139, 346}, true},
      {L"btn_downIcon", {570, 375, 578, 383}, true},
      {L"btn_upIcon", {570, 375, 578, 383}, false},
      {L"lbl_language", {24, 408, 155, 428}, true},
      {L"cmb_language", {160, 400, 480, 432}, true},
      {L"lbl_folder_bk", {170, 400, 470, 432}, true},
      {L"btn_select_dir", {442, 404, 466, 428}, true},
      {L"edit_install_dir", {171, 401, 442, 430}, true},
      {L"cbx_ext_install", {186, 380, 466, 396}, false},
      {L"web_banner", {0, 0, 600, 338}, false},
      {L"progress_download", {58, 350, 542, 356}, true},
      {L"edit_package", {5, 325, 595, 349}, true},
      {L"web_license", {16, 401, 584, 533}, true},
      {L"btn_close", {568, 4, 592, 28}, true},
      {L"btn_minimal", {536, 4, 560, 28}, true},
  };
  for (const Expected& e : table) {
    kxui::Control* control = window.FindControl(e.name);
    ASSERT_NE(nullptr, control) << e.name;
    const RECT& pos = control->GetPos();
    EXPECT_TRUE(::EqualRect(&pos, &e.pos)) << e.name << " at " << pos.left << "," << pos.top << "," << pos.right
                                           << "," << pos.bottom;
    EXPECT_EQ(e.visible, control->IsVisible()) << e.name;
  }
  EXPECT_FALSE(window.FindControl(L"btn_send_report")->IsEnabled());
  // The failure page fills the window once shown.
  kxui::Control* failed = window.FindControl(L"lay_failed");
  ASSERT_NE(nullptr, failed);
  EXPECT_FALSE(failed->IsVisible());
  failed->SetVisible(true);
  window.GetPaintManager().UpdateLayout();
  const RECT whole = {0, 0, 600, 400};
  EXPECT_TRUE(::EqualRect(&failed->GetPos(), &whole));
  const RECT send = {425, 350, 565, 380};
  EXPECT_TRUE(::EqualRect(&window.FindControl(L"btn_send_report")->GetPos(), &send));
  // Names the program looks up although the layout lacks them.
  EXPECT_EQ(nullptr, window.FindControl(L"ExtLayout"));
  EXPECT_EQ(nullptr, window.FindControl(L"lbl_tail2"));
}

int InkInRows(kxui::PaintManager& manager, int top, int bottom) {
  int ink = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < manager.BufferSize().cx; ++x) ink += Rgb(manager.PixelAt(x, y)) != 0xFFFFFF;
  return ink;
}

TEST_F(SkinPackage, SettingsAreaShowsOnlyWhenTheWindowGrows) {
  TestWindow window(L"skin.xml", L"QIV");
  ASSERT_TRUE(window.CreateShown());
  kxui::PaintManager& manager = window.GetPaintManager();
  manager.Render();
  ASSERT_EQ(400, manager.BufferSize().cy);
  for (const wchar_t* name : {L"lbl_language", L"cmb_language", L"lbl_install_dir", L"lbl_folder_bk",
                              L"edit_install_dir", L"btn_select_dir"}) {
    EXPECT_GE(window.FindControl(name)->GetPos().top, 400) << name;
  }
  window.ResizeClient(600, 472);
  manager.Render();
  ASSERT_EQ(472, manager.BufferSize().cy);
  EXPECT_GT(InkInRows(manager, 400, 440), 500);  // frame, folder button and list
  // The folder button's picture: a warm yellow folder.
  const unsigned folder = manager.PixelAt(454, 420);
  EXPECT_GT((folder >> 16) & 0xFF, 200u);
  EXPECT_LT(folder & 0xFF, 120u);
}

TEST_F(SkinPackage, EveryLayoutBuildsItsWindow) {
  struct Case {
    const wchar_t* file;
    const wchar_t* className;
    SIZE size;
    std::vector<const wchar_t*> names;
    bool layered;
  };
  const Case cases[] = {
      {L"messagebox.xml", L"qiv_messagebox", {250, 250},
       {L"lay_main", L"lbl_title", L"btn_close", L"lab_icon", L"edit_content", L"btn_ok", L"btn_cancel"}, false},
      {L"privacybox.xml", L"qiv_privacybox", {248, 244},
       {L"lbl_title", L"lbl_content", L"box_btn_privacy", L"box_lbl_and", L"box_btn_eula", L"box_lbl_tail",
        L"btn_agree_install", L"btn_not_agree"},
       false},
      {L"mask.xml", L"qiv_mask", {600, 330}, {L"lay_main", L"btn_minimal", L"btn_close"}, true},
  };
  for (const Case& c : cases) {
    TestWindow window(c.file, c.className);
    ASSERT_TRUE(window.CreateShown()) << c.className;
    RECT client = {};
    ::GetClientRect(window.GetHWND(), &client);
    EXPECT_EQ(c.size.cx, client.right) << c.className;
    EXPECT_EQ(c.size.cy, client.bottom) << c.className;
    for (const wchar_t* name : c.names) EXPECT_NE(nullptr, window.FindControl(name)) << c.className << " " << name;
    EXPECT_EQ(c.layered, (::GetWindowLongW(window.GetHWND(), GWL_EXSTYLE) & WS_EX_LAYERED) != 0) << c.className;
    EXPECT_EQ(!c.layered, window.GetShadowWindow() != nullptr) << c.className;
  }
}

TEST_F(SkinPackage, MissingPackageBuildsEmptyWindows) {
  kxui::SkinResources::SetZip(nullptr, 0);
  LoadSkinPackage(::GetModuleHandleW(L"kernel32.dll"));  // a module without the package
  EXPECT_FALSE(kxui::SkinResources::HasZip());
  TestWindow window(L"skin.xml", L"QIV");
  ASSERT_TRUE(window.CreateShown());
  EXPECT_EQ(nullptr, window.FindControl(L"lay_main"));
  EXPECT_TRUE(window.initRan);
  window.GetPaintManager().Render();
}

}  // namespace

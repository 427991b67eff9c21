// Opens one window of the skin package with sample texts (Japanese, and
// markup where a control renders it), so that a screenshot can be taken:
//
//   skin_gallery.exe skin|messagebox|privacybox|mask READY_FILE DONE_FILE
//
// Once the window is drawn its screen rectangle (shadow included) is
// written to READY_FILE as "x y width height"; the program then waits
// until DONE_FILE exists (or a minute has passed) and ends.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdio>
#include <functional>
#include <string>

#include "toolkit/check_box.h"
#include "toolkit/combo.h"
#include "toolkit/edit.h"
#include "toolkit/progress.h"
#include "toolkit/window_base.h"
#include "ui/skin_loader.h"

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 100;
constexpr int kGiveUpTicks = 600;
constexpr int kShadowMargin = 8;

class GalleryWindow : public kxui::WindowBase {
 public:
  GalleryWindow(std::wstring className, std::wstring layout, std::function<void(GalleryWindow&)> init)
      : className_(std::move(className)), layout_(std::move(layout)), init_(std::move(init)) {}

  void SetText(const wchar_t* name, const std::wstring& text) {
    if (kxui::Control* control = FindControl(name)) control->SetText(text);
  }
  void SetVisible(const wchar_t* name, bool visible) {
    if (kxui::Control* control = FindControl(name)) control->SetVisible(visible);
  }
  void Place(const wchar_t* name, int x, int y, int width, int height) {
    if (kxui::Control* control = FindControl(name)) {
      control->SetFixedXY(POINT{x, y});
      control->SetFixedWidth(width);
      control->SetFixedHeight(height);
    }
  }

 protected:
  std::wstring GetWindowClassName() const override { return className_; }
  std::wstring GetSkinFile() override { return layout_; }
  void InitWindow() override {
    if (init_) init_(*this);
  }

 private:
  std::wstring className_;
  std::wstring layout_;
  std::function<void(GalleryWindow&)> init_;
};

// The start page with the settings area open, the privacy line centred by
// measured widths as the installer lays it out.
void InitMainWindow(GalleryWindow& window) {
  window.SetText(L"btn_install", L"今すぐインストール");
  window.SetText(L"btn_settings", L"設定");
  window.SetText(L"lbl_install_dir", L"保存先");
  window.SetText(L"edit_install_dir", L"C:\\Program Files\\Vantrel");
  window.SetText(L"cbx_agree", L"");
  window.SetVisible(L"btn_downIcon", false);
  window.SetVisible(L"btn_upIcon", true);
  window.SetVisible(L"lbl_language", false);
  window.SetVisible(L"cmb_language", false);
  if (auto* combo = static_cast<kxui::Combo*>(window.FindControl(L"cmb_language")->GetInterface(L"Combo"))) {
    for (const wchar_t* name : {L"日本語", L"English", L"简体中文"}) combo->AddItem(name, 32);
    combo->SelectItem(0);
  }
  // The agreement line: the first words carry markup.
  kxui::Control* agree = window.FindControl(L"lbl_agree");
  agree->SetAttribute(L"showhtml", L"true");
  const std::wstring agreeText = L"{f 4}{c #7a7b7f}以下に{/c}{c #1398f0}同意{/c}{c #7a7b7f}します：{/c}{/f}";
  agree->SetText(agreeText);
  window.SetText(L"btn_privacy", L"プライバシーポリシー");
  window.SetText(L"lbl_and", L"と");
  window.SetText(L"btn_eula", L"利用規約");
  for (const wchar_t* name : {L"btn_privacy", L"lbl_and", L"btn_eula"})
    window.FindControl(name)->SetAttribute(L"textcolor", L"#7a7b7f");
  const int a = window.MeasureText(L"以下に同意します：", 4).cx;
  const SIZE p = window.MeasureText(L"プライバシーポリシー", 9);
  const SIZE n = window.MeasureText(L"と", 4);
  const SIZE e = window.MeasureText(L"利用規約", 9);
  const int total = a + p.cx + n.cx + e.cx + 36;
  int x = (600 - total) / 2;
  window.Place(L"cbx_agree", x, 334, 16, 16);
  window.Place(L"lbl_agree", x + 21, 330, a + 2, 22);
  x += 21 + a + 5;
  window.Place(L"btn_privacy", x, 330, p.cx + 2, p.cy + 2);
  x += p.cx + 5;
  window.Place(L"lbl_and", x, 330, n.cx + 2, n.cy + 2);
  x += n.cx + 5;
  window.Place(L"btn_eula", x, 330, e.cx + 2, e.cy + 2);
  window.SetVisible(L"lbl_tail", false);
  window.ResizeClient(600, 440);
}

// The download page, as the caption overlay lies over it.
void InitDownloadPage(GalleryWindow& window) {
  window.SetVisible(L"lay_before", false);
  window.SetVisible(L"lay_caption", false);
  window.SetVisible(L"lay_download", true);
  window.SetText(L"lbl_progress_tip", L"残り時間：約 3 分");
  window.SetText(L"lbl_progress_value", L"42%");
  window.SetText(L"lbl_wait_for_time_tip", L"");
  if (auto* progress =
          static_cast<kxui::Progress*>(window.FindControl(L"progress_download")->GetInterface(L"Progress")))
    progress->SetValue(42);
}

void InitMessageBox(GalleryWindow& window) {
  window.SetText(L"lbl_title", L"警告");
  const std::wstring content = L"ディスクの空き容量が不足しています。不要なファイルを削除してから、もう一度お試しください。";
  window.SetText(L"edit_content", content);
  kxui::Control* edit = window.FindControl(L"edit_content");
  const int width = window.MeasureText(content, 1).cx;
  const int lines = width / 202 + 1 > 2 ? width / 202 + 1 : 2;
  edit->SetFixedHeight(lines * 26);
  int bottom = edit->GetFixedXY().y + lines * 26;
  for (const wchar_t* name : {L"btn_ok", L"btn_cancel"}) {
    kxui::Control* button = window.FindControl(name);
    const int gap = button->GetName() == L"btn_ok" ? 24 : 8;
    if (button->GetFixedXY().y < bottom + gap) button->SetFixedXY(POINT{button->GetFixedXY().x, bottom + gap});
    button->SetVisible(true);
    bottom = button->GetFixedXY().y + button->GetFixedHeight();
  }
  window.SetText(L"btn_ok", L"OK");
  window.SetText(L"btn_cancel", L"キャンセル");
  window.ResizeClient(250, bottom + 32 > 250 ? bottom + 32 : 250);
}

void InitPrivacyBox(GalleryWindow& window) {
  window.SetText(L"lbl_title", L"ご利用の前に");
  window.SetText(L"lbl_content", L"インストールを続けるには、次の内容に同意してください。");
  window.FindControl(L"lbl_content")->SetAttribute(L"textcolor", L"#3c3c3c");
  window.Place(L"lbl_title", 24, 36, 200, 20);
  window.Place(L"lbl_content", 24, 64, 200, 40);
  const SIZE p = window.MeasureText(L"プライバシー", 5);
  const SIZE n = window.MeasureText(L"と", 3);
  const SIZE e = window.MeasureText(L"利用規約", 5);
  const int x = (190 - p.cx - n.cx - e.cx) / 2 + 24;
  window.SetText(L"box_btn_privacy", L"プライバシー");
  window.SetText(L"box_lbl_and", L"と");
  window.SetText(L"box_btn_eula", L"利用規約");
  window.Place(L"box_btn_privacy", x, 110, p.cx + 2, 20);
  window.Place(L"box_lbl_and", x + p.cx + 5, 110, n.cx + 2, 20);
  window.Place(L"box_btn_eula", x + p.cx + 5 + n.cx + 5, 110, e.cx + 2, 20);
  window.SetVisible(L"box_lbl_tail", false);
  window.SetText(L"btn_agree_install", L"同意してインストール");
  window.SetText(L"btn_not_agree", L"同意しない");
  for (const wchar_t* name : {L"btn_agree_install", L"btn_not_agree"})
    window.FindControl(name)->SetFont(3);
  window.Place(L"btn_agree_install", 24, 150, 200, 32);
  window.Place(L"btn_not_agree", 24, 190, 200, 32);
}

void InitMask(GalleryWindow& window) {
  if (kxui::Control* minimal = window.FindControl(L"btn_minimal")) minimal->SetFixedXY(POINT{568, 4});
  window.SetVisible(L"btn_close", false);
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteReady(const std::wstring& path, const RECT& rect) {
  FILE* file = _wfopen(path.c_str(), L"w");
  if (!file) return;
  std::fprintf(file, "%ld %ld %ld %ld\n", rect.left - kShadowMargin, rect.top - kShadowMargin,
               rect.right - rect.left + 2 * kShadowMargin, rect.bottom - rect.top + 2 * kShadowMargin);
  std::fclose(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv || argc < 4) return 2;
  const std::wstring kind = argv[1];
  const std::wstring readyFile = argv[2];
  const std::wstring doneFile = argv[3];
  ::OleInitialize(nullptr);
  LoadSkinPackage(instance);

  const DWORD style = WS_OVERLAPPEDWINDOW;
  GalleryWindow main(L"QIV", L"skin.xml", kind == L"mask" ? InitDownloadPage : InitMainWindow);
  GalleryWindow box(kind == L"messagebox" ? L"qiv_messagebox" : L"qiv_privacybox",
                    kind == L"messagebox" ? L"messagebox.xml" : L"privacybox.xml",
                    kind == L"messagebox" ? InitMessageBox : InitPrivacyBox);
  GalleryWindow mask(L"qiv_mask", L"mask.xml", InitMask);
  kxui::WindowBase* shot = &main;
  if (kind == L"skin" || kind == L"mask") {
    main.Create(nullptr, L"Vantrel", style, 0, 40, 40, 500, 400);
    ::SetWindowPos(main.GetHWND(), nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    main.ShowWindow(true, true);
    if (kind == L"mask") {
      mask.Create(main.GetHWND(), L"qiv_mask", style, 0, 40, 40, 640, 300);
      ::SetWindowPos(mask.GetHWND(), nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      mask.ShowWindow(true, true);
    }
  } else if (kind == L"messagebox" || kind == L"privacybox") {
    box.Create(nullptr, kind, style, 0);
    ::SetWindowPos(box.GetHWND(), nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    box.ShowWindow(true, true);
    shot = &box;
  } else {
    return 2;
  }
  ::UpdateWindow(shot->GetHWND());
  RECT rect = {};
  ::GetWindowRect(shot->GetHWND(), &rect);

  // The screenshot is taken once the first paint has gone out and the
  // queue is empty; then the program waits for the taker to finish.
  int ticks = 0;
  bool ready = false;
  ::SetTimer(nullptr, kPollTimer, kPollMs, nullptr);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) {
      if (!ready) {
        WriteReady(readyFile, rect);
        ready = true;
      }
      if (FileExists(doneFile) || ++ticks > kGiveUpTicks) break;
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::LocalFree(argv);
  return 0;
}

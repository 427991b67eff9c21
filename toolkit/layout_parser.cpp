#include "toolkit/layout_parser.h"

#include "foundation/text_convert.h"
#include "toolkit/button.h"
#include "toolkit/check_box.h"
#include "toolkit/combo.h"
#include "toolkit/container.h"
#include "toolkit/edit.h"
#include "toolkit/label.h"
#include "toolkit/layout_xml.h"
#include "toolkit/paint_manager.h"
#include "toolkit/progress.h"
#include "toolkit/toolkit_log.h"
#include "toolkit/web_browser.h"

namespace kxui {
namespace {

void ApplyWindowAttribute(const std::wstring& key, const std::wstring& value, WindowLayout* window) {
  if (key == L"size") {
    ParseSize(value, &window->size);
  } else if (key == L"caption") {
    ParseRect(value, &window->caption);
  } else if (key == L"bkcolor") {
    ParseColor(value, &window->bkColor);
  } else if (key == L"bktrans") {
    window->bkTrans = ParseBool(value);
  } else if (key == L"showshadow") {
    window->shadow.show = ParseBool(value);
  } else if (key == L"shadowcolor") {
    ParseColor(value, &window->shadow.color);
  } else if (key == L"shadowdarkness") {
    window->shadow.darkness = ParseInt(value, window->shadow.darkness);
  } else if (key == L"shadowposition") {
    SIZE offset = {window->shadow.position.x, window->shadow.position.y};
    if (ParseSize(value, &offset)) window->shadow.position = POINT{offset.cx, offset.cy};
  } else if (key == L"shadowsize") {
    window->shadow.size = ParseInt(value, window->shadow.size);
  } else if (key == L"shadowcorner") {
    ParseRect(value, &window->shadow.corner);
  } else if (key == L"layered") {
    window->layered = ParseBool(value);
  } else if (key == L"layeredimage") {
    window->layeredImage = value;
  } else if (key == L"opacity") {
    const int opacity = ParseInt(value, window->opacity);
    window->opacity = static_cast<BYTE>(opacity < 0 ? 0 : opacity > 255 ? 255 : opacity);
  } else {
    KXUI_WARN("unknown attribute [%s] on Window", WideToAnsi(key).c_str());
  }
}

void AddFont(const LayoutElement& element, PaintManager& manager) {
  FontSpec spec;
  int id = -1;
  bool isDefault = false;
  for (const auto& attribute : element.attributes) {
    const std::wstring& key = attribute.first;
    const std::wstring& value = attribute.second;
    if (key == L"id") id = ParseInt(value, -1);
    else if (key == L"name" || key == L"face") spec.face = value;
    else if (key == L"size") spec.size = ParseInt(value, spec.size);
    else if (key == L"bold") spec.bold = ParseBool(value);
    else if (key == L"italic") spec.italic = ParseBool(value);
    else if (key == L"underline") spec.underline = ParseBool(value);
    else if (key == L"default") isDefault = ParseBool(value);
    else KXUI_WARN("unknown attribute [%s] on Font", WideToAnsi(key).c_str());
  }
  if (id < 0 || spec.face.empty()) {
    KXUI_WARN("Font without id or face skipped");
    return;
  }
  manager.AddFont(id, spec, isDefault);
}

std::unique_ptr<Control> BuildControl(const LayoutElement& element, const ControlFactory& factory) {
  std::unique_ptr<Control> control = CreateBuiltInControl(element.name);
  if (!control && factory) control.reset(factory(element.name));
  if (!control) {
    KXUI_WARN("unknown control kind [%s] skipped", WideToAnsi(element.name).c_str());
    return nullptr;
  }
  for (const auto& attribute : element.attributes) control->SetAttribute(attribute.first, attribute.second);
  auto* container = static_cast<Container*>(control->GetInterface(L"Container"));
  for (const auto& child : element.children) {
    if (!container) {
      KXUI_WARN("%s [%s] holds no controls; its child %s is skipped", WideToAnsi(element.name).c_str(),
                WideToAnsi(control->GetName()).c_str(), WideToAnsi(child->name).c_str());
      continue;
    }
    if (std::unique_ptr<Control> built = BuildControl(*child, factory)) container->Add(std::move(built));
  }
  return control;
}

}  // namespace

std::unique_ptr<Control> CreateBuiltInControl(const std::wstring& kind) {
  if (kind == L"Control") return std::make_unique<Control>();
  if (kind == L"Container") return std::make_unique<Container>();
  if (kind == L"VerticalLayout") return std::make_unique<VerticalLayout>();
  if (kind == L"HorizontalLayout") return std::make_unique<HorizontalLayout>();
  if (kind == L"Label") return std::make_unique<Label>();
  if (kind == L"Button") return std::make_unique<Button>();
  if (kind == L"CheckBox") return std::make_unique<CheckBox>();
  if (kind == L"Combo") return std::make_unique<Combo>();
  if (kind == L"Edit") return std::make_unique<Edit>();
  if (kind == L"RichEdit") return std::make_unique<RichEdit>();
  if (kind == L"Progress") return std::make_unique<Progress>();
  if (kind == L"WebBrowser") return std::make_unique<WebBrowser>();
  return nullptr;
}

std::unique_ptr<Control> BuildLayout(const std::wstring& text, const std::wstring& fileName, PaintManager& manager,
                                     const ControlFactory& factory, WindowLayout* window) {
  std::wstring fault;
  std::unique_ptr<LayoutElement> top = ReadLayoutXml(text, &fault);
  const std::string file = WideToAnsi(fileName);
  if (!fault.empty()) KXUI_ERROR("layout %s: %s", file.c_str(), WideToAnsi(fault).c_str());
  if (!top) return nullptr;
  if (top->name != L"Window") {
    KXUI_ERROR("layout %s: top element is %s, not Window", file.c_str(), WideToAnsi(top->name).c_str());
    return nullptr;
  }
  for (const auto& attribute : top->attributes) ApplyWindowAttribute(attribute.first, attribute.second, window);
  std::unique_ptr<Control> root;
  for (const auto& child : top->children) {
    if (child->name == L"Font") {
      AddFont(*child, manager);
    } else if (!root) {
      root = BuildControl(*child, factory);
    } else {
      KXUI_WARN("layout %s: second control tree %s skipped", file.c_str(), WideToAnsi(child->name).c_str());
    }
  }
  if (!root) KXUI_ERROR("layout %s: no control", file.c_str());
  return root;
}

}  // namespace kxui

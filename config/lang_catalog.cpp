#include "config/lang_catalog.h"

#include <cwctype>

#include "foundation/logger.h"
#include "foundation/xml_document.h"

namespace {

const wchar_t kMakerBrand[] = L"Pellavorine";

const wchar_t kEnglish[] = L"English";
const wchar_t kGerman[] = L"Deutsch";
const wchar_t kFrench[] = L"Fran\u00E7ais";
const wchar_t kItalian[] = L"Italiano";
const wchar_t kPortuguese[] = L"Portugu\u00EAs";
const wchar_t kSpanish[] = L"Espa\u00F1ol";
const wchar_t kDutch[] = L"Dutch";
// Begins with a Latin capital P, as the product files write it; it is
// matched as written.
const wchar_t kRussian[] = L"P\u0443\u0441\u0441\u043A\u0438\u0439";
const wchar_t kJapanese[] = L"\u65E5\u672C\u8A9E";
const wchar_t kTraditionalChinese[] = L"\u4E2D\u6587\u7E41\u9AD4";
const wchar_t kSimplifiedChinese[] = L"\u4E2D\u6587\u7B80\u4F53";
const wchar_t kArabic[] = L"\u0627\u0644\u0639\u0631\u0628\u064A\u0629";
const wchar_t kKorean[] = L"\uD55C\uAD6D\uC5B4";
const wchar_t kIndonesian[] = L"Bahasa Indonesia";
const wchar_t kSwedish[] = L"Svenska";
const wchar_t kTelugu[] = L"\u0C24\u0C46\u0C32\u0C41\u0C17\u0C41";
const wchar_t kTamil[] = L"\u0BA4\u0BAE\u0BBF\u0BB4\u0BCD";
const wchar_t kHindi[] = L"\u0939\u093F\u0928\u094D\u0926\u0940";
const wchar_t kBengali[] = L"\u09AC\u09BE\u0982\u09B2\u09BE";
const wchar_t kMarathi[] = L"\u092E\u0930\u093E\u0920\u0940";
const wchar_t kThai[] = L"\u0E44\u0E17\u0E22";

const std::pair<const wchar_t*, const wchar_t*> kLanguageTable[] = {
    {kEnglish, L"ENG"},
    {kGerman, L"DEU"},
    {kFrench, L"FRA"},
    {kItalian, L"ITA"},
    {kPortuguese, L"PTG"},
    {kSpanish, L"ESP"},
    {kDutch, L"NLD"},
    {kRussian, L"RUS"},
    {kJapanese, L"JPN"},
    {kTraditionalChinese, L"CHA"},
    {kSimplifiedChinese, L"CHS"},
    {kArabic, L"ARA"},
    {kKorean, L"KOR"},
    {kIndonesian, L"INA"},
    {kSwedish, L"SWE"},
    {kTelugu, L"INDTE"},
    {kTamil, L"INDTA"},
    {kHindi, L"INDHI"},
    {kBengali, L"INDBN"},
    {kMarathi, L"INDMR"},
    {kThai, L"THA"},
};

struct LocaleEntry {
  LCID locale;
  const wchar_t* language;
};

// English has no entry: it is what no match leaves. The groups are searched
// in this order, each as listed.
const LocaleEntry kLocaleTable[] = {
    {0x080C, kFrench},
    {0x0C0C, kFrench},
    {0x040C, kFrench},
    {0x140C, kFrench},
    {0x180C, kFrench},
    {0x100C, kFrench},
    {0x0C07, kGerman},
    {0x0407, kGerman},
    {0x1407, kGerman},
    {0x1007, kGerman},
    {0x0807, kGerman},
    {0x0411, kJapanese},
    {0x0416, kPortuguese},
    {0x0816, kPortuguese},
    {0x2C0A, kSpanish},
    {0x400A, kSpanish},
    {0x340A, kSpanish},
    {0x240A, kSpanish},
    {0x140A, kSpanish},
    {0x1C0A, kSpanish},
    {0x300A, kSpanish},
    {0x440A, kSpanish},
    {0x100A, kSpanish},
    {0x480A, kSpanish},
    {0x080A, kSpanish},
    {0x4C0A, kSpanish},
    {0x180A, kSpanish},
    {0x3C0A, kSpanish},
    {0x280A, kSpanish},
    {0x500A, kSpanish},
    {0x040A, kSpanish},
    {0x0C0A, kSpanish},
    {0x380A, kSpanish},
    {0x200A, kSpanish},
    {0x0410, kItalian},
    {0x0810, kItalian},
    {0x0404, kTraditionalChinese},
    {0x0C04, kTraditionalChinese},
    {0x0804, kSimplifiedChinese},
    {0x1004, kSimplifiedChinese},
    {0x0419, kRussian},
    {0x0819, kRussian},
    {0x0413, kDutch},
    {0x0813, kDutch},
    {0x0412, kKorean},
    {0x0421, kIndonesian},
    {0x001D, kSwedish},
    {0x041D, kSwedish},
    {0x081D, kSwedish},
    {0x3801, kArabic},
    {0x3C01, kArabic},
    {0x1401, kArabic},
    {0x0C01, kArabic},
    {0x0801, kArabic},
    {0x2C01, kArabic},
    {0x3401, kArabic},
    {0x3001, kArabic},
    {0x1001, kArabic},
    {0x1801, kArabic},
    {0x2001, kArabic},
    {0x4001, kArabic},
    {0x0401, kArabic},
    {0x2801, kArabic},
    {0x1C01, kArabic},
    {0x2401, kArabic},
    {0x004E, kMarathi},
    {0x044E, kMarathi},
    {0x004A, kTelugu},
    {0x044A, kTelugu},
    {0x0049, kTamil},
    {0x0449, kTamil},
    {0x0445, kBengali},
    {0x0039, kHindi},
    {0x0439, kHindi},
    {0x041E, kThai},
};
constexpr int kLocaleCount = sizeof kLocaleTable / sizeof kLocaleTable[0];
static_assert(kLocaleCount == 75, "one entry per locale of the supported languages");

std::wstring Lowered(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

void ReplaceAll(std::wstring* text, const std::wstring& from, const std::wstring& to) {
  for (size_t at = text->find(from); at != std::wstring::npos; at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

}  // namespace

LangCatalog::LangCatalog() {
  for (const auto& language : kLanguageTable) languages_.emplace_back(language.first, language.second);
  InitLangCode();
}

int LangCatalog::LocaleIndex(LCID locale) {
  for (int i = 0; i < kLocaleCount; ++i) {
    if (kLocaleTable[i].locale == locale) return i;
  }
  return -1;
}

std::wstring LangCatalog::LocaleLanguage(int index) {
  if (index < 0 || index >= kLocaleCount) return {};
  return kLocaleTable[index].language;
}

bool LangCatalog::InitLangCode() {
  LOG_INFO("InitLangCode SystemDefaultLCID: %d", static_cast<int>(::GetSystemDefaultLCID()));
  const LCID user = ::GetUserDefaultLCID();
  LOG_INFO("InitLangCode GetUserDefaultLCID: %d", static_cast<int>(user));
  const int index = LocaleIndex(user);
  LOG_INFO("InitLangCode set: %d", index);
  if (index < 0) return false;
  currentLang_ = LocaleLanguage(index);
  return true;
}

bool LangCatalog::loadLangXML(const std::wstring& brand, HMODULE module) {
  LOG_INFO("loadLangXML");
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(kLangFileResourceId), L"XML");
  if (!resource) return false;
  HGLOBAL loaded = ::LoadResource(module, resource);
  const DWORD size = ::SizeofResource(module, resource);
  const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (!bytes || size == 0) return false;
  const int count = CXmlDocument::Utf8ToUtf16(bytes, static_cast<int>(size), nullptr);
  std::wstring text(static_cast<size_t>(count) + 1, L'\0');
  CXmlDocument::Utf8ToUtf16(bytes, static_cast<int>(size), &text[0]);
  text.resize(count);
  return LoadLangText(text, brand);
}

bool LangCatalog::LoadLangText(const std::wstring& text, const std::wstring& brand) {
  CXmlDocument doc;
  if (!doc.SetText(text) || !doc.FindElement(L"Lang")) return false;
  // An empty brand names no maker: the maker's own name is the better text
  // than none in sentences such as the privacy line.
  const bool rebrand = !brand.empty() && Lowered(brand) != L"pellavorine";
  while (doc.FindChildElement(L"item")) {
    doc.EnterElement();
    const std::wstring key = doc.GetAttribute(L"name");
    std::wstring value = doc.GetElementData();
    doc.LeaveElement();
    if (rebrand) ReplaceAll(&value, kMakerBrand, brand);
    texts_[key] = value;
  }
  return true;
}

std::wstring LangCatalog::TextOrKey(const std::wstring& key) const {
  const auto found = texts_.find(key);
  return found == texts_.end() || found->second.empty() ? key : found->second;
}

std::wstring LangCatalog::TextOrEmpty(const std::wstring& key) const {
  const auto found = texts_.find(key);
  return found == texts_.end() ? std::wstring() : found->second;
}

std::wstring LangCatalog::LangCode(const std::wstring& name) const {
  for (const auto& language : languages_) {
    if (language.first == name) return language.second;
  }
  return L"ENG";
}

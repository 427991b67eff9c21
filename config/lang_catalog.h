// Everything language-related: the supported languages with the codes the
// packages take (/LANG=), the language chosen, and the interface texts of
// the embedded language file (resource "XML" 131).
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

constexpr int kLangFileResourceId = 131;

class LangCatalog {
 public:
  // Fills the language table and picks the initial language (InitLangCode).
  LangCatalog();

  // Selects the language of the user's default locale; false (and "English"
  // stays) when the locale is none of the table's.
  bool InitLangCode();

  // Loads the language file of module into the texts; with a brand other
  // than the maker's, every "Pellavorine" in them becomes the brand.
  bool loadLangXML(const std::wstring& brand, HMODULE module = nullptr);
  // The same for a language file already decoded to UTF-16.
  bool LoadLangText(const std::wstring& text, const std::wstring& brand);

  // The text of key, or the key itself when there is none or it is empty.
  std::wstring TextOrKey(const std::wstring& key) const;
  // The text of key, or an empty text.
  std::wstring TextOrEmpty(const std::wstring& key) const;
  size_t TextCount() const { return texts_.size(); }

  // The code of the first language whose native name is exactly name;
  // "ENG" for any other name.
  std::wstring LangCode(const std::wstring& name) const;

  const std::wstring& CurrentLang() const { return currentLang_; }
  void SetCurrentLang(const std::wstring& name) { currentLang_ = name; }

  // (native name, code) in the order the language list offers them.
  const std::vector<std::pair<std::wstring, std::wstring>>& Languages() const { return languages_; }

  // Index into the locale table of the first entry for the locale, -1 when
  // there is none; and the native name of an entry.
  static int LocaleIndex(LCID locale);
  static std::wstring LocaleLanguage(int index);

 private:
  std::wstring currentLang_ = L"English";
  std::map<std::wstring, std::wstring> texts_;
  std::vector<std::pair<std::wstring, std::wstring>> languages_;
};

// The language catalogue: the language picked for a locale, the codes the
// packages get, and the embedded Japanese texts with the brand put in.
#include "config/lang_catalog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "foundation/text_convert.h"
#include "tests/net/stand_in.h"

namespace {

const wchar_t kFrench[] = L"Fran\u00E7ais";
const wchar_t kRussianLatinP[] = L"P\u0443\u0441\u0441\u043A\u0438\u0439";

TEST(LangCatalogTest, ALocaleSelectsTheFirstLanguageListedForIt) {
  struct Case {
    LCID locale;
    int index;
    std::wstring language;
  };
  const Case cases[] = {
      {0x080C, 0, kFrench},
      {0x0C0C, 1, kFrench},
      {0x0C07, 6, L"Deutsch"},
      {0x0411, 11, L"\u65E5\u672C\u8A9E"},
      {0x2C0A, 14, L"Espa\u00F1ol"},
      {0x0419, 40, kRussianLatinP},
      {0x001D, 46, L"Svenska"},
      {0x041E, 74, L"\u0E44\u0E17\u0E22"},
      {0x0409, -1, L""},
      {0x0809, -1, L""},
      {0x0000, -1, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    EXPECT_EQ(LangCatalog::LocaleIndex(c.locale), c.index);
    EXPECT_EQ(LangCatalog::LocaleLanguage(c.index), c.language);
  }
}

TEST(LangCatalogTest, TheConstructorPicksTheUsersLanguageAndLogsTheSteps) {
  LogWatch log;
  LangCatalog catalog;
  const int index = LangCatalog::LocaleIndex(::GetUserDefaultLCID());
  EXPECT_EQ(catalog.CurrentLang(), index < 0 ? L"English" : LangCatalog::LocaleLanguage(index));
  EXPECT_EQ(log.Count(" - InitLangCode SystemDefaultLCID: " + std::to_string(::GetSystemDefaultLCID()) + "\n"), 1u);
  EXPECT_EQ(log.Count(" - InitLangCode GetUserDefaultLCID: " + std::to_string(::GetUserDefaultLCID()) + "\n"), 1u);
  EXPECT_EQ(log.Count(" - InitLangCode set: " + std::to_string(index) + "\n"), 1u) << log.NewText();
  ASSERT_EQ(catalog.Languages().size(), 21u);
  EXPECT_EQ(catalog.Languages().front().first, L"English");
  EXPECT_EQ(catalog.Languages().back().second, L"THA");
}

TEST(LangCatalogTest, CodesAreLookedUpByTheExactNativeName) {
  LangCatalog catalog;
  EXPECT_EQ(catalog.LangCode(kRussianLatinP), L"RUS");
  EXPECT_EQ(catalog.LangCode(L"\u0420\u0443\u0441\u0441\u043A\u0438\u0439"), L"ENG");  // Cyrillic Р
  EXPECT_EQ(catalog.LangCode(kFrench), L"FRA");
  EXPECT_EQ(catalog.LangCode(L"fran\u00E7ais"), L"ENG");
  EXPECT_EQ(catalog.LangCode(L"\u0939\u093F\u0928\u094D\u0926\u0940"), L"INDHI");
  EXPECT_EQ(catalog.LangCode(L"\u4E2D\u6587\u7E41\u9AD4"), L"CHA");
  EXPECT_EQ(catalog.LangCode(L"Klingon"), L"ENG");
  EXPECT_EQ(catalog.LangCode(L""), L"ENG");
}

TEST(LangCatalogTest, TheEmbeddedFileHoldsEveryKeyWithTheQuotedTexts) {
  LangCatalog catalog;
  LogWatch log;
  ASSERT_TRUE(catalog.loadLangXML(L"Pellavorine"));
  EXPECT_EQ(log.Count(" - loadLangXML\n"), 1u);
  EXPECT_EQ(catalog.TextCount(), 79u);
  const std::pair<const wchar_t*, const wchar_t*> quoted[] = {
      {L"TrayIconTip1", L"%s \u5F85\u6A5F\u4E2D..."},
      {L"TrayIconTip2",
       L"%s\u3092\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u3057\u3066\u3044\u307E\u3059\u3002%d%s\u304C\u5B8C\u4E86"
       L"\u3057\u307E\u3057\u305F\u3002"},
      {L"TrayIconTip3",
       L"%s \u304C\u30C0\u30A6\u30F3\u30ED\u30FC\u30C9\u3055\u308C\u307E\u3057\u305F\u3002\u4F53\u9A13\u3092\u958B"
       L"\u59CB\u3057\u307E\u3057\u3087\u3046\u3002"},
      {L"product_is_running_tip",
       L"%s \u306F\u73FE\u5728\u5B9F\u884C\u4E2D\u3067\u3059\u3002\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u306E\u524D"
       L"\u306B\u30BD\u30D5\u30C8\u30A6\u30A7\u30A2\u3092\u9589\u3058\u3066\u304F\u3060\u3055\u3044\u3002"},
      {L"new_download_time_tip",
       L"\u30C0\u30A6\u30F3\u30ED\u30FC\u30C9\u4E2D\uFF08\u6B8B\u308A%02d\u5206%02d\u79D2\uFF09"},
      {L"new_install_time_tip",
       L"\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u4E2D\uFF08\u6B8B\u308A%02d\u5206%02d\u79D2\uFF09"},
      {L"Btn_Privacy",
       L"{f 1}{u}{l}{c #7a7b7f}\u30D7\u30E9\u30A4\u30D0\u30B7\u30FC\u30DD\u30EA\u30B7\u30FC{/c}{/l}{/u}"
       L"{c #7a7b7f} \u3068{/c}{/f}"},
      {L"privacy_wnd_tip",
       L"\u304A\u5BA2\u69D8\u306E\u5229\u76CA\u3068\u6A29\u5229\u3092\u4FDD\u8B77\u3059\u308B\u305F\u3081\u3001"
       L"Pellavorine\u306E"},
      {L"main_privacy_tip", L"Pellavorine\u306E"},
  };
  for (const auto& row : quoted) EXPECT_EQ(catalog.TextOrKey(row.first), row.second) << WideToAnsi(row.first);
  for (const wchar_t* key : {L"confirm_stop_download?", L"main_privacy_tip_tail", L"errmsg_md5", L"ok"}) {
    EXPECT_FALSE(catalog.TextOrEmpty(key).empty()) << WideToAnsi(key);
  }
}

TEST(LangCatalogTest, AnotherBrandReplacesTheMakersNameEverywhere) {
  struct Case {
    std::wstring brand;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"Pellavorine", L"Pellavorine and Pellavorine, not pellavorine"},
      {L"PELLAVORINE", L"Pellavorine and Pellavorine, not pellavorine"},
      {L"", L"Pellavorine and Pellavorine, not pellavorine"},
      {L"Ostrava", L"Ostrava and Ostrava, not pellavorine"},
      {L"Pellavorine Labs", L"Pellavorine Labs and Pellavorine Labs, not pellavorine"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToAnsi(c.brand));
    LangCatalog catalog;
    ASSERT_TRUE(catalog.LoadLangText(
        L"<Lang><item name=\"k\">Pellavorine and Pellavorine, not pellavorine</item></Lang>", c.brand));
    EXPECT_EQ(catalog.TextOrKey(L"k"), c.expected);
  }
}

TEST(LangCatalogTest, LookupsFallBackToTheKeyOrNothing) {
  LangCatalog catalog;
  ASSERT_TRUE(catalog.LoadLangText(
      L"<Lang><item name=\"a\">first</item><item name=\"empty\"></item><item name=\"a\">second</item>"
      L"<item name=\"Case\">upper</item><other name=\"b\">x</other></Lang>",
      L"Pellavorine"));
  EXPECT_EQ(catalog.TextOrKey(L"a"), L"second");  // a later duplicate wins
  EXPECT_EQ(catalog.TextOrKey(L"empty"), L"empty");
  EXPECT_EQ(catalog.TextOrEmpty(L"empty"), L"");
  EXPECT_EQ(catalog.TextOrKey(L"missing"), L"missing");
  EXPECT_EQ(catalog.TextOrEmpty(L"missing"), L"");
  EXPECT_EQ(catalog.TextOrKey(L"case"), L"case");
  EXPECT_EQ(catalog.TextOrEmpty(L"b"), L"");
}

TEST(LangCatalogTest, AFileThatIsNotALanguageFileIsRefused) {
  for (const wchar_t* text : {L"", L"<Lang><item name=\"a\">x</Lang>", L"<Texts><item name=\"a\">x</item></Texts>"}) {
    LangCatalog catalog;
    EXPECT_FALSE(catalog.LoadLangText(text, L"Pellavorine")) << WideToAnsi(text);
  }
}

}  // namespace

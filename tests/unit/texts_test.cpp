#include "window/texts.h"
#include "window/start_request.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

// The conversions of a printf format in order: "%d, %5.1f%%" gives "df%".
std::string conversions(std::string_view format) {
    std::string out;
    for (std::size_t i = format.find('%'); i != std::string_view::npos; i = format.find('%', i + 1)) {
        i = format.find_first_not_of("-+ #0123456789.lhz", i + 1);
        if (i != std::string_view::npos) out += format[i];
    }
    return out;
}

// CJK ideographs and full-width punctuation (U+3000..U+9FFF, U+FF00..U+FFEF)
// are the three-byte UTF-8 sequences led by 0xE3..0xE9 or 0xEF.
bool hasCjk(std::string_view utf8) {
    for (unsigned char c : utf8) {
        if ((c >= 0xE3 && c <= 0xE9) || c == 0xEF) return true;
    }
    return false;
}

TEST(TextTable, EveryIdOnceWithTheSameConversionsInBothAndEnglishInEnglish) {
    EXPECT_EQ(conversions("%d, %5.1f%%"), "df%");
    std::set<TextId> seen;
    for (const TextEntry& entry : textTable()) {
        EXPECT_TRUE(entry.id != TextId::None && seen.insert(entry.id).second) << entry.english;
        EXPECT_TRUE(*entry.chinese != '\0' && *entry.english != '\0') << entry.english;
        EXPECT_EQ(conversions(entry.english), conversions(entry.chinese)) << entry.english;
        // The one English form in Chinese is the entry that switches to Chinese.
        EXPECT_EQ(hasCjk(entry.english), entry.id == TextId::OtherLanguageEntry) << entry.english;
    }
    EXPECT_EQ(seen.size(), std::size_t(TextId::AreaFailed)) << "an id without texts";
}

TEST(LanguageRule, ChineseForZhAndForNoLanguageEnglishForEveryOther) {
    const std::pair<const char*, Language> cases[] = {
        {"zh-CN", Language::Chinese}, {"zh_TW.UTF-8", Language::Chinese}, {"ZH", Language::Chinese},
        {"", Language::Chinese},      {"C", Language::Chinese},           {"C.UTF-8", Language::Chinese},
        {"POSIX", Language::Chinese}, {"en-US", Language::English},       {"de_DE@euro", Language::English},
        {"zu-ZA", Language::English}, {"ca-ES", Language::English},
    };
    for (const auto& [name, language] : cases) EXPECT_EQ(languageOf(name), language) << '"' << name << '"';
}

TEST(LanguageChoice, LangOverridesTheSystemAndABadValueIsRefused) {
    const std::tuple<std::vector<std::string>, std::optional<Language>, const char*> cases[] = {
        {{"-style", "fusion"}, Language::English, ""},
        {{"--lang", "zh"}, Language::Chinese, ""},
        {{"--lang=en", "--lang", "zh"}, Language::Chinese, ""},
        {{"--lang", "fr"}, std::nullopt, "--lang takes zh or en, not \"fr\""},
        {{"--lang="}, std::nullopt, "--lang takes zh or en, not \"\""},
        {{"--lang"}, std::nullopt, "--lang needs a value: zh or en"},
    };
    for (const auto& [args, chosen, complaint] : cases) {
        std::string said;
        EXPECT_EQ(chooseLanguage(args, Language::English, said), chosen) << testing::PrintToString(args);
        EXPECT_EQ(said, complaint) << testing::PrintToString(args);
    }
}

// Ventora-demo's command line, before Qt took its own options (lenient) and after (strict).
TEST(StartRequest, UsageVersionOrRefusalBeforeAnyWindow) {
    using Action = StartRequest::Action;
    const std::tuple<std::vector<std::string>, bool, Action, const char*> cases[] = {
        {{"--lang", "en", "--echo"}, true, Action::Open, ""},
        {{"--help"}, false, Action::Usage, "Usage: Ventora-demo [--lang zh|en] [--echo]\n"},
        {{"--lang=zh", "--version"}, true, Action::Version, "Ventora-demo 1."},
        {{"--lang", "fr", "--help"}, false, Action::Refuse, "--lang takes zh or en"},
        {{"-style", "fusion"}, false, Action::Open, ""},
        {{"--bogus"}, true, Action::Refuse, "unknown option \"--bogus\"; see Ventora-demo --help"},
        {{"COM3"}, true, Action::Refuse, "unexpected argument \"COM3\""},
    };
    for (const auto& [args, strict, action, text] : cases) {
        const StartRequest request = readStartRequest("Ventora-demo", args, Language::Chinese, {"--echo"}, !strict);
        EXPECT_EQ(request.action, action) << testing::PrintToString(args);
        EXPECT_EQ(request.text.find(text), 0u) << request.text;
        EXPECT_EQ(request.exitStatus(), action == Action::Open ? -1 : action == Action::Refuse ? 2 : 0);
    }
}

} // namespace

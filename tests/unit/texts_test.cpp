#include "window/texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// The conversions of a printf format in order: "%d, %s" gives "ds".
std::string conversions(const char* format) {
    std::string out;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') continue;
        ++p;
        while (*p != '\0' && std::string_view("-+ #0123456789.lhz").find(*p) != std::string_view::npos) ++p;
        if (*p == '\0') break;
        out += *p;
    }
    return out;
}

bool hasCjk(std::string_view utf8) {
    // Every CJK ideograph and full-width punctuation mark is a three-byte
    // sequence led by 0xE3..0xE9 or 0xEF (U+3000..U+9FFF, U+FF00..U+FFEF).
    for (unsigned char c : utf8) {
        if ((c >= 0xE3 && c <= 0xE9) || c == 0xEF) return true;
    }
    return false;
}

TEST(TextTable, EveryIdOnceWithBothFormsAndTheSameConversions) {
    std::set<TextId> seen;
    for (const TextEntry& entry : textTable()) {
        SCOPED_TRACE(entry.chinese);
        EXPECT_TRUE(seen.insert(entry.id).second) << "twice";
        EXPECT_NE(entry.id, TextId::None);
        EXPECT_NE(*entry.chinese, '\0');
        EXPECT_NE(*entry.english, '\0');
        EXPECT_EQ(conversions(entry.english), conversions(entry.chinese)) << entry.english;
        // The one English form in Chinese is the entry that switches to Chinese.
        EXPECT_EQ(hasCjk(entry.english), entry.id == TextId::OtherLanguageEntry) << entry.english;
    }
    EXPECT_EQ(seen.size(), std::size_t(TextId::AreaFailed));
    EXPECT_STREQ(uiText(TextId::None, Language::English), "");
    EXPECT_STREQ(uiText(TextId::ModbusDetected, Language::Chinese), "土壤水分变送器\r\n地址：%d  波特率：%d\r\n%s");
    EXPECT_EQ(conversions("%d%%x %-3s %5.1f"), "d%sf");
}

TEST(LanguageRule, ChineseForZhAndForNoLanguageEnglishForEveryOther) {
    const std::pair<const char*, Language> cases[] = {
        {"zh-CN", Language::Chinese},       {"zh-TW", Language::Chinese},      {"zh", Language::Chinese},
        {"zh_CN.UTF-8", Language::Chinese}, {"ZH-hans-CN", Language::Chinese}, {"", Language::Chinese},
        {"C", Language::Chinese},           {"C.UTF-8", Language::Chinese},    {"c.utf8", Language::Chinese},
        {"POSIX", Language::Chinese},       {"en-US", Language::English},      {"en", Language::English},
        {"de_DE@euro", Language::English},  {"ja-JP", Language::English},      {"zu-ZA", Language::English},
        {"ca-ES", Language::English},
    };
    for (const auto& [name, language] : cases) EXPECT_EQ(languageOf(name), language) << '"' << name << '"';
}

struct ChoiceCase {
    std::vector<std::string> args;
    Language system;
    std::optional<Language> chosen;
    const char* complaint;
};

TEST(LanguageChoice, LangOverridesTheSystemAndABadValueIsRefused) {
    const ChoiceCase cases[] = {
        {{}, Language::English, Language::English, ""},
        {{"-style", "fusion"}, Language::Chinese, Language::Chinese, ""},
        {{"--lang", "en"}, Language::Chinese, Language::English, ""},
        {{"--lang=zh"}, Language::English, Language::Chinese, ""},
        {{"--lang", "en", "--lang", "zh"}, Language::Chinese, Language::Chinese, ""},
        {{"--lang", "fr"}, Language::Chinese, std::nullopt, "--lang takes zh or en, not \"fr\""},
        {{"--lang=EN"}, Language::Chinese, std::nullopt, "--lang takes zh or en, not \"EN\""},
        {{"--lang="}, Language::Chinese, std::nullopt, "--lang takes zh or en, not \"\""},
        {{"--lang"}, Language::Chinese, std::nullopt, "--lang needs a value: zh or en"},
    };
    for (const ChoiceCase& c : cases) {
        std::string complaint;
        EXPECT_EQ(chooseLanguage(c.args, c.system, complaint), c.chosen) << testing::PrintToString(c.args);
        EXPECT_EQ(complaint, c.complaint) << testing::PrintToString(c.args);
    }
}

} // namespace

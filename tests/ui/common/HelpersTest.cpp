#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/UserDefaults.h"
#include "support/ConsoleCapture.h"
#include "support/HostileInputs.h"
#include "ui/common/Currency.h"
#include "ui/common/RecordText.h"
#include "ui/common/StringUtil.h"
#include "ui/common/Utility.h"

using vantory::Currency;
using vantory::StringUtil;
using vantory::Utility;

namespace {

TEST(Utility, ConvertToDictionaryAcceptsOnlyObjectsAndPrintsParseErrors) {
  testsupport::ConsoleCapture console;
  EXPECT_FALSE(Utility::convertToDictionary(R"(["a","b"])"));
  EXPECT_EQ(console.text(), "") << "a valid non-object is refused silently";

  EXPECT_FALSE(Utility::convertToDictionary("{"));
  EXPECT_NE(console.text().find("parse error"), std::string::npos) << console.text();

  // Text that cannot be held is refused the same way, never thrown.
  for (const auto& [name, reply] : testsupport::HostileInputs::unusableReplies("Items")) {
    EXPECT_FALSE(Utility::convertToDictionary(reply.body)) << name;
  }
  EXPECT_NE(console.text().find("number overflow"), std::string::npos);
  EXPECT_NE(console.text().find("nesting deeper than 512"), std::string::npos);
  const std::string deepest = "{\"a\":" + std::string(511, '[') + std::string(511, ']') + "}";
  EXPECT_TRUE(Utility::convertToDictionary(deepest)) << "512 levels are still fine";
  EXPECT_FALSE(Utility::convertToDictionary("{\"a\":[" + deepest + "]}"));

  const auto record = Utility::convertToDictionary(R"({"id":"7","name":"Deli"})");
  ASSERT_TRUE(record);
  EXPECT_EQ((*record)["id"], "7");
}

TEST(RecordText, DescribesAValueAsCompactJsonTheWayNlohmannWritesIt) {
  const nlohmann::json value = nlohmann::json::parse(
      R"({"Stores":[{"id":"1","name":"Caf\u00e9 \"Q\" \\ \n\t\u0001","n":[1,-2,3.5,1e20,true,null]},
                   {}],"z":{"empty":[]}})");
  EXPECT_EQ(vantory::RecordText::describe(value), value.dump());
  const nlohmann::json broken = {{"name", "a\xFF b"}};  // built here, not parsed
  EXPECT_EQ(vantory::RecordText::describe(broken),
            broken.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  EXPECT_EQ(vantory::RecordText::describe(std::nullopt), "null");
}

TEST(Utility, ConvertToJsonStringIsCompactAsciiAndRoundTrips) {
  EXPECT_EQ(Utility::convertToJsonString({{"query", "milk"}}), R"({"query":"milk"})");
  EXPECT_EQ(Utility::convertToJsonString({{"name", "say \"hi\" \\ & + % ="}}),
            R"({"name":"say \"hi\" \\ & + % ="})");

  const nlohmann::json accented = {{"name", "Caf\xC3\xA9"},
                                   {"created", "Jos\xC3\xA9 \xF0\x9F\x98\x80"}};
  const auto text = Utility::convertToJsonString(accented);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find(R"(Caf\u00e9)"), std::string::npos) << *text;
  EXPECT_NE(text->find(R"(\ud83d\ude00)"), std::string::npos) << "emoji as a surrogate pair";
  for (const char c : *text) {
    EXPECT_LT(static_cast<unsigned char>(c), 0x80) << *text;
  }
  EXPECT_EQ(nlohmann::json::parse(*text), accented);

  EXPECT_FALSE(Utility::convertToJsonString({{"name", "bad \xFF byte"}}));
}

TEST(StringUtil, OnlySpacesCountAsBlank) {
  EXPECT_FALSE(StringUtil::isNotBlank(std::nullopt));
  EXPECT_FALSE(StringUtil::isNotBlank(""));
  EXPECT_FALSE(StringUtil::isNotBlank("   "));
  EXPECT_TRUE(StringUtil::isNotBlank(" a"));
  EXPECT_TRUE(StringUtil::isNotBlank("\t"));
  EXPECT_TRUE(StringUtil::isNotBlank("\n"));
}

// Sets the locale variables for one test and puts them back afterwards.
class LocaleScope {
 public:
  explicit LocaleScope(const char* lang) {
    for (const char* name : {"LC_ALL", "LC_MONETARY", "LANG"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
    ::setenv("LANG", lang, 1);
  }
  ~LocaleScope() {
    for (const auto& [name, value] : saved_) {
      value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(Currency, FormatsPlainNumbersInTheCurrentLocale) {
  {
    LocaleScope locale("en_US.UTF-8");
    EXPECT_EQ(Currency::formatPrice("19.5"), "$19.50");
    EXPECT_EQ(Currency::formatPrice("0"), "$0.00");
    EXPECT_EQ(Currency::formatPrice("10"), "$10.00");
    EXPECT_EQ(Currency::formatPrice("1e3"), "$1,000.00");
    EXPECT_EQ(Currency::formatPrice("-2"), "-$2.00");
  }
  {
    LocaleScope locale("de_DE.UTF-8");
    EXPECT_EQ(Currency::formatPrice("19.5"), "19,50\xC2\xA0\xE2\x82\xAC");  // 19,50 €
  }
  {
    LocaleScope locale("en_US.UTF-8");
    ::setenv("LC_MONETARY", "de_DE.UTF-8", 1);  // the monetary setting wins over LANG
    EXPECT_EQ(Currency::formatPrice("1"), "1,00\xC2\xA0\xE2\x82\xAC");
  }
}

TEST(Currency, TextThatIsNotAPlainNumberGivesNothing) {
  LocaleScope locale("en_US.UTF-8");
  for (const char* bad : {"", " 19.5", "19.5 ", "19,50", "$19.50", "19.5\t", "abc", "1 9",
                          "\xEF\xBC\x91\xEF\xBC\x99", "12abc"}) {
    EXPECT_FALSE(Currency::formatPrice(bad)) << bad;
  }
}

TEST(Utility, StoredUserNameIsTheTextUnderName) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("vantory-helpers-" + std::to_string(::getpid())) / "defaults.json";
  platform::UserDefaults::setStandardPath(file);
  EXPECT_FALSE(Utility::storedUserName());
  platform::UserDefaults::standardUserDefaults().setObject(" Ann  Lee", "Name");
  EXPECT_EQ(Utility::getUserDefault("Name"), " Ann  Lee");
  EXPECT_EQ(Utility::storedUserName(), " Ann  Lee");
  platform::UserDefaults::standardUserDefaults().setObject(5, "Name");
  EXPECT_FALSE(Utility::storedUserName()) << "a stored value that is not text is no name to send";
  std::filesystem::remove_all(file.parent_path());
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/JsonSerialization.h"
#include "platform/UserDefaults.h"
#include "support/ConsoleCapture.h"
#include "support/HostileInputs.h"
#include "ui/common/Currency.h"
#include "ui/common/RecordList.h"
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
      R"({"Stores":[{"id":"1","name":"Caf\u00e9 \"Q\" \\ \n\t\u0001\u001f\u007f","n":[1,-2,3.5,1e20,true,null]},
                   {}],"z":{"empty":[]}})");
  EXPECT_EQ(vantory::RecordText::describe(value), value.dump());
  const nlohmann::json broken = {{"name", "a\xFF b"}};  // built here, not parsed
  EXPECT_EQ(vantory::RecordText::describe(broken),
            broken.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  EXPECT_EQ(vantory::RecordText::describe(std::nullopt), "null");
}

// A list reply is kept as text: that text must be what the console printed
// of the value read from the same bytes, the same bytes must be refused with
// the same words, and each record must read as its element of the value.
TEST(RecordList, KeepsAReplyAsTheTextOfItsValueWithARecordPerElement) {
  std::vector<std::string> bodies = {
      R"({"Stores":[{"name":"b","id":"1","created_by":"x"},{"id":"2"}]})",
      R"({"z":1,"Stores":[{"b":1,"a":2,"b":3}],"a":[{"y":1,"x":2}]})",
      R"({"Stores":[{"a":1}],"Stores":[{"c":"d"},5,"t",null,[],{}],"Stores2":[1]})",
      R"({"Stores":[{"a":1}],"x":0,"Stores":7})", R"({"Stores":{"a":[1]},"b":[[2]]})",
      R"({"Stores":[]} )", R"([{"Stores":[1]}])", R"("text")", "12",
      R"({"Stores":[{"n":[1,-2,3.5,1e20,-0,-0.0,1.0,0.1e1,1E-7,18446744073709551615,
          18446744073709551616,-9223372036854775808,-9223372036854775809],
          "t":"Caf\u00e9 \"Q\" \\ \/ \b\f\n\r\t\u0001\u001f\u007f é 😀","k\u0000ey":true}]})",
      // Keys are ordered as bytes before they are escaped, and as unsigned bytes.
      R"({"Stores":[{"a ":1,"a\u0001":2,"\u00e9":3,"z":4,"a\"":5,"a!":6}]})",
      "{\"Stores\":[" + std::string(510, '[') + std::string(510, ']') + "]}",
      "{\"Stores\":[" + std::string(511, '[') + std::string(511, ']') + "]}",
      R"({"Stores":[{"a":1},])", R"({"Stores":[1e400]})", "{\"Stores\":[\"a\xFF\"]}"};
  for (const auto& [name, reply] : testsupport::HostileInputs::unusableReplies("Stores")) {
    bodies.push_back(reply.body);
  }
  for (const std::string& body : bodies) {
    const std::string shown = body.substr(0, 200);
    std::string valueError;
    std::string textError;
    const auto value = platform::JsonSerialization::jsonObjectWithData(body, &valueError);
    const auto reply = vantory::ListReply::read(body, "Stores", &textError);
    ASSERT_EQ(value.has_value(), reply.has_value()) << shown;
    if (!value) {
      EXPECT_EQ(textError, valueError) << shown;
      continue;
    }
    EXPECT_EQ(*reply->text, platform::JsonSerialization::dataWithJSONObject(*value)) << shown;
    EXPECT_EQ(reply->printed(), value->is_object() ? *reply->text : "null") << shown;
    const bool hasList =
        value->is_object() && value->contains("Stores") && (*value)["Stores"].is_array();
    ASSERT_EQ(reply->list.has_value(), hasList) << shown;
    if (!hasList) {
      continue;
    }
    const nlohmann::json& elements = (*value)["Stores"];
    ASSERT_EQ(reply->list->size(), elements.size()) << shown;
    for (std::size_t index = 0; index < elements.size(); ++index) {
      EXPECT_EQ(reply->list->record(index), elements[index]) << shown;
      EXPECT_EQ(reply->list->json(index),
                platform::JsonSerialization::dataWithJSONObject(elements[index]))
          << shown;
    }
    EXPECT_EQ(reply->list->record(elements.size()), nlohmann::json()) << "past the end: null";
  }
  // A decoded reply is kept the same way.
  const auto decoded = nlohmann::json::parse(R"({"Stores":[{"name":"b","id":"1"}]})");
  const vantory::ListReply kept = vantory::ListReply::of(decoded, "Stores");
  EXPECT_EQ(*kept.text, R"({"Stores":[{"id":"1","name":"b"}]})");
  ASSERT_TRUE(kept.list);
  EXPECT_EQ(kept.list->text(0, "name"), "b");
  EXPECT_EQ(vantory::ListReply::of(nlohmann::json::array(), "Stores").printed(), "null");
  EXPECT_FALSE(vantory::ListReply::of(std::nullopt, "Stores").list);
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

#include "engine/feature_listing.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace {

using kestrel::ContainsFeature;
using kestrel::ParseEnabledFeatures;
using Names = std::vector<std::string>;

struct ListingCase {
  const char* name;
  std::string listing;
  Names enabled;
};
void PrintTo(const ListingCase& c, std::ostream* os) { *os << c.name; }


const std::string kHeader =
    "\r\nDeployment Image Servicing and Management tool\r\nVersion: 6.2.9200.16384\r\n\r\n"
    "Image Version: 6.2.9200.16384\r\n\r\nFeatures listing for package : Package~31bf~amd64~~6.2\r\n\r\n";

class ParseListing : public testing::TestWithParam<ListingCase> {};

TEST_P(ParseListing, KeepsTheEnabledNamesInOrder) {
  EXPECT_EQ(ParseEnabledFeatures(GetParam().listing), GetParam().enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Listings, ParseListing,
    testing::Values(
        ListingCase{"TypicalEnglishListing",
                    kHeader +
                        "Feature Name : IIS-WebServerRole\r\nState : Enabled\r\n\r\n"
                        "Feature Name : NetFx3\r\nState : Disabled\r\n\r\n"
                        "Feature Name : IIS-ASPNET45\r\nState : Enabled\r\n\r\n"
                        "Feature Name : WCF-HTTP-Activation45\r\nState : Enable Pending\r\n\r\n"
                        "The operation completed successfully.\r\n",
                    {"IIS-WebServerRole", "IIS-ASPNET45"}},
        ListingCase{"LineFeedsOnlyAndNoFinalLineEnd",
                    "Feature Name : A\nState : Enabled\nFeature Name : B\nState : Enabled", {"A", "B"}},
        ListingCase{"BlanksAroundNameAndState",
                    "Feature Name :    IIS-WebServer   \r\nState :   Enabled  \r\n", {"IIS-WebServer"}},
        ListingCase{"DisabledNameIsOverwrittenByTheNext",
                    "Feature Name : Off\r\nState : Disabled\r\nFeature Name : On\r\nState : Enabled\r\n", {"On"}},
        ListingCase{"StateWithoutNameAddsNothing", "State : Enabled\r\nFeature Name : X\r\n", {}},
        ListingCase{"EnabledIsMatchedOnlyAtTheStart",
                    "Feature Name : A\r\nState : Not Enabled\r\nFeature Name : B\r\nState : Enabled (restart)\r\n",
                    {"B"}},
        ListingCase{"PrefixesAreCaseSensitiveAndAtLineStart",
                    "feature name : a\r\nstate : Enabled\r\n Feature Name : b\r\n State : Enabled\r\n", {}},
        ListingCase{"NameIsKeptForALaterStateLine",
                    "Feature Name : Late\r\nDisplay Name : Something\r\n\r\nState : Enabled\r\n", {"Late"}},
        ListingCase{"LocalisedListingFindsNothing", "Nom de la fonctionnalité : A\r\nÉtat : Activé\r\n", {}},
        ListingCase{"Empty", "", {}}),
    [](const testing::TestParamInfo<ListingCase>& info) { return std::string(info.param.name); });

TEST(ParseListing, KeepsLongLinesWhole) {
  const std::string longName(5000, 'N');
  Names enabled = ParseEnabledFeatures("Feature Name : " + longName + "\r\nState : Enabled\r\n");
  ASSERT_EQ(enabled.size(), 1u);
  EXPECT_EQ(enabled[0], longName);
}

TEST(ParseListing, KeepsManyFeatures) {
  std::string listing = kHeader;
  Names expected;
  for (int i = 0; i < 9000; ++i) {
    std::string name = "Feature-" + std::to_string(i);
    listing += "Feature Name : " + name + "\r\nState : " + (i % 3 == 0 ? "Disabled" : "Enabled") + "\r\n\r\n";
    if (i % 3 != 0) expected.push_back(name);
  }
  EXPECT_EQ(ParseEnabledFeatures(listing), expected);
}

TEST(ContainsFeature, MatchesWholeNamesIgnoringAsciiCase) {
  const Names enabled = {"IIS-ASPNET45", "IIS-WebServerRole"};
  EXPECT_TRUE(ContainsFeature(enabled, "iis-aspnet45"));
  EXPECT_TRUE(ContainsFeature(enabled, "IIS-WEBSERVERROLE"));
  EXPECT_FALSE(ContainsFeature(enabled, "IIS-ASPNET"));
  EXPECT_FALSE(ContainsFeature(enabled, "IIS-ASPNET455"));
  EXPECT_FALSE(ContainsFeature(enabled, "IIS-WebServerRole\\IIS-WebServer"));
  EXPECT_FALSE(ContainsFeature(enabled, ""));
  EXPECT_FALSE(ContainsFeature({}, "IIS-ASPNET45"));
}

}  // namespace

#include "engine/web_config_proxy.h"

#include <gtest/gtest.h>

namespace {

using kestrel::AddProxyToWebConfig;

const std::string kProxyLine =
    "\t\t<proxy   usesystemdefault=\"true\"    proxyaddress=\"http://proxy.corp:8080\" bypassonlocal=\"true\"  />\n";

std::string Element(const std::string& adds) {
  return "\t<defaultProxy useDefaultCredentials=\"true\">\n" + kProxyLine + "\t\t<bypasslist>\n" + adds +
         "\t\t</bypasslist>\n\t</defaultProxy>\n";
}

TEST(WebConfigProxy, NewSectionReplacesTheClosingTagAndWhatFollows) {
  const std::string before = "<?xml version=\"1.0\"?>\r\n<configuration>\r\n  <appSettings />\r\n";
  auto out = AddProxyToWebConfig(before + "</configuration>\r\n<!-- tail -->", "proxy.corp:8080", "localhost;*.corp");
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, before + "\n\n<system.net>\n" +
                      Element("\t\t\t <add address=\"localhost\" />\n\t\t\t <add address=\"*.corp\" />\n") +
                      "</system.net>\n</configuration>\n");
}

TEST(WebConfigProxy, EmptyBypassEntriesWriteNoLine) {
  for (const char* list : {"a;;b;", ";a;;;b", "a;b"}) {
    auto out = AddProxyToWebConfig("<configuration></configuration>", "proxy.corp:8080", list);
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, "<configuration>\n\n<system.net>\n" +
                        Element("\t\t\t <add address=\"a\" />\n\t\t\t <add address=\"b\" />\n") +
                        "</system.net>\n</configuration>\n")
        << list;
  }
  auto none = AddProxyToWebConfig("<configuration></configuration>", "proxy.corp:8080", ";;");
  ASSERT_TRUE(none);
  EXPECT_NE(none->find("\t\t<bypasslist>\n\t\t</bypasslist>\n"), std::string::npos);
}

TEST(WebConfigProxy, NoClosingTagIsRefused) {
  EXPECT_FALSE(AddProxyToWebConfig("<configuration><appSettings/>", "p:1", "localhost"));
  EXPECT_FALSE(AddProxyToWebConfig("", "p:1", "localhost"));
  EXPECT_FALSE(AddProxyToWebConfig("<Configuration></Configuration>", "p:1", "localhost"));
}

TEST(WebConfigProxy, ExistingSectionGetsTheProxyAndKeepsItsOtherChildren) {
  const std::string mail = "    <mailSettings>\n      <smtp from=\"a@b\" />\n    </mailSettings>\n";
  const std::string add = "\t\t\t <add address=\"localhost\" />\n";
  const struct {
    const char* name;
    std::string section;  // inside <configuration>
    std::string expected;
  } cases[] = {
      {"without a proxy", "  <system.net>\n" + mail + "  </system.net>\n",
       "  <system.net>\n" + mail + Element(add) + "  </system.net>\n"},
      {"with a proxy element",
       "  <system.net>\n    <defaultProxy enabled=\"false\">\n      <proxy bypassonlocal=\"false\" />\n"
       "    </defaultProxy>\n" + mail + "  </system.net>\n",
       "  <system.net>\n" + Element(add) + mail + "  </system.net>\n"},
      {"with an empty proxy element", "  <system.net>\n" + mail + "    <defaultProxy />\n  </system.net>\n",
       "  <system.net>\n" + mail + Element(add) + "  </system.net>\n"},
      {"on one line", "<system.net><defaultProxy/></system.net>",
       "<system.net>\n" + Element(add) + "</system.net>"},
      {"self-closing", "  <system.net/>\n", "  <system.net>\n" + Element(add) + "</system.net>\n"},
  };
  for (const auto& c : cases) {
    const std::string head = "<configuration>\n  <system.web />\n";
    auto out = AddProxyToWebConfig(head + c.section + "</configuration>\n", "proxy.corp:8080", "localhost");
    ASSERT_TRUE(out) << c.name;
    EXPECT_EQ(*out, head + c.expected + "</configuration>\n") << c.name;
  }
}

TEST(WebConfigProxy, LookalikesAndBrokenSections) {
  // "<system.netx>" is another element: a new section is written.
  auto other = AddProxyToWebConfig("<configuration><system.netx/></configuration>", "p:1", "h");
  ASSERT_TRUE(other);
  EXPECT_NE(other->find("<system.netx/>\n\n<system.net>\n"), std::string::npos) << *other;
  // An unclosed section or proxy element is not guessed at.
  EXPECT_FALSE(AddProxyToWebConfig("<configuration><system.net></configuration>", "p:1", "h"));
  EXPECT_FALSE(
      AddProxyToWebConfig("<configuration><system.net><defaultProxy></system.net></configuration>", "p:1", "h"));
}

// What a comment, a CDATA section or a processing instruction holds is
// text: it stays byte for byte, and only the real markup around it counts.
TEST(WebConfigProxy, CommentsCdataAndInstructionsAreNotMarkup) {
  const std::string add = "\t\t\t <add address=\"localhost\" />\n";
  const std::string newSection = "\n\n<system.net>\n" + Element(add) + "</system.net>\n</configuration>\n";
  const std::string commented = "  <!-- <system.net><defaultProxy/></system.net> -->\n";
  const struct {
    const char* name;
    std::string input;
    std::string expected;
  } cases[] = {
      {"a commented-out section", "<configuration>\n" + commented + "</configuration>\n",
       "<configuration>\n" + commented + newSection},
      {"a CDATA section holding an opening tag",
       "<configuration>\n  <x><![CDATA[<system.net>]]></x>\n</configuration>\n",
       "<configuration>\n  <x><![CDATA[<system.net>]]></x>\n" + newSection},
      {"a processing instruction holding an opening tag",
       "<?xml version=\"1.0\"?>\n<configuration>\n  <?note <system.net> ?>\n</configuration>\n",
       "<?xml version=\"1.0\"?>\n<configuration>\n  <?note <system.net> ?>\n" + newSection},
      {"a real section after a commented one",
       "<configuration>\n" + commented + "  <system.net>\n    <mailSettings />\n  </system.net>\n</configuration>\n",
       "<configuration>\n" + commented + "  <system.net>\n    <mailSettings />\n" + Element(add) +
           "  </system.net>\n</configuration>\n"},
      {"a comment inside the real section",
       "<configuration>\n  <system.net>\n    <!-- <defaultProxy/> </system.net> -->\n  </system.net>\n</configuration>\n",
       "<configuration>\n  <system.net>\n    <!-- <defaultProxy/> </system.net> -->\n" + Element(add) +
           "  </system.net>\n</configuration>\n"},
      {"a comment inside the replaced proxy element",
       "<configuration>\n  <system.net>\n    <defaultProxy>\n      <!-- </defaultProxy> -->\n    </defaultProxy>\n"
       "  </system.net>\n</configuration>\n",
       "<configuration>\n  <system.net>\n" + Element(add) + "  </system.net>\n</configuration>\n"},
      {"a commented-out closing tag before the real one",
       "<configuration>\n  <!-- </configuration> -->\n  <appSettings />\n</configuration>\n",
       "<configuration>\n  <!-- </configuration> -->\n  <appSettings />\n" + newSection},
  };
  for (const auto& c : cases) {
    auto out = AddProxyToWebConfig(c.input, "proxy.corp:8080", "localhost");
    ASSERT_TRUE(out) << c.name;
    EXPECT_EQ(*out, c.expected) << c.name;
  }
  // An unterminated comment hides the closing tag: the file is left alone.
  EXPECT_FALSE(AddProxyToWebConfig("<configuration>\n<!-- </configuration>\n", "p:1", "h"));
  EXPECT_FALSE(AddProxyToWebConfig("<configuration><system.net><!-- </system.net></configuration>", "p:1", "h"));
}

TEST(WebConfigProxy, AttributeValuesStayWellFormed) {
  auto out = AddProxyToWebConfig("<configuration></configuration>", "a&b:1", "x\"y");
  ASSERT_TRUE(out);
  EXPECT_NE(out->find("proxyaddress=\"http://a&amp;b:1\""), std::string::npos);
  EXPECT_NE(out->find("<add address=\"x&quot;y\" />"), std::string::npos);
}

}  // namespace

#include "core/payload_pin.h"

#include <gtest/gtest.h>

#include "res/resource_ids.h"

namespace {

using kestrel::PayloadPin;

const std::wstring kHex = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(PayloadPin, Parse) {
  const struct {
    std::wstring text;
    PayloadPin::Kind kind;
  } cases[] = {
      {L"", PayloadPin::Kind::kNone},
      {L"sha256:" + kHex, PayloadPin::Kind::kSha256},
      {L"SHA256:" + kHex, PayloadPin::Kind::kSha256},
      {L"sha256:BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", PayloadPin::Kind::kSha256},
      {kHex, PayloadPin::Kind::kMalformed},                               // no prefix
      {L"sha256:" + kHex.substr(1), PayloadPin::Kind::kMalformed},        // 63 digits
      {L"sha256:" + kHex + L"0", PayloadPin::Kind::kMalformed},           // 65 digits
      {L"sha256:" + kHex.substr(1) + L"g", PayloadPin::Kind::kMalformed}, // not hexadecimal
      {L"sha256: " + kHex, PayloadPin::Kind::kMalformed},
      {L"sha256:" + kHex + L" ", PayloadPin::Kind::kMalformed},
      {L"sha1:" + kHex, PayloadPin::Kind::kMalformed},
      {L"sha256:", PayloadPin::Kind::kMalformed},
      {L" ", PayloadPin::Kind::kMalformed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const PayloadPin pin = kestrel::ParsePayloadPin(c.text);
    EXPECT_EQ(pin.kind, c.kind);
    EXPECT_EQ(pin.text, c.text);
    if (c.kind == PayloadPin::Kind::kSha256) {
      EXPECT_EQ(pin.digest[0], 0xba);
      EXPECT_EQ(pin.digest[31], 0xad);
      EXPECT_EQ(kestrel::PinText(pin.digest), L"sha256:" + kHex) << "written back in lowercase";
    }
  }
}

TEST(PayloadPin, EveryDownloadLinkHasAPinStringOfItsOwn) {
  const struct {
    unsigned link, pin;
  } cases[] = {
      {kStrPackageLink, 147}, {kStrDotNetLink, 148},  {kStrSql64Link, 149},      {kStrSql86Link, 150},
      {kStrSql2012Link, 151}, {kStrUpgradeLink, 152}, {kStrSql2012x86Link, 153},
      // Not links: no pin.
      {kStrWizardTitle, 0}, {kStrProductFolder, 0}, {kStrAuditEndpoint, 0}, {kStrPackagePin, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(kestrel::PinNumberOfLink(c.link), c.pin) << c.link;
}

}  // namespace

// The udev rule that lets a local user reach the devices: checked by udevadm
// where the installed udev can verify rule files, and always by its match keys
// against the library's own USB identifiers.
#include "support/ToolRun.h"

#include "tkx/tkxUSB.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// the Falcon's converter answers as this product
#ifdef TKX_FALCON_PRODUCT_ID
constexpr int kFalconProduct = TKX_FALCON_PRODUCT_ID;
#else
constexpr int kFalconProduct = 0xCB48;
#endif

struct Key {
  std::string name, op, value;
};

// one rule line as its comma-separated KEY op "value" items; false when an item
// does not have that shape
bool ParseRule(const std::string &line, std::vector<Key> *keys) {
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == ',')) ++at;
    if (at >= line.size()) break;
    size_t op = line.find_first_of("=!+:", at);
    if (op == std::string::npos) return false;
    Key k;
    k.name = line.substr(at, op - at);
    size_t quote = line.find('"', op);
    if (quote == std::string::npos) return false;
    k.op = line.substr(op, quote - op);
    static const std::set<std::string> kOps = {"==", "!=", "=", "+=", "-=", ":="};
    if (!kOps.count(k.op)) return false;
    const size_t close = line.find('"', quote + 1);
    if (close == std::string::npos) return false;
    k.value = line.substr(quote + 1, close - quote - 1);
    keys->push_back(k);
    at = close + 1;
    if (at < line.size() && line[at] != ',') return false;
  }
  return !keys->empty();
}

std::string Hex(int id) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", id);
  return buf;
}

TEST(UdevRules, MatchTheLibrarysDevicesAndGiveTheSeatAccess) {
  std::ifstream in(TKX_RULES_FILE);
  ASSERT_TRUE(in.is_open()) << TKX_RULES_FILE;
  std::vector<std::vector<Key>> rules;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<Key> keys;
    ASSERT_TRUE(ParseRule(line, &keys)) << line;
    rules.push_back(keys);
  }
  // vendor -> the product it is limited to ("" for every product)
  std::map<std::string, std::string> matched;
  for (const auto &rule : rules) {
    std::map<std::string, Key> byName;
    for (const Key &k : rule) byName[k.name] = k;
    ASSERT_EQ(byName["SUBSYSTEM"].value, "usb");
    ASSERT_EQ(byName["SUBSYSTEM"].op, "==");
    EXPECT_EQ(byName["ATTR{idVendor}"].op, "==");
    EXPECT_EQ(byName["TAG"].op, "+=");
    EXPECT_EQ(byName["TAG"].value, "uaccess");
    EXPECT_EQ(byName["GROUP"].value, "plugdev");
    EXPECT_EQ(byName["MODE"].value, "0660");
    matched[byName["ATTR{idVendor}"].value] = byName.count("ATTR{idProduct}") ? byName["ATTR{idProduct}"].value : "";
  }
  // udev compares the sysfs text: four lower-case hex digits
  const std::map<std::string, std::string> expected = {{Hex(TKX_USB_VENDOR_ID), ""},
                                                       {Hex(TKX_FALCON_VENDOR_ID), Hex(kFalconProduct)}};
  EXPECT_EQ(matched, expected);
  // and the maker's rule takes in the product the library opens
  EXPECT_EQ(matched[Hex(TKX_USB_VENDOR_ID)], "");
  std::printf("checked the match keys and values of %s\n", TKX_RULES_FILE);
}

TEST(UdevRules, UdevadmVerifies) {
  const tooltest::Result help = tooltest::Shell("udevadm verify --help");
  if (help.status != 0) GTEST_SKIP() << "the installed udevadm has no verify: the match keys were checked instead";
  const tooltest::Result r = tooltest::Shell("udevadm verify --resolve-names=never " + tooltest::Quote(TKX_RULES_FILE));
  EXPECT_EQ(r.status, 0) << r.out;
  std::printf("verified with udevadm verify\n");
}

}  // namespace

// The USB ids that tools/run.sh looks for and that the udev rule opens to the
// user are those of the capture library's model table: both read the table's
// source, and would miss a scanner if its layout moved on.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "device_models.h"

namespace {

std::string IdOf(const belnor::DeviceModel &model) {
  std::string id = model.deviceString;  // "vid_xxxx&pid_xxxx"
  for (char &c : id) c = char(std::tolower(static_cast<unsigned char>(c)));
  return id.substr(4, 4) + ":" + id.substr(13, 4);
}

std::vector<std::string> TableIds(bool enabledOnly) {
  std::vector<std::string> ids;
  for (const belnor::DeviceModel &model : belnor::DeviceModelTable)
    if (!enabledOnly || model.enabled) ids.push_back(IdOf(model));
  return ids;
}

std::vector<std::string> ScriptIds(const char *args) {
  const std::string command = std::string("bash " BELNOR_SOURCE_DIR "/tools/scanner_ids.sh ") + args;
  std::vector<std::string> ids;
  FILE *out = popen(command.c_str(), "r");
  if (!out) return ids;
  char line[64];
  while (std::fgets(line, sizeof line, out)) {
    std::string id(line);
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
    ids.push_back(id);
  }
  EXPECT_EQ(pclose(out), 0) << command;
  return ids;
}

TEST(ModelIds, ScannerIdsListTheTableInOrder) {
  EXPECT_EQ(ScriptIds(""), TableIds(false));
  EXPECT_EQ(ScriptIds("--enabled"), TableIds(true));
}

TEST(ModelIds, UdevRuleOpensEveryModelToTheSeatAndPlugdev) {
  std::ifstream rules(BELNOR_UDEV_RULES);
  ASSERT_TRUE(rules) << BELNOR_UDEV_RULES;
  const std::regex rule(
      R"re(SUBSYSTEM=="usb", ENV\{DEVTYPE\}=="usb_device", ATTR\{idVendor\}=="([0-9a-f]{4})", )re"
      R"re(ATTR\{idProduct\}=="([0-9a-f]{4})", MODE="0660", GROUP="plugdev", TAG\+="uaccess")re");
  std::vector<std::string> ids;
  std::string line;
  while (std::getline(rules, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, rule)) << "unexpected rule: " << line;
    ids.push_back(m[1].str() + ":" + m[2].str());
  }
  EXPECT_EQ(ids, TableIds(false));
}

}  // namespace

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "sysfs_machine.h"
#include "usb_stick_fixtures.h"

namespace vellmor::cli {
namespace {

namespace fs = std::filesystem;

using fixtures::FatVolume;
using fixtures::Machine;
using fixtures::StickDescriptors;

std::string RunDrives(const std::vector<std::string>& args, int& code) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  code = RunCli(args, in, out, err);
  return out.str() + err.str();
}

nlohmann::json DrivesJson(const Machine& machine) {
  int code = -1;
  const std::string out =
      RunDrives({"drives", "--json", "--sysfs-root", machine.Sys().string(), "--dev-root",
                 machine.Dev().string(), "--mount-table", machine.MountTable().string()},
                code);
  EXPECT_EQ(code, kExitOk);
  return nlohmann::json::parse(out);
}

// Two sticks, the second without a serial and formatted without partitions.
TEST(DrivesTest, JsonNamesBothSticksMarksTheMadeUpSerialAndGivesMountsAndLabels) {
  Machine machine;
  Machine::Write(machine.Dev() / "sdb1", FatVolume("STICK"));
  Machine::Write(machine.Dev() / "sdc", FatVolume("NO SERIAL"));
  const fs::path sdb =
      machine.AddStick(2, 0x0781, 0x5567, "4c530001231120115142", "SanDisk", "sdb", 16);
  Machine::AddPartition(sdb, 1, 17, 30029824);
  machine.AddStick(3, 0x090c, 0x1000, std::nullopt, std::nullopt, "sdc", 32);
  // The kernel's mount table writes a space as \040.
  machine.Mount(17, "/media/user/MY\\040STICK", "/dev/sdb1");
  machine.Mount(32, "/mnt/b", "/dev/sdc");

  const nlohmann::json json = DrivesJson(machine);
  EXPECT_EQ(json["schemaVersion"], 1);
  ASSERT_EQ(json["drives"].size(), 2U);
  // Digests by `printf SERIAL | md5sum`; the made-up instance is depth 5, the FNV-1a hash
  // of the hub's name "usb1", port 3.
  const nlohmann::json& first = json["drives"][0];
  EXPECT_EQ(first["deviceId"], "USB\\VID_0781&PID_5567\\4C530001231120115142");
  EXPECT_EQ(first["serial"], "4C530001231120115142");
  EXPECT_EQ(first["digest"], "AE6E35C8E506AAF9F9C52D8CA2E4E68A");
  EXPECT_EQ(first["serialMadeUp"], false);
  EXPECT_EQ(first["vendorId"], "0781");
  EXPECT_EQ(first["productId"], "5567");
  EXPECT_EQ(first["manufacturer"], "SanDisk");
  EXPECT_TRUE(first["product"].is_null());
  EXPECT_EQ(first["location"], "1-2");
  EXPECT_EQ(first["cardReader"], false);
  EXPECT_EQ(first["notes"], nlohmann::json::array());
  const nlohmann::json& disk = first["disks"][0];
  EXPECT_EQ(disk["name"], "sdb");
  EXPECT_EQ(disk["sizeBytes"], 15376318464);
  EXPECT_TRUE(disk["label"].is_null());
  EXPECT_EQ(disk["model"], "Flash Disk");
  const nlohmann::json& partition = disk["partitions"][0];
  EXPECT_EQ(partition["name"], "sdb1");
  EXPECT_EQ(partition["sizeBytes"], 15375269888);
  EXPECT_EQ(partition["label"], "STICK");
  EXPECT_EQ(partition["fileSystem"], "vfat");
  EXPECT_EQ(partition["uuid"], "7856-3412");
  EXPECT_EQ(partition["mountPoints"], nlohmann::json::array({"/media/user/MY STICK"}));

  const nlohmann::json& second = json["drives"][1];
  EXPECT_EQ(second["deviceId"], "USB\\VID_090C&PID_1000\\5&977676F0&0&3");
  EXPECT_EQ(second["digest"], "CC6BEE93D3B510C90B5EA0621BA48C9E");
  EXPECT_EQ(second["serialMadeUp"], true);
  EXPECT_EQ(second["notes"], nlohmann::json::array({"madeUp"}));
  EXPECT_EQ(second["disks"][0]["label"], "NO SERIAL");
  EXPECT_EQ(second["disks"][0]["mountPoints"], nlohmann::json::array({"/mnt/b"}));
  EXPECT_EQ(second["disks"][0]["partitions"], nlohmann::json::array());

  // A pipe where the model should be neither stalls the scan nor stands for a model.
  const fs::path model =
      machine.Sys() / "bus/usb/devices/1-3/1-3:1.0/host8/target8:0:0/8:0:0:0/model";
  fs::remove(model);
  ASSERT_EQ(::mkfifo(model.c_str(), 0600), 0);
  int code = -1;
  const auto again = nlohmann::json::parse(
      RunDrives({"drives", "--json", "--sysfs-root", machine.Sys().string()}, code));
  EXPECT_EQ(code, kExitOk);
  EXPECT_TRUE(again["drives"][1]["disks"][0]["model"].is_null());
  EXPECT_TRUE(again["drives"][1]["disks"][0]["label"].is_null());
}

// Partitions in the kernel's numbering, not as strings sort: sdb2 before sdb10.
TEST(DrivesTest, PartitionsComeInNumberOrder) {
  Machine machine;
  const fs::path sdb =
      machine.AddStick(2, 0x0781, 0x5567, "4c530001231120115142", std::nullopt, "sdb", 16);
  for (const int number : {10, 2, 1, 11}) {
    Machine::AddPartition(sdb, number, 16 + number, 2048);
  }
  const nlohmann::json json = DrivesJson(machine);
  ASSERT_EQ(json["drives"].size(), 1U);
  std::vector<std::string> names;
  for (const auto& partition : json["drives"][0]["disks"][0]["partitions"]) {
    names.push_back(partition["name"]);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"sdb1", "sdb2", "sdb10", "sdb11"}));
}

// Whoever made the device chose these bytes: they reach a terminal only as \xNN, and
// JSON keeps them exactly.
TEST(DrivesTest, HostileAndChineseDeviceTextIsShownSafelyAndKeptInJson) {
  Machine machine;
  // "我的U盘" as Chinese Windows writes a FAT label: code page 936 bytes.
  Machine::Write(machine.Dev() / "sdb1", FatVolume("\xCE\xD2\xB5\xC4U\xC5\xCC"));
  const fs::path sdb = machine.AddStick(2, 0x0781, 0x5567, "4C530001231120115142",
                                        "Evil\x1B]0;owned\x07\r\"Corp;", "sdb", 16);
  Machine::AddPartition(sdb, 1, 17, 30029824);
  Machine::Write(sdb.parent_path().parent_path() / "model",
                 "\xC2\x9B"
                 "31mRed\x7F\n");
  // A mount path that is not UTF-8, with an escape; the kernel writes octal escapes.
  machine.Mount(17, "/media/\\033[2J\xFF", "/dev/sdb1");

  const nlohmann::json json = DrivesJson(machine);
  const nlohmann::json& drive = json["drives"][0];
  EXPECT_EQ(drive["manufacturer"], "Evil\x1B]0;owned\x07\r\"Corp;");
  EXPECT_EQ(drive["disks"][0]["model"],
            "\xC2\x9B"
            "31mRed\x7F");
  EXPECT_EQ(drive["disks"][0]["partitions"][0]["label"], "我的U盘");
  EXPECT_EQ(drive["disks"][0]["partitions"][0]["mountPoints"][0], "/media/\x1B[2J\\xff");

  int code = -1;
  const std::string text =
      RunDrives({"drives", "--sysfs-root", machine.Sys().string(), "--dev-root",
                 machine.Dev().string(), "--mount-table", machine.MountTable().string()},
                code);
  EXPECT_EQ(code, kExitOk);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    EXPECT_TRUE((byte >= 0x20 || byte == '\n') && byte != 0x7F && !c1) << i << ": " << text;
  }
  EXPECT_NE(text.find("Evil\\x1b]0;owned\\x07\\x0d\"Corp;"), std::string::npos) << text;
  EXPECT_NE(text.find("\\x9b31mRed\\x7f"), std::string::npos) << text;
  EXPECT_NE(text.find("\"我的U盘\""), std::string::npos) << text;
  EXPECT_NE(text.find("on /media/\\x1b[2J\\xff"), std::string::npos) << text;
}

// A reader has a direct-access unit per slot; a U3 stick's second unit is its CD-ROM.
TEST(DrivesTest, OnlyDirectAccessUnitsMakeACardReader) {
  Machine machine;
  const fs::path u3 =
      machine.AddStick(2, 0x0781, 0x5406, "0000161D2B0C4C6E", std::nullopt, "sdb", 16);
  const fs::path unit = u3.parent_path().parent_path();
  Machine::Write(unit / "type", "0\n");
  const fs::path cd_unit = unit.parent_path() / "7:0:0:1";
  Machine::Write(cd_unit / "type", "5\n");
  Machine::Write(cd_unit / "block/sr0/size", "14336\n");
  // Two slots and a name that does not say reader; the serial is one short of 12.
  const fs::path reader =
      machine.AddStick(3, 0x05e3, 0x0751, "000000009451", std::nullopt, "sdc", 32);
  const fs::path slot = reader.parent_path().parent_path().parent_path() / "8:0:0:1";
  Machine::Write(slot / "type", "0\n");
  Machine::Write(slot / "block/sdd/size", "0\n");
  machine.AddStick(4, 0x090c, 0x1000, "A0000000951", std::nullopt, "sde", 48);

  const nlohmann::json json = DrivesJson(machine);
  ASSERT_EQ(json["drives"].size(), 3U);
  EXPECT_EQ(json["drives"][0]["cardReader"], false);
  EXPECT_EQ(json["drives"][0]["notes"], nlohmann::json::array());
  EXPECT_EQ(json["drives"][0]["disks"].size(), 2U);
  EXPECT_EQ(json["drives"][1]["cardReader"], true);
  EXPECT_EQ(json["drives"][1]["notes"], nlohmann::json::array({"cardReader"}));
  EXPECT_EQ(json["drives"][2]["notes"], nlohmann::json::array({"short"}));
}

// btrfs shows an anonymous device number and LUKS mounts the mapping that holds the
// partition: both are found by source; an fstab line names its volume by UUID.
TEST(DrivesTest, MountsAreMatchedBySourceMappingAndTag) {
  Machine machine;
  Machine::Write(machine.Dev() / "sdb2", FatVolume("TAGGED"));
  const fs::path sdb =
      machine.AddStick(2, 0x0781, 0x5567, "4C530001231120115142", std::nullopt, "sdb", 16);
  Machine::AddPartition(sdb, 1, 17, 1000);
  Machine::AddPartition(sdb, 2, 18, 1000);
  Machine::AddPartition(sdb, 3, 19, 1000);
  Machine::Write(sdb / "sdb3/holders/dm-0/dev", "253:0\n");
  Machine::Write(sdb / "sdb3/holders/dm-0/dm/name", "luks-1\n");
  const std::string dev = machine.Dev().string();
  std::ofstream(machine.MountTable())
      << "40 1 0:52 / /media/btrfs rw - btrfs " << dev << "/sdb1 rw\n"
      << "41 1 0:53 / /media/luks rw - ext4 " << dev << "/mapper/luks-1 rw\n";
  std::ofstream(machine.Dev().parent_path() / "fstab") << "UUID=7856-3412 /media/tagged vfat\n";

  nlohmann::json json = DrivesJson(machine);
  const nlohmann::json& partitions = json["drives"][0]["disks"][0]["partitions"];
  EXPECT_EQ(partitions[0]["mountPoints"], nlohmann::json::array({"/media/btrfs"}));
  EXPECT_EQ(partitions[0]["fileSystem"], "btrfs");
  EXPECT_EQ(partitions[2]["mountPoints"], nlohmann::json::array({"/media/luks"}));

  int code = -1;
  json = nlohmann::json::parse(RunDrives(
      {"drives", "--json", "--sysfs-root", machine.Sys().string(), "--dev-root",
       machine.Dev().string(), "--mount-table", (machine.Dev().parent_path() / "fstab").string()},
      code));
  EXPECT_EQ(json["drives"][0]["disks"][0]["partitions"][1]["mountPoints"],
            nlohmann::json::array({"/media/tagged"}));
}

// One stick by its digest, one without a serial pinned to its model, and one whose
// placeholder serial is listed alone, which allows nothing.
TEST(DrivesTest, AllowedListMarksEachStickInJsonAndText) {
  Machine machine;
  machine.AddStick(2, 0x0781, 0x5567, "4c530001231120115142", std::nullopt, "sdb", 16);
  machine.AddStick(3, 0x090c, 0x1000, std::nullopt, std::nullopt, "sdc", 32);
  machine.AddStick(4, 0x058f, 0x6387, "0123456789ABCDEF", std::nullopt, "sdd", 48);
  const fs::path list = machine.Dev().parent_path() / "allowed.txt";
  Machine::Write(list,
                 "\xEF\xBB\xBF# approved\r\nae6e35c8e506aaf9f9c52d8ca2e4e68a\r\n"
                 "090C:1000 5&977676F0&0&3\r\n0123456789ABCDEF\r\n");

  int code = -1;
  const auto json = nlohmann::json::parse(RunDrives(
      {"drives", "--json", "--allowed", list.string(), "--sysfs-root", machine.Sys().string()},
      code));
  EXPECT_EQ(code, kExitOk);
  ASSERT_EQ(json["drives"].size(), 3U);
  EXPECT_EQ(json["drives"][0]["allowed"], true);
  EXPECT_EQ(json["drives"][0]["allowedLine"], 2);
  EXPECT_EQ(json["drives"][1]["allowed"], true);
  EXPECT_EQ(json["drives"][1]["allowedLine"], 3);
  EXPECT_EQ(json["drives"][2]["allowed"], false);
  EXPECT_EQ(json["drives"][2]["untrustedLine"], 4);
  EXPECT_EQ(json["drives"][2]["notes"], nlohmann::json::array({"placeholder"}));

  const std::string text = RunDrives(
      {"drives", "--allowed=" + list.string(), "--sysfs-root", machine.Sys().string()}, code);
  EXPECT_EQ(code, kExitOk);
  EXPECT_NE(text.find("  allowed (line 2)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  allowed (line 3)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  not allowed: line 4 names its serial, which does not identify one "
                      "stick; list it as VID:PID SERIAL to allow it anyway\n"),
            std::string::npos)
      << text;

  // Without --allowed nothing is marked.
  EXPECT_EQ(RunDrives({"drives", "--sysfs-root", machine.Sys().string()}, code).find("allowed"),
            std::string::npos);

  Machine::Write(list, "# nobody yet\n");
  const std::string empty = RunDrives(
      {"drives", "--json", "--allowed", list.string(), "--sysfs-root", machine.Sys().string()},
      code);
  EXPECT_EQ(code, kExitOk);
  EXPECT_NE(empty.find("vellmor-cli: " + list.string() +
                       ": the allowed list is empty: no stick is allowed\n"),
            std::string::npos)
      << empty;

  Machine::Write(list, "0781:5567\n");
  EXPECT_EQ(
      RunDrives({"drives", "--allowed", list.string(), "--sysfs-root", machine.Sys().string()},
                code),
      "vellmor-cli: " + list.string() +
          ":1: the line needs a serial after the vendor and product ids\n");
  EXPECT_EQ(code, kExitUsage);
  fs::remove(list);
  EXPECT_EQ(RunDrives({"drives", "--allowed", list.string()}, code),
            "vellmor-cli: " + list.string() + ": no such file\n");
  EXPECT_EQ(code, kExitUsage);
}

}  // namespace
}  // namespace vellmor::cli

#include "serial/sysfs_usb_hub_source.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "read_scenarios.h"
#include "serial/cc.h"
#include "sysfs_tree.h"

namespace vellmor::serial {
namespace {

namespace fs = std::filesystem;
using fixtures::Descriptors;
using fixtures::SysfsTree;

std::string Describe(const DeviceId& id) {
  switch (id.kind) {
    case DeviceId::Kind::kMissing:
      return "(missing)";
    case DeviceId::Kind::kUnreadable:
      return "(unreadable)";
    case DeviceId::Kind::kText:
      break;
  }
  std::string text;
  for (const char16_t c : id.text) {
    text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return text;
}

std::vector<std::string> Scan(const fs::path& root) {
  SysfsUsbHubSource source(root);
  std::vector<std::string> ids;
  for (const DeviceId& id : CollectDeviceIds(source)) {
    ids.push_back(Describe(id));
  }
  return ids;
}

std::string ScanOne(const fs::path& root) {
  const auto ids = Scan(root);
  return ids.size() == 1 ? ids.front() : "(" + std::to_string(ids.size()) + " results)";
}

// Clears the way for something else to be planted at the path.
fs::path Removed(const fs::path& path) {
  fs::remove(path);
  return path;
}

bool Matches(const std::string& text, const std::string& pattern) {
  return std::regex_match(text, std::regex(pattern));
}

TEST(SysfsUsbHubSourceTest, RootHubsAreNamedByTheirUsbVersion) {
  SysfsTree tree;
  tree.AddRootHub(1, 0x0110);
  tree.AddRootHub(2, 0x0200);
  tree.AddRootHub(3, 0x0300);
  tree.AddRootHub(4, 0x0310);
  const auto ids = Scan(tree.root());
  ASSERT_EQ(ids.size(), 4U);
  const char* const kVersions[] = {"", "20", "30", "30"};
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_PRED2(Matches, ids[i],
                 R"(USB\\ROOT_HUB)" + std::string(kVersions[i]) + R"(\\4&[0-9A-F]{8}&0)");
  }
  EXPECT_NE(ids[2].substr(11), ids[3].substr(11)) << "buses must not share an instance";
}

TEST(SysfsUsbHubSourceTest, RootHubInstanceDependsOnlyOnTheBus) {
  SysfsTree first;
  first.AddRootHub(2, 0x0200);
  SysfsTree second;
  second.AddRootHub(1, 0x0110);
  second.AddRootHub(2, 0x0200);
  EXPECT_EQ(ScanOne(first.root()), Scan(second.root()).at(1));
}

TEST(SysfsUsbHubSourceTest, DeviceIsNamedByVendorProductAndSerialOrElseItsPort) {
  const std::string port = R"(USB\\VID_ABCD&PID_EF01\\5&[0-9A-F]{8}&0&7)";
  // The serial file as the kernel writes it, and whether the descriptor names it.
  const struct {
    std::string serial;
    bool named;
    std::string expected;
  } kCases[] = {
      {"4C530001230417117513\n", true, R"(USB\VID_ABCD&PID_EF01\4C530001230417117513)"},
      // Codes and serial are upper-cased; printable ASCII punctuation stays.
      {"aa00bb-x.y z\n", true, R"(USB\VID_ABCD&PID_EF01\AA00BB-X.Y Z)"},
      {" [x]?*#/~\x7F\n", true, "USB\\VID_ABCD&PID_EF01\\ [X]?*#/~\x7F"},
      {"ABC", true, R"(USB\VID_ABCD&PID_EF01\ABC)"},  // no newline: taken whole
      // A serial Windows would refuse is replaced by a port instance.
      {"AB,CD\n", true, port},
      {"AB\tCD\n", true, port},
      {"AB\rCD\n", true, port},
      {"caf\xC3\xA9\n", true, port},
      {std::string("A\0B\n", 4), true, port},
      {"\n", true, port},
      {"AB\nCD\n", true, port},
      {"AB\\CD\n", true, port},
      // The serial is read only when the descriptor names one.
      {"STRAY\n", false, port},
  };
  for (const auto& [serial, named, expected] : kCases) {
    SysfsTree tree;
    const fs::path dir = tree.AddDevice("1-7", 0xabcd, 0xef01,
                                        named ? std::optional<std::string>("") : std::nullopt);
    SysfsTree::Write(dir / "serial", serial);
    const std::string id = ScanOne(tree.root());
    if (expected == port) {
      EXPECT_PRED2(Matches, id, port) << testing::PrintToString(serial);
    } else {
      EXPECT_EQ(id, expected) << testing::PrintToString(serial);
    }
  }
}

TEST(SysfsUsbHubSourceTest, DeviceWithoutSerialGetsAPortInstance) {
  SysfsTree tree;
  tree.AddDevice("1-2", 0x046d, 0xc52b, std::nullopt);
  tree.AddDevice("1-3", 0x8087, 0x0024, std::nullopt, {0x09});
  tree.AddDevice("1-3.4", 0x046d, 0xc31c, std::nullopt);
  // Named in the descriptor, but the kernel could not fetch it.
  fs::remove(tree.AddDevice("1-3.5", 0x046d, 0xc31d, "X") / "serial");
  const auto ids = Scan(tree.root());
  ASSERT_EQ(ids.size(), 4U);
  EXPECT_PRED2(Matches, ids[0], R"(USB\\VID_046D&PID_C52B\\5&[0-9A-F]{8}&0&2)");
  EXPECT_PRED2(Matches, ids[1], R"(USB\\VID_8087&PID_0024\\5&[0-9A-F]{8}&0&3)");
  EXPECT_PRED2(Matches, ids[2], R"(USB\\VID_046D&PID_C31C\\6&[0-9A-F]{8}&0&4)");
  EXPECT_PRED2(Matches, ids[3], R"(USB\\VID_046D&PID_C31D\\6&[0-9A-F]{8}&0&5)");
  // Same parent, same hash; another parent, another hash.
  const auto hash = [](const std::string& id) { return id.substr(id.find('&', 22) + 1, 8); };
  EXPECT_EQ(hash(ids[0]), hash(ids[1]));
  EXPECT_EQ(hash(ids[2]), hash(ids[3]));
  EXPECT_NE(hash(ids[0]), hash(ids[2]));
}

TEST(SysfsUsbHubSourceTest, PortInstanceStaysTheSameForTheSamePort) {
  SysfsTree first;
  first.AddDevice("2-1.3", 0x046d, 0xc52b, std::nullopt);
  SysfsTree second;
  second.AddDevice("2-1.2", 0x1234, 0x5678, std::nullopt);
  second.AddDevice("2-1.3", 0x046d, 0xc52b, std::nullopt);
  second.AddDevice("3-1.3", 0x046d, 0xc52b, std::nullopt);
  const auto ids = Scan(second.root());
  EXPECT_EQ(ScanOne(first.root()), ids.at(1));
  EXPECT_NE(ids.at(1), ids.at(2));
}

TEST(SysfsUsbHubSourceTest, LongSerialIsKeptUpToTheReadLimit) {
  SysfsTree tree;
  const std::string long_serial(4000, 'q');
  tree.AddDevice("1-1", 0x0781, 0x5581, long_serial);
  const fs::path huge = tree.AddDevice("1-2", 0x0781, 0x5582, "X");
  SysfsTree::Write(huge / "serial", std::string(std::size_t{70} * 1024, 'Q'));
  const auto ids = Scan(tree.root());
  ASSERT_EQ(ids.size(), 2U);
  EXPECT_EQ(ids[0], R"(USB\VID_0781&PID_5581\)" + std::string(4000, 'Q'));
  EXPECT_EQ(ids[1], "(unreadable)");
}

TEST(SysfsUsbHubSourceTest, InterfacesAndForeignNamesAreNotDevices) {
  SysfsTree tree;
  tree.AddRootHub(1, 0x0200);
  tree.AddDevice("1-1", 0x0781, 0x5581, "S1", {0x03, 0x03, 0xff});
  for (const char* name : {"usbmon", "port1", "1-1:bad", "1-x", "usb"}) {
    fs::create_directories(tree.Listing() / name);
  }
  const auto ids = Scan(tree.root());
  ASSERT_EQ(ids.size(), 2U);
  EXPECT_PRED2(Matches, ids[0], R"(USB\\ROOT_HUB20\\.*)");
  EXPECT_EQ(ids[1], R"(USB\VID_0781&PID_5581\S1)");
}

TEST(SysfsUsbHubSourceTest, MassStorageDevicesComeLastThenBusThenPortNumbers) {
  SysfsTree tree;
  tree.AddDevice("1-10", 0x0000, 0x0004, "MS110", {0x08});
  tree.AddDevice("2-1", 0x0000, 0x0005, "MS21", {0x03, 0x08});
  tree.AddDevice("1-2", 0x0000, 0x0006, "MS12", {0x08, 0x08});
  tree.AddRootHub(2, 0x0300);
  tree.AddDevice("2-1.1", 0x0000, 0x0003, "K211", {0x03});
  tree.AddDevice("1-2.1", 0x0000, 0x0001, "H121", {0x09});
  tree.AddDevice("1-2.10", 0x0000, 0x0001, "K1210", {0x0a});
  tree.AddDevice("1-2.9", 0x0000, 0x0001, "K129", {0xe0});
  tree.AddDevice("10-1", 0x0000, 0x0001, "K101");
  tree.AddRootHub(1, 0x0200);
  tree.AddDevice("1-3", 0x0000, 0x0001, "K13", {});
  const auto ids = Scan(tree.root());
  std::vector<std::string> names;
  names.reserve(ids.size());
  for (const std::string& id : ids) {
    const auto interface = id.find("&MI_");
    names.push_back(id.find("ROOT_HUB") != std::string::npos ? id.substr(4, 10)
                    : interface != std::string::npos         ? id.substr(interface + 1, 5)
                                                             : id.substr(id.rfind('\\') + 1));
  }
  // Single HID, CDC data and Bluetooth functions are not in the USB class; a composite
  // device's storage interfaces follow it.
  EXPECT_EQ(names, (std::vector<std::string>{"ROOT_HUB20", "H121", "K13", "ROOT_HUB30", "K101",
                                             "MS12", "MI_00", "MI_01", "MS110", "MS21", "MI_01"}));
}

TEST(SysfsUsbHubSourceTest, BrokenEntriesAreUnreadableAndDoNotStopTheScan) {
  SysfsTree tree;
  tree.AddDevice("1-1", 0x0781, 0x5581, "GOOD1");
  // Dangling link: the device went away.
  fs::create_directory_symlink("../../../devices/gone/1-2", tree.Listing() / "1-2");
  fs::remove(tree.AddDevice("1-3", 0x0781, 0x5581, "X") / "descriptors");
  fs::create_directory(Removed(tree.AddDevice("1-5", 0x0781, 0x5581, "X") / "descriptors"));
  fs::create_directory(Removed(tree.AddDevice("1-6", 0x0781, 0x5581, "X") / "serial"));
  SysfsTree::Write(tree.Listing() / "1-9", "a file, not a device directory");
  tree.AddRootHub(3, 0x0300);
  tree.AddRootHub(4, 0x0400);
  tree.AddRootHub(5, 0x0000);
  fs::remove(tree.AddRootHub(6, 0x0200) / "descriptors");
  tree.AddDevice("1-10", 0x0781, 0x5581, "GOOD2", {0x08});
  const auto ids = Scan(tree.root());
  EXPECT_EQ(ids,
            (std::vector<std::string>{
                R"(USB\VID_0781&PID_5581\GOOD1)", "(unreadable)", "(unreadable)", "(unreadable)",
                "(unreadable)", "(unreadable)", R"(USB\ROOT_HUB30\4&)" + ids.at(6).substr(17),
                "(unreadable)", "(unreadable)", "(unreadable)", R"(USB\VID_0781&PID_5581\GOOD2)"}));
  SysfsUsbHubSource source(tree.root());
  EXPECT_EQ(CC(source), u"GOOD2");
}

TEST(SysfsUsbHubSourceTest, MalformedDescriptors) {
  SysfsTree tree;
  const std::string good = Descriptors(0x0781, 0x5581, 0x0200, {0x07, 0x08});
  const auto device = [&tree](const std::string& name, const std::string& descriptors) {
    SysfsTree::Write(tree.AddDevice(name, 0, 0, name) / "descriptors", descriptors);
  };
  // The device descriptor is the identifier: without all of it there is none.
  device("1-1", good.substr(0, 17));
  device("1-2", "\x11" + good.substr(1));
  device("1-3", std::string("\x12\x02", 2) + good.substr(2));
  device("1-4", "");
  // Configurations only sort: what fits before a fault counts, and the device stays.
  device("1-5", good.substr(0, 18));
  device("1-6", good.substr(0, 36) + std::string(2, '\0') + good.substr(36));
  std::string long_total = good;
  long_total[20] = '\x7f';
  device("1-7", long_total);
  std::string short_interface = good;
  short_interface[36] = '\x05';
  device("1-8", short_interface);
  std::string zero_length = good;
  zero_length[27] = '\0';
  device("1-9", zero_length);
  const std::string cut_short("\x09\x04\x01\x00\x01\x08", 6);
  device("1-10", Descriptors(0x0781, 0x5581, 0x0200, {0x07}) + cut_short);
  auto ids = Scan(tree.root());
  ASSERT_EQ(ids.size(), 12U);
  // 1-7's printer and storage interfaces, the last two.
  EXPECT_PRED2(Matches, ids[10], R"(USB\\VID_0781&PID_5581&MI_00\\6&.*&0000)");
  EXPECT_PRED2(Matches, ids[11], R"(USB\\VID_0781&PID_5581&MI_01\\6&.*&0001)");
  ids.resize(10);
  EXPECT_EQ(ids, (std::vector<std::string>{
                     "(unreadable)", "(unreadable)", "(unreadable)", "(unreadable)",
                     R"(USB\VID_0781&PID_5581\1-5)", R"(USB\VID_0781&PID_5581\1-6)",
                     R"(USB\VID_0781&PID_5581\1-8)", R"(USB\VID_0781&PID_5581\1-9)",
                     R"(USB\VID_0781&PID_5581\1-10)", R"(USB\VID_0781&PID_5581\1-7)"}));
}

TEST(SysfsUsbHubSourceTest, PlantedPipesAndEndlessFilesNeitherStallNorExhaust) {
  SysfsTree tree;
  const auto plant = [&tree](const std::string& name, bool serial, const char* file) {
    return Removed(
        tree.AddDevice(name, 0x0781, 0x5581, serial ? "X" : std::optional<std::string>()) / file);
  };
  ASSERT_EQ(::mkfifo(plant("1-1", true, "serial").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", plant("1-2", false, "descriptors"));
  ASSERT_EQ(::mkfifo(plant("1-3", false, "descriptors").c_str(), 0600), 0);
  const auto ids = Scan(tree.root());
  ASSERT_EQ(ids.size(), 3U);
  EXPECT_PRED2(Matches, ids[0], R"(USB\\VID_0781&PID_5581\\5&[0-9A-F]{8}&0&1)");
  EXPECT_EQ(ids[1], "(unreadable)");
  EXPECT_EQ(ids[2], "(unreadable)");
}

TEST(SysfsUsbHubSourceTest, MissingDeviceListIsAnEmptyResult) {
  SysfsTree tree;
  fs::remove_all(tree.root() / "bus");
  SysfsUsbHubSource source(tree.root());
  auto service = source.Bind(kServiceMoniker);
  ASSERT_NE(service, nullptr);
  auto results = service->ExecQuery(kUsbHubQuery);
  ASSERT_NE(results, nullptr);
  ASSERT_TRUE(results->StartEnumeration());
  EXPECT_EQ(results->Next(), UsbHubResults::Fetch::kEnd);
  EXPECT_EQ(CC(source), std::nullopt);
}

TEST(SysfsUsbHubSourceTest, OnlyTheManagementMonikerAndHubQueryAreServed) {
  SysfsTree tree;
  SysfsUsbHubSource source(tree.root());
  EXPECT_EQ(source.Bind(u"winmgmts:\\\\.\\root\\default"), nullptr);
  EXPECT_EQ(source.Bind(u"WINMGMTS:\\\\.\\ROOT\\CIMV2x"), nullptr);
  EXPECT_EQ(source.Bind(u""), nullptr);
  auto service = source.Bind(kServiceMoniker);
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->ExecQuery(u"Select * From Win32_USBControllerDevice"), nullptr);
  EXPECT_EQ(service->ExecQuery(u"Select * From Win32_USBHub "), nullptr);
  EXPECT_NE(service->ExecQuery(kUsbHubQuery), nullptr);
}

TEST(SysfsUsbHubSourceTest, ResultsAreASnapshotTakenByTheQuery) {
  SysfsTree tree;
  tree.AddDevice("1-1", 0x0781, 0x5581, "FIRST");
  SysfsUsbHubSource source(tree.root());
  auto service = source.Bind(kServiceMoniker);
  auto results = service->ExecQuery(kUsbHubQuery);
  ASSERT_NE(results, nullptr);
  tree.AddDevice("1-0", 0x0781, 0x5581, "LATER");
  fs::remove_all(tree.root() / "devices");

  EXPECT_EQ(results->ReadDeviceId(), DeviceId::Unreadable()) << "nothing fetched yet";
  EXPECT_EQ(results->Next(), UsbHubResults::Fetch::kFailed) << "not started";
  ASSERT_TRUE(results->StartEnumeration());
  ASSERT_EQ(results->Next(), UsbHubResults::Fetch::kItem);
  EXPECT_EQ(results->ReadDeviceId(), DeviceId::Text(u"USB\\VID_0781&PID_5581\\FIRST"));
  EXPECT_EQ(results->Next(), UsbHubResults::Fetch::kEnd);
  EXPECT_EQ(results->ReadDeviceId(), DeviceId::Unreadable());
}

TEST(SysfsUsbHubSourceTest, CcPicksTheDriveOnATypicalMachine) {
  SysfsTree tree;
  tree.AddRootHub(1, 0x0200);
  tree.AddRootHub(2, 0x0300);
  tree.AddDevice("1-4", 0x8087, 0x0a2b, std::nullopt, {0xe0, 0xe0});
  tree.AddDevice("2-3", 0x0951, 0x1666, "e0d55ea574b7f4a0c8a3", {0x08});
  tree.AddDevice("1-6", 0x04f2, 0xb604, "0001", {0x0e, 0x0e});
  tree.AddDevice("1-1", 0x046d, 0xc52b, std::nullopt, {0x03, 0x03, 0x03});
  SysfsUsbHubSource source(tree.root());
  EXPECT_EQ(CC(source), u"E0D55EA574B7F4A0C8A3");
}

TEST(SysfsUsbHubSourceTest, TheReadTakesOnlyAStorageDevice) {
  for (const auto& scenario : fixtures::ReadScenarios()) {
    SysfsTree tree;
    scenario.plant(tree);
    SysfsUsbHubSource source(tree.root());
    const SerialValue serial = CC(source);
    EXPECT_EQ(serial ? std::optional<std::string>(Describe(DeviceId::Text(*serial))) : std::nullopt,
              scenario.serial)
        << scenario.name;
  }
}

TEST(SysfsUsbHubSourceTest, ListsWhatWindowsFilesInTheUsbClass) {
  SysfsTree tree;
  tree.AddRootHub(1, 0x0200);
  tree.AddRawDevice("1-1", fixtures::kKeyboardBytes, "KBD1");
  tree.AddRawDevice("1-2", fixtures::kCompositeStickBytes, "CS1");
  tree.AddRawDevice("1-3", fixtures::kPrinterScannerBytes, "PS1");
  tree.AddRawDevice("1-4", fixtures::kBluetoothBytes, std::nullopt);
  tree.AddRawDevice("1-5", fixtures::kHubBytes, std::nullopt);
  const auto ids = Scan(tree.root());
  ASSERT_EQ(ids.size(), 7U) << testing::PrintToString(ids);
  EXPECT_PRED2(Matches, ids[0], R"(USB\\ROOT_HUB20\\.*)");
  EXPECT_PRED2(Matches, ids[1], R"(USB\\VID_05E3&PID_0608\\5&[0-9A-F]{8}&0&5)");
  EXPECT_EQ(ids[2], R"(USB\VID_0951&PID_16A2\CS1)");
  EXPECT_PRED2(Matches, ids[3], R"(USB\\VID_0951&PID_16A2&MI_00\\6&[0-9A-F]{8}&0&0000)");
  EXPECT_EQ(ids[4], R"(USB\VID_03F0&PID_5417\PS1)");
  EXPECT_PRED2(Matches, ids[5], R"(USB\\VID_03F0&PID_5417&MI_01\\6&[0-9A-F]{8}&0&0001)");
  EXPECT_PRED2(Matches, ids[6], R"(USB\\VID_03F0&PID_5417&MI_03\\6&[0-9A-F]{8}&0&0003)");

  // The storage drivers run on the interface nodes; the read maps them to their device.
  SysfsUsbHubSource source(tree.root());
  auto service = source.Bind(kServiceMoniker);
  ASSERT_NE(service, nullptr);
  auto storage = service->ExecQuery(kUsbStorageQuery);
  ASSERT_TRUE(storage != nullptr && storage->StartEnumeration());
  std::vector<std::string> nodes;
  while (storage->Next() == UsbHubResults::Fetch::kItem) {
    nodes.push_back(Describe(storage->ReadDeviceId()));
  }
  EXPECT_EQ(nodes, (std::vector<std::string>{ids[3], ids[6]}));
  const auto listing = ReadUsbHubListing(source);
  ASSERT_TRUE(listing.has_value());
  EXPECT_EQ(listing->storage, (std::vector<bool>{false, false, true, false, true, false, false}));
  EXPECT_EQ(CC(source), u"PS1");
}

}  // namespace
}  // namespace vellmor::serial

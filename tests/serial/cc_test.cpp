#include "serial/cc.h"
#include "device_ids.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

namespace vellmor::serial {
namespace {

// What the fake collection does at each fetch.
struct FetchFails {};
struct FetchThrows {};
struct ReadThrows {};
using Step = std::variant<DeviceId, FetchFails, FetchThrows, ReadThrows>;

enum class Outcome { kSucceeds, kFails, kThrows };

struct Script {
  Outcome bind = Outcome::kSucceeds;
  Outcome query = Outcome::kSucceeds;
  Outcome start = Outcome::kSucceeds;
  std::vector<Step> steps;
  // What the storage query delivers: the hub query's steps, or storage_steps.
  bool storage_as_hubs = true;
  std::vector<Step> storage_steps = {};
  Outcome storage_query = Outcome::kSucceeds;
};

// Records every call and every object's life, so the tests can see what CC asked
// for and what it left behind.
struct Log {
  std::vector<std::string> calls;
  std::vector<std::u16string> monikers;
  std::vector<std::u16string> queries;
  int live_objects = 0;
};

// Logs the call, then throws, fails or succeeds as scripted.
bool Perform(Log& log, const char* call, Outcome outcome) {
  log.calls.emplace_back(call);
  if (outcome == Outcome::kThrows) {
    throw std::runtime_error(call);
  }
  return outcome == Outcome::kSucceeds;
}

// Counts itself among the live objects until it is released.
class Tracked {
 public:
  Tracked(const Script& script, Log& log, const char* name)
      : m_script(script), m_log(log), m_name(name) {
    ++m_log.live_objects;
  }
  ~Tracked() {
    --m_log.live_objects;
    m_log.calls.push_back(std::string("release ") + m_name);
  }
  Tracked(const Tracked&) = delete;
  Tracked& operator=(const Tracked&) = delete;

 protected:
  const Script& m_script;
  Log& m_log;

 private:
  const char* m_name;
};

class FakeResults : public UsbHubResults, Tracked {
 public:
  FakeResults(const Script& script, Log& log, const std::vector<Step>& steps)
      : Tracked(script, log, "results"), m_steps(steps) {}

  bool StartEnumeration() override { return Perform(m_log, "start", m_script.start); }

  Fetch Next() override {
    m_log.calls.emplace_back("next");
    if (m_next >= m_steps.size()) {
      return Fetch::kEnd;
    }
    m_current = &m_steps[m_next++];
    if (std::holds_alternative<FetchThrows>(*m_current)) {
      throw std::runtime_error("next");
    }
    return std::holds_alternative<FetchFails>(*m_current) ? Fetch::kFailed : Fetch::kItem;
  }

  DeviceId ReadDeviceId() override {
    m_log.calls.emplace_back("read");
    if (const auto* id = std::get_if<DeviceId>(m_current)) {
      return *id;
    }
    throw std::runtime_error("read");
  }

 private:
  const std::vector<Step>& m_steps;
  std::size_t m_next = 0;
  const Step* m_current = nullptr;
};

class FakeService : public UsbHubService, Tracked {
 public:
  FakeService(const Script& script, Log& log) : Tracked(script, log, "service") {}

  std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view query) override {
    m_log.queries.emplace_back(query);
    const bool storage = query == kUsbStorageQuery;
    if (!Perform(m_log, "query", storage ? m_script.storage_query : m_script.query)) {
      return nullptr;
    }
    return std::make_unique<FakeResults>(
        m_script, m_log,
        storage && !m_script.storage_as_hubs ? m_script.storage_steps : m_script.steps);
  }
};

class FakeSource : public UsbHubSource {
 public:
  explicit FakeSource(Script script) : m_script(std::move(script)) {}

  std::unique_ptr<UsbHubService> Bind(std::u16string_view moniker) override {
    m_log.monikers.emplace_back(moniker);
    if (!Perform(m_log, "bind", m_script.bind)) {
      return nullptr;
    }
    return std::make_unique<FakeService>(m_script, m_log);
  }

  const Log& log() const { return m_log; }

 private:
  Script m_script;
  Log m_log;
};

const DeviceId kRootHub = Id(u"USB\\ROOT_HUB20\\4&1A2B3C&0");
const DeviceId kFirstDrive = Id(u"USB\\VID_1234&PID_5678\\AAA1");
const DeviceId kSecondDrive = Id(u"USB\\VID_4321&PID_8765\\BBB2");

TEST(CcTest, BindsQueriesAndEnumeratesInOrderThenReleasesEverything) {
  FakeSource source({.steps = {kRootHub, kFirstDrive}});
  EXPECT_EQ(CC(source), u"AAA1");

  const Log& log = source.log();
  EXPECT_EQ(log.monikers, std::vector<std::u16string>{u"winmgmts:\\\\.\\root\\cimv2"});
  // The storage query on the same service once an identifier has VID.
  EXPECT_EQ(log.queries,
            (std::vector<std::u16string>{u"Select * From Win32_USBHub",
                                         u"Select DeviceID From Win32_PnPEntity Where Service = "
                                         u"'USBSTOR' Or Service = 'UASPStor'"}));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"bind", "query", "start", "next", "read", "next",
                                                 "read", "next", "release results", "query",
                                                 "start", "next", "read", "next", "read", "next",
                                                 "release results", "release service"}));
  EXPECT_EQ(log.live_objects, 0);
}

TEST(CcTest, EachCallQueriesAnew) {
  FakeSource source({.steps = {kFirstDrive}});
  EXPECT_EQ(CC(source), u"AAA1");
  EXPECT_EQ(CC(source), u"AAA1");
  EXPECT_EQ(source.log().monikers.size(), 2U);
  EXPECT_EQ(source.log().queries.size(), 4U);
}

TEST(CcTest, LastMatchReadBeforeTheEndOrAFailedFetchWins) {
  const struct {
    std::vector<Step> steps;
    SerialValue expected;
  } kCases[] = {
      {{}, std::nullopt},
      {{kFirstDrive, kSecondDrive, kRootHub}, u"BBB2"},
      // Unreadable or missing identifiers are passed over.
      {{kFirstDrive, DeviceId::Unreadable(), ReadThrows{}, DeviceId::Missing()}, u"AAA1"},
      {{ReadThrows{}, DeviceId::Unreadable(), kSecondDrive}, u"BBB2"},
      // A failed fetch ends the scan with what was found.
      {{kFirstDrive, FetchFails{}, kSecondDrive}, u"AAA1"},
      {{kFirstDrive, FetchThrows{}, kSecondDrive}, u"AAA1"},
      {{FetchFails{}, kFirstDrive}, std::nullopt},
  };
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(i);
    FakeSource source({.steps = kCases[i].steps});
    EXPECT_EQ(CC(source), kCases[i].expected);
    EXPECT_EQ(source.log().live_objects, 0);
  }
}

// The read takes the last identifier with VID that names a storage device; a composite
// device counts by its interface node, and the second query runs only when needed.
TEST(CcTest, TakesTheLastStorageDevice) {
  const DeviceId keyboard = Id(u"USB\\VID_046D&PID_C31C\\5&1D2B9A7&0&1");
  const DeviceId composite = Id(u"USB\\VID_0951&PID_16A2\\CCC3");
  const DeviceId composite_node = Id(u"USB\\VID_0951&PID_16A2&MI_00\\6&3A0E5F1&0&0000");
  const struct {
    const char* name;
    std::vector<Step> hubs;
    std::vector<Step> storage;
    SerialValue expected;
  } kCases[] = {
      {"keyboard only", {kRootHub, keyboard}, {}, std::nullopt},
      {"keyboard after the stick", {kRootHub, kFirstDrive, keyboard}, {kFirstDrive}, u"AAA1"},
      {"two sticks", {kFirstDrive, kSecondDrive, keyboard}, {kSecondDrive, kFirstDrive}, u"BBB2"},
      {"composite stick",
       {kRootHub, composite, composite_node, keyboard},
       {composite_node},
       u"CCC3"},
      {"letters differ in case",
       {kRootHub, composite},
       {Id(u"usb\\vid_0951&pid_16a2&mi_01\\6&1&0&0001")},
       u"CCC3"},
      {"another model's interface node",
       {composite},
       {Id(u"USB\\VID_0951&PID_16A3&MI_00\\X")},
       std::nullopt},
      {"a node that is no Win32_USBHub entry",
       {kFirstDrive},
       {Id(u"USBSTOR\\DISK&VEN_X\\AAA1")},
       std::nullopt},
      {"unreadable storage node",
       {kFirstDrive},
       {DeviceId::Unreadable(), ReadThrows{}},
       std::nullopt},
  };
  for (const auto& c : kCases) {
    FakeSource source({.steps = c.hubs, .storage_as_hubs = false, .storage_steps = c.storage});
    EXPECT_EQ(CC(source), c.expected) << c.name;
    EXPECT_EQ(source.log().live_objects, 0) << c.name;
  }

  FakeSource bare({.steps = {kRootHub}, .storage_as_hubs = false});
  EXPECT_EQ(CC(bare), std::nullopt);
  EXPECT_EQ(bare.log().queries.size(), 1U) << "no identifier has VID: no second query";

  for (const Outcome outcome : {Outcome::kFails, Outcome::kThrows}) {
    FakeSource failing({.steps = {kFirstDrive}, .storage_query = outcome});
    EXPECT_EQ(CC(failing), std::nullopt) << "storage unknown: no device is taken";
    EXPECT_EQ(failing.log().live_objects, 0);
  }
}

TEST(CcTest, FailedFetchStopsFetching) {
  FakeSource source({.steps = {kFirstDrive, FetchFails{}, kSecondDrive}});
  EXPECT_EQ(CC(source), u"AAA1");
  EXPECT_EQ(source.log().calls,
            (std::vector<std::string>{"bind", "query", "start", "next", "read", "next",
                                      "release results", "query", "start", "next", "read", "next",
                                      "release results", "release service"}));
}

TEST(CcTest, FailureBeforeTheScanGivesNoValueAndReleasesWhatWasMade) {
  const std::pair<Outcome Script::*, std::vector<std::string>> kFailurePoints[] = {
      {&Script::bind, {"bind"}},
      {&Script::query, {"bind", "query", "release service"}},
      {&Script::start, {"bind", "query", "start", "release results", "release service"}}};
  for (const auto& [point, calls] : kFailurePoints) {
    for (const Outcome outcome : {Outcome::kFails, Outcome::kThrows}) {
      SCOPED_TRACE(testing::Message()
                   << calls.size() << " calls, outcome " << static_cast<int>(outcome));
      Script script{.steps = {kFirstDrive}};
      script.*point = outcome;
      FakeSource source(script);
      EXPECT_EQ(CC(source), std::nullopt);
      EXPECT_EQ(source.log().calls, calls);
      EXPECT_EQ(source.log().live_objects, 0);
      FakeSource collecting(script);
      EXPECT_TRUE(CollectDeviceIds(collecting).empty());
    }
  }
}

TEST(CcTest, CollectDeviceIdsListsEveryReadInOrderUpToAFailedFetch) {
  FakeSource source({.steps = {kRootHub, DeviceId::Missing(), ReadThrows{}, kFirstDrive}});
  EXPECT_EQ(CollectDeviceIds(source), (std::vector<DeviceId>{kRootHub, DeviceId::Missing(),
                                                             DeviceId::Unreadable(), kFirstDrive}));
  EXPECT_EQ(source.log().live_objects, 0);

  FakeSource broken_fetch({.steps = {kRootHub, FetchFails{}, kFirstDrive}});
  EXPECT_EQ(CollectDeviceIds(broken_fetch), std::vector<DeviceId>{kRootHub});
}

// The drive list, check and the library must not take a list cut short for the whole.
TEST(CcTest, ReadDeviceIdsGivesNoValueForAListCutShort) {
  for (const Step& failure : {Step(FetchFails{}), Step(FetchThrows{})}) {
    FakeSource source({.steps = {kRootHub, failure, kFirstDrive}});
    EXPECT_EQ(ReadDeviceIds(source), std::nullopt);
    EXPECT_EQ(source.log().live_objects, 0);
  }
  FakeSource whole({.steps = {kRootHub, ReadThrows{}, kFirstDrive}});
  EXPECT_EQ(ReadDeviceIds(whole),
            (std::vector<DeviceId>{kRootHub, DeviceId::Unreadable(), kFirstDrive}));
}

}  // namespace
}  // namespace vellmor::serial

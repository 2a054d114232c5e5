#include "serial/cc.h"

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
  FakeResults(const Script& script, Log& log) : Tracked(script, log, "results") {}

  bool StartEnumeration() override { return Perform(m_log, "start", m_script.start); }

  Fetch Next() override {
    m_log.calls.emplace_back("next");
    if (m_next >= m_script.steps.size()) {
      return Fetch::kEnd;
    }
    m_current = &m_script.steps[m_next++];
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
  std::size_t m_next = 0;
  const Step* m_current = nullptr;
};

class FakeService : public UsbHubService, Tracked {
 public:
  FakeService(const Script& script, Log& log) : Tracked(script, log, "service") {}

  std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view query) override {
    m_log.queries.emplace_back(query);
    if (!Perform(m_log, "query", m_script.query)) {
      return nullptr;
    }
    return std::make_unique<FakeResults>(m_script, m_log);
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

DeviceId Id(std::u16string text) { return DeviceId::Text(std::move(text)); }

const DeviceId kRootHub = Id(u"USB\\ROOT_HUB20\\4&1A2B3C&0");
const DeviceId kFirstDrive = Id(u"USB\\VID_1234&PID_5678\\AAA1");
const DeviceId kSecondDrive = Id(u"USB\\VID_4321&PID_8765\\BBB2");

TEST(CcTest, BindsQueriesAndEnumeratesInOrderThenReleasesEverything) {
  FakeSource source({.steps = {kRootHub, kFirstDrive}});
  EXPECT_EQ(CC(source), u"AAA1");

  const Log& log = source.log();
  EXPECT_EQ(log.monikers, std::vector<std::u16string>{u"winmgmts:\\\\.\\root\\cimv2"});
  EXPECT_EQ(log.queries, std::vector<std::u16string>{u"Select * From Win32_USBHub"});
  EXPECT_EQ(log.calls,
            (std::vector<std::string>{"bind", "query", "start", "next", "read", "next", "read",
                                      "next", "release results", "release service"}));
  EXPECT_EQ(log.live_objects, 0);
}

TEST(CcTest, EachCallQueriesAnew) {
  FakeSource source({.steps = {kFirstDrive}});
  EXPECT_EQ(CC(source), u"AAA1");
  EXPECT_EQ(CC(source), u"AAA1");
  EXPECT_EQ(source.log().queries.size(), 2U);
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

TEST(CcTest, FailedFetchStopsFetching) {
  FakeSource source({.steps = {kFirstDrive, FetchFails{}, kSecondDrive}});
  EXPECT_EQ(CC(source), u"AAA1");
  EXPECT_EQ(source.log().calls,
            (std::vector<std::string>{"bind", "query", "start", "next", "read", "next",
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

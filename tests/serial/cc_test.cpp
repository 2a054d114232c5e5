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

class FakeResults : public UsbHubResults {
 public:
  FakeResults(const Script& script, Log& log) : m_script(script), m_log(log) {
    ++m_log.live_objects;
  }
  ~FakeResults() override {
    --m_log.live_objects;
    m_log.calls.emplace_back("release results");
  }

  bool StartEnumeration() override {
    m_log.calls.emplace_back("start");
    if (m_script.start == Outcome::kThrows) {
      throw std::runtime_error("start");
    }
    return m_script.start == Outcome::kSucceeds;
  }

  Fetch Next() override {
    m_log.calls.emplace_back("next");
    if (m_next >= m_script.steps.size()) {
      return Fetch::kEnd;
    }
    m_current = &m_script.steps[m_next++];
    if (std::holds_alternative<FetchFails>(*m_current)) {
      return Fetch::kFailed;
    }
    if (std::holds_alternative<FetchThrows>(*m_current)) {
      throw std::runtime_error("next");
    }
    return Fetch::kItem;
  }

  DeviceId ReadDeviceId() override {
    m_log.calls.emplace_back("read");
    if (const auto* id = std::get_if<DeviceId>(m_current)) {
      return *id;
    }
    throw std::runtime_error("read");
  }

 private:
  const Script& m_script;
  Log& m_log;
  std::size_t m_next = 0;
  const Step* m_current = nullptr;
};

class FakeService : public UsbHubService {
 public:
  FakeService(const Script& script, Log& log) : m_script(script), m_log(log) {
    ++m_log.live_objects;
  }
  ~FakeService() override {
    --m_log.live_objects;
    m_log.calls.emplace_back("release service");
  }

  std::unique_ptr<UsbHubResults> ExecQuery(std::u16string_view query) override {
    m_log.calls.emplace_back("query");
    m_log.queries.emplace_back(query);
    if (m_script.query == Outcome::kThrows) {
      throw std::runtime_error("query");
    }
    if (m_script.query == Outcome::kFails) {
      return nullptr;
    }
    return std::make_unique<FakeResults>(m_script, m_log);
  }

 private:
  const Script& m_script;
  Log& m_log;
};

class FakeSource : public UsbHubSource {
 public:
  explicit FakeSource(Script script) : m_script(std::move(script)) {}

  std::unique_ptr<UsbHubService> Bind(std::u16string_view moniker) override {
    m_log.calls.emplace_back("bind");
    m_log.monikers.emplace_back(moniker);
    if (m_script.bind == Outcome::kThrows) {
      throw std::runtime_error("bind");
    }
    if (m_script.bind == Outcome::kFails) {
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

TEST(CcTest, LastMatchInDeliveryOrderWins) {
  FakeSource source({.steps = {kFirstDrive, kSecondDrive, kRootHub}});
  EXPECT_EQ(CC(source), u"BBB2");
}

TEST(CcTest, FailedBindGivesNoValueAndQueriesNothing) {
  for (const Outcome bind : {Outcome::kFails, Outcome::kThrows}) {
    FakeSource source({.bind = bind, .steps = {kFirstDrive}});
    EXPECT_EQ(CC(source), std::nullopt);
    EXPECT_TRUE(source.log().queries.empty());
    EXPECT_EQ(source.log().live_objects, 0);
  }
}

TEST(CcTest, FailedQueryGivesNoValue) {
  for (const Outcome query : {Outcome::kFails, Outcome::kThrows}) {
    FakeSource source({.query = query, .steps = {kFirstDrive}});
    EXPECT_EQ(CC(source), std::nullopt);
    EXPECT_EQ(source.log().calls, (std::vector<std::string>{"bind", "query", "release service"}));
  }
}

TEST(CcTest, EnumerationThatCannotStartGivesNoValue) {
  for (const Outcome start : {Outcome::kFails, Outcome::kThrows}) {
    FakeSource source({.start = start, .steps = {kFirstDrive}});
    EXPECT_EQ(CC(source), std::nullopt);
    EXPECT_EQ(source.log().calls, (std::vector<std::string>{"bind", "query", "start",
                                                            "release results", "release service"}));
  }
}

TEST(CcTest, UnreadableOrMissingDeviceIdIsPassedOver) {
  FakeSource source(
      {.steps = {kFirstDrive, DeviceId::Unreadable(), ReadThrows{}, DeviceId::Missing()}});
  EXPECT_EQ(CC(source), u"AAA1");

  FakeSource later_match({.steps = {ReadThrows{}, DeviceId::Unreadable(), kSecondDrive}});
  EXPECT_EQ(CC(later_match), u"BBB2");
}

TEST(CcTest, FailedFetchEndsTheScanWithWhatWasFound) {
  FakeSource source({.steps = {kFirstDrive, FetchFails{}, kSecondDrive}});
  EXPECT_EQ(CC(source), u"AAA1");
  EXPECT_EQ(source.log().calls,
            (std::vector<std::string>{"bind", "query", "start", "next", "read", "next",
                                      "release results", "release service"}));

  FakeSource throwing({.steps = {kFirstDrive, FetchThrows{}, kSecondDrive}});
  EXPECT_EQ(CC(throwing), u"AAA1");
  EXPECT_EQ(throwing.log().live_objects, 0);
}

TEST(CcTest, FailedFirstFetchGivesNoValue) {
  FakeSource source({.steps = {FetchFails{}, kFirstDrive}});
  EXPECT_EQ(CC(source), std::nullopt);
}

TEST(CcTest, EmptyCollectionGivesNoValue) {
  FakeSource source(Script{});
  EXPECT_EQ(CC(source), std::nullopt);
}

TEST(CcTest, CollectDeviceIdsListsEveryReadInOrder) {
  FakeSource source({.steps = {kRootHub, DeviceId::Missing(), ReadThrows{}, kFirstDrive}});
  EXPECT_EQ(CollectDeviceIds(source), (std::vector<DeviceId>{kRootHub, DeviceId::Missing(),
                                                             DeviceId::Unreadable(), kFirstDrive}));
  EXPECT_EQ(source.log().live_objects, 0);
}

TEST(CcTest, CollectDeviceIdsAbsorbsFailuresLikeCc) {
  FakeSource no_service({.bind = Outcome::kFails, .steps = {kFirstDrive}});
  EXPECT_TRUE(CollectDeviceIds(no_service).empty());

  FakeSource no_query({.query = Outcome::kThrows, .steps = {kFirstDrive}});
  EXPECT_TRUE(CollectDeviceIds(no_query).empty());

  FakeSource no_start({.start = Outcome::kFails, .steps = {kFirstDrive}});
  EXPECT_TRUE(CollectDeviceIds(no_start).empty());

  FakeSource broken_fetch({.steps = {kRootHub, FetchFails{}, kFirstDrive}});
  EXPECT_EQ(CollectDeviceIds(broken_fetch), std::vector<DeviceId>{kRootHub});
}

}  // namespace
}  // namespace vellmor::serial

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drives.h"

namespace vellmor::drives {

// What saw a stick.
enum HistorySource : unsigned {
  kOwnEvents = 1U,    // the tool's own events (watch --log)
  kKernelLog = 2U,    // the kernel's lines about USB devices
  kDeviceStore = 4U,  // Windows' device store
};

// The MESSAGE_IDs of the tool's own events.
inline constexpr std::string_view kPresentMessageId = "0326c970bdac4b4ba3dc20cda2a78317";
inline constexpr std::string_view kArrivedMessageId = "c7baa10749b444458edb161f02d96763";
inline constexpr std::string_view kRemovedMessageId = "5c1ec34a9a544a39b09199160db2ca7c";

// One log entry, as far as the history reads it.
struct LogEntry {
  std::uint64_t time_usec = 0;  // since the epoch, UTC
  std::string boot;             // the boot it was logged in
  std::map<std::string, std::string, std::less<>> fields;
};

// One stick (vendor id, product id, serial) seen on this machine.
struct StickRecord {
  UsbDevice device;  // ids, serial, device id, names, notes; location is the last one
  std::uint64_t first_seen_usec = 0;  // 0 when no source kept a time
  std::uint64_t last_seen_usec = 0;
  unsigned arrivals = 0;
  unsigned sources = 0;
};

// Gathers sticks from log entries given in time order.
class StickHistory {
 public:
  StickHistory();
  ~StickHistory();
  StickHistory(const StickHistory&) = delete;
  StickHistory& operator=(const StickHistory&) = delete;

  void Add(const LogEntry& entry);
  // A stick as a store of devices keeps it, after the log's entries: when it was plugged
  // in as far as the store knows (`arrivals`, none when it keeps no dates) and when it was
  // last seen (0 when unknown). A plugging in the log already counted is not counted again.
  void AddStoreStick(const UsbDevice& device, const std::vector<std::uint64_t>& arrivals,
                     std::uint64_t last_seen_usec);
  // In the order they were first seen.
  std::vector<StickRecord> Sticks() const;

 private:
  struct Pending;
  void AddOwnEvent(const LogEntry& entry);
  void AddKernelLine(const LogEntry& entry);
  StickRecord& Seen(const UsbDevice& device, std::uint64_t time, unsigned source);

  std::vector<StickRecord> m_sticks;
  // When the kernel's lines last showed each stick arrive, by its place in m_sticks.
  std::vector<std::uint64_t> m_lastKernelArrival;
  // When the tool's events showed each stick arrive, by its place in m_sticks.
  std::vector<std::vector<std::uint64_t>> m_ownArrivals;
  // Kernel devices being described, by boot and port.
  std::map<std::string, std::unique_ptr<Pending>, std::less<>> m_pending;
};

// Reads the log's entries about sticks into `history`: this system's journal, or the
// journal files in `directory` (Linux); the Application log and the device store (Windows); from
// `since_usec` on when given. False with `error` when the log cannot be read or this system keeps
// none the history can read, or when this system's journal exists but this user may not read it
// (Linux). `note` names a source that could not be read while the others were.
bool ReadStickLog(StickHistory& history, const std::optional<std::string>& directory,
                  std::optional<std::uint64_t> since_usec, std::string& error, std::string& note);

// "2026-12-07T11:30:02.123Z"
std::string UtcTime(std::uint64_t usec);

// "2026-12-07", "2026-12-07T11:30", "2026-12-07T11:30:02" or with a final Z, all UTC.
std::optional<std::uint64_t> ParseUtcTime(std::string_view text);

}  // namespace vellmor::drives

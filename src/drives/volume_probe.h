#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellmor::drives {

// What a volume's superblock says.
struct VolumeFacts {
  std::optional<std::string> label;
  std::optional<std::string> file_system;
  std::optional<std::string> uuid;
};

struct ProbeOutcome {
  enum class Status {
    kRead,      // facts hold what was found, maybe nothing
    kNoAccess,  // the volume may not be opened here (no disk group, no node): ask udev
    kFailed,    // the media answered with an error
  };
  Status status = Status::kRead;
  VolumeFacts facts;
};

// Reads one volume. May block for as long as the media takes, or for ever.
class VolumeProber {
 public:
  virtual ~VolumeProber() = default;
  virtual ProbeOutcome Probe(const std::string& node) = 0;
};

// libblkid's superblock probe; none on Windows.
std::shared_ptr<VolumeProber> MakeBlkidProber();

// One device's volumes probed one after another on a thread of their own. Whoever waits
// stops waiting at a deadline; a probe still stuck in the kernel then keeps only that
// thread, which owns everything it touches.
class ProbeJob {
 public:
  using Clock = std::chrono::steady_clock;

  ProbeJob(std::shared_ptr<VolumeProber> prober, std::vector<std::string> nodes);
  ~ProbeJob();
  ProbeJob(const ProbeJob&) = delete;
  ProbeJob& operator=(const ProbeJob&) = delete;

  // True when every volume has been probed by `deadline`.
  bool WaitUntil(Clock::time_point deadline) const;
  bool finished() const;
  // Readable once finished, for poll.
  int descriptor() const;
  // One entry per node: no value for a volume whose probe has not finished.
  std::vector<std::optional<ProbeOutcome>> Outcomes() const;

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

}  // namespace vellmor::drives

#include "volume_probe.h"

#include <blkid/blkid.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace vellmor::drives {

namespace {

class BlkidProber : public VolumeProber {
 public:
  ProbeOutcome Probe(const std::string& node) override {
    ProbeOutcome outcome;
    errno = 0;
    const std::unique_ptr<blkid_struct_probe, decltype(&blkid_free_probe)> probe(
        blkid_new_probe_from_filename(node.c_str()), blkid_free_probe);
    if (!probe) {
      // A slot without a card or a user without the disk group is not a failing stick.
      outcome.status =
          errno == EIO ? ProbeOutcome::Status::kFailed : ProbeOutcome::Status::kNoAccess;
      return outcome;
    }
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(),
                                      BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_UUID);
    const int found = blkid_do_safeprobe(probe.get());
    if (found == -1) {
      outcome.status = ProbeOutcome::Status::kFailed;
      return outcome;
    }
    if (found == 0) {
      const auto value = [&](const char* name) -> std::optional<std::string> {
        const char* data = nullptr;
        if (blkid_probe_lookup_value(probe.get(), name, &data, nullptr) == 0 && data != nullptr) {
          return std::string(data);
        }
        return std::nullopt;
      };
      outcome.facts.label = value("LABEL");
      outcome.facts.file_system = value("TYPE");
      outcome.facts.uuid = value("UUID");
    }
    return outcome;
  }
};

}  // namespace

std::shared_ptr<VolumeProber> MakeBlkidProber() { return std::make_shared<BlkidProber>(); }

struct ProbeJob::State {
  State() : event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~State() {
    if (event >= 0) {
      ::close(event);
    }
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  void Finish() {
    {
      const std::lock_guard lock(mutex);
      finished = true;
    }
    done.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(event, &one, sizeof one);
  }

  mutable std::mutex mutex;
  std::condition_variable done;
  std::vector<std::optional<ProbeOutcome>> outcomes;
  bool finished = false;
  int event;
};

ProbeJob::ProbeJob(std::shared_ptr<VolumeProber> prober, std::vector<std::string> nodes)
    : m_state(std::make_shared<State>()) {
  m_state->outcomes.resize(nodes.size());
  if (nodes.empty()) {
    m_state->Finish();
    return;
  }
  try {
    // Detached: the process may print and exit while a read is stuck. A page-cache read
    // of a block device waits killably, so the exit takes the thread with it.
    std::thread([state = m_state, prober = std::move(prober), nodes = std::move(nodes)] {
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        ProbeOutcome outcome = prober->Probe(nodes[i]);
        const std::lock_guard lock(state->mutex);
        state->outcomes[i] = std::move(outcome);
      }
      state->Finish();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the volumes stay unread, as if they had not answered.
    m_state->Finish();
  }
}

ProbeJob::~ProbeJob() = default;

bool ProbeJob::WaitUntil(Clock::time_point deadline) const {
  std::unique_lock lock(m_state->mutex);
  return m_state->done.wait_until(lock, deadline, [&] { return m_state->finished; });
}

bool ProbeJob::finished() const {
  const std::lock_guard lock(m_state->mutex);
  return m_state->finished;
}

int ProbeJob::descriptor() const { return m_state->event; }

std::vector<std::optional<ProbeOutcome>> ProbeJob::Outcomes() const {
  const std::lock_guard lock(m_state->mutex);
  return m_state->outcomes;
}

}  // namespace vellmor::drives

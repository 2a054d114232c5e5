#include "check_command.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "allowed_command.h"
#include "base/utf.h"
#include "cli.h"
#include "digest/digest.h"
#include "drives/device_arrivals.h"
#include "drives/drive_json.h"
#include "drives/json_text.h"
#include "serial/cc.h"
#include "serial/digest_check.h"
#include "serial/usb_identifier.h"
#include "serial/read_serial_command.h"

namespace vellmor::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The drive object of `drives --json` for the device, its volumes left out.
std::string MatchJson(const serial::DigestMatch& match, const std::u16string& device_id,
                      drives::DriveSource* drives, const std::string& extra) {
  // Gone since, or not in the drive list: what the identifier tells, and null for
  // ids it does not give.
  drives::UsbDevice device;
  device.device_id = device_id;
  device.serial = match.serial;
  const auto parts = serial::ParseUsbIdentifier(device_id);
  if (parts) {
    device.vendor = parts->vendor;
    device.product = parts->product;
    device.serial_made_up = serial::IsGeneratedInstance(parts->instance);
  }
  bool listed = false;
  if (drives != nullptr) {
    if (auto devices = drives->ScanUsbDevices(drives::ScanDepth::kUnits)) {
      const auto found = std::ranges::find(*devices, device_id, &drives::UsbDevice::device_id);
      if (found != devices->end()) {
        device = std::move(*found);
        listed = true;
      }
    }
  }
  std::string json = drives::DriveJson(device);
  if (!listed && !parts) {
    // Quotes inside strings are escaped, so this is the field itself.
    constexpr std::string_view kMadeUpIds = R"("vendorId":"0000","productId":"0000")";
    if (const auto at = json.find(kMadeUpIds); at != std::string::npos) {
      json.replace(at, kMadeUpIds.size(), R"("vendorId":null,"productId":null)");
    }
  }
  json.pop_back();
  return json + R"(,"matched":)" + drives::JsonString(match.digest) + extra + "}";
}

// Without digests the list decides: the first stick, in delivery order, it allows.
std::optional<serial::DigestMatch> FindAllowed(const std::vector<drives::UsbDevice>& devices,
                                               const drives::AllowedList& allowed,
                                               std::ostream& err) {
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const auto verdict = drives::JudgeAllowed(allowed, devices[i]);
    if (verdict.allowed) {
      return serial::DigestMatch{
          i, devices[i].serial,
          digest::DigestText(std::u16string_view(devices[i].serial), serial::kDigestLength)};
    }
    if (verdict.untrusted_line != 0) {
      err << kProgramName << ": check: " << Utf16ToUtf8(devices[i].device_id) << ": "
          << drives::AllowedText(verdict) << '\n';
    }
  }
  return std::nullopt;
}

}  // namespace

int RunCheck(const Options& options, serial::UsbHubSource& source, drives::DriveSource* drives,
             std::ostream& out, std::ostream& err, const ArrivalsOpener& open_arrivals) {
  if (options.digests.empty() && !options.allowed) {
    return Refuse(err, "check needs at least one digest, or --allowed");
  }
  std::optional<drives::AllowedList> allowed;
  if (options.allowed && !(allowed = LoadAllowedList(*options.allowed, err))) {
    return kExitUsage;
  }
  std::vector<std::u16string> wanted;
  for (const std::string& text : options.digests) {
    auto digest = serial::ParseDigest(text);
    if (!digest) {
      return Refuse(err, "check: " + Describe(text) + " is not 32 hexadecimal digits");
    }
    wanted.push_back(std::move(*digest));
  }

  // Listening starts before the first look, so a stick plugged in between is not missed.
  std::unique_ptr<drives::DeviceArrivals> arrivals;
  const auto deadline =
      options.wait && *options.wait ? std::optional(Clock::now() + **options.wait) : std::nullopt;
  if (options.wait && drives != nullptr) {
    std::string error;
    arrivals = open_arrivals(*drives, drives::ScanDepth::kUnits, error);
    if (!arrivals) {
      err << kProgramName << ": cannot wait for a drive: " << error << '\n';
    }
  }

  for (;;) {
    const auto ids = serial::ReadCheckIds(source);
    if (!ids) {
      return Fail(err, "check: the system's device list cannot be read", kExitFailure);
    }
    // Notes from the identifiers alone, as the match itself: no volume is read.
    const auto listed =
        allowed ? drives::DevicesFromIdentifiers(*ids) : std::vector<drives::UsbDevice>();
    const auto match =
        wanted.empty() ? FindAllowed(listed, *allowed, err) : serial::FindDigestMatch(*ids, wanted);
    if (match) {
      const std::u16string& device_id = (*ids)[match->index].text;
      std::optional<drives::AllowedVerdict> verdict;
      if (allowed) {
        verdict = drives::JudgeAllowed(*allowed, listed[match->index]);
      }
      if (options.json) {
        out << MatchJson(*match, device_id, drives,
                         verdict ? drives::AllowedJsonFields(*verdict) : "")
            << '\n';
      } else {
        out << Utf16ToUtf8(device_id) << '\n' << Utf16ToUtf8(match->serial) << '\n';
        if (verdict) {
          out << drives::AllowedText(*verdict) << '\n';
        }
      }
      return kExitOk;
    }
    if (!arrivals) {
      break;
    }
    std::optional<std::chrono::milliseconds> left;
    if (deadline) {
      left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      if (left->count() <= 0) {
        break;
      }
    }
    const auto waited = arrivals->Wait(left);
    if (waited.outcome == drives::DeviceArrivals::Outcome::kInterrupted) {
      return 128 + waited.signal;  // as --wait: an interrupt is not "no match"
    }
    if (waited.outcome == drives::DeviceArrivals::Outcome::kFailed) {
      // The stick may have come meanwhile: not knowing is not "no match".
      return Fail(err, "check: " + waited.error, kExitFailure);
    }
    if (waited.outcome != drives::DeviceArrivals::Outcome::kArrived) {
      break;
    }
  }
  if (options.json) {
    out << R"({"schemaVersion":)" << drives::kJsonSchemaVersion << R"(,"matched":null})" << '\n';
  }
  err << kProgramName
      << (wanted.empty() ? ": check: no USB device now plugged in is allowed by the list\n"
                         : ": check: no USB device now plugged in has one of these digests\n");
  return kExitNoSerial;
}

}  // namespace vellmor::cli

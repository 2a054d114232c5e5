#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellmor::drives {

// What may be wrong with a serial for someone who binds a licence to it.
enum class SerialNote {
  kMadeUp,       // the system made the instance up from the port: it changes with the port
  kShort,        // fewer than 12 characters, the least the mass-storage class asks for
  kPlaceholder,  // a value many devices ship with, or a run of one character
  kShared,       // another device plugged in now has the same serial
  kCardReader,   // the serial belongs to a card reader, not to the card in it
  // The media did not answer in time or answered with errors: volumes show only what the
  // device list knows. Not about the serial, but a reason to look at the stick.
  kMediaUnreadable,
};

// A disk or one of its partitions as the system mounts it.
struct Volume {
  std::u16string name;  // "sdb1" on Linux, "Disk #1, Partition #0" on Windows
  std::uint64_t size_bytes = 0;
  std::optional<std::u16string> label;
  std::optional<std::u16string> file_system;
  std::optional<std::u16string> uuid;        // the file system's; the volume serial on Windows
  std::vector<std::u16string> mount_points;  // drive letters on Windows
};

struct Disk {
  Volume
      volume;  // the whole disk; a stick formatted without partitions carries its file system here
  std::optional<std::u16string> model;
  std::vector<Volume> partitions;
};

// One USB device of the same list the read action queries.
struct UsbDevice {
  // The system's own name for the device: "1-2.3" in sysfs, the instance path on Windows.
  std::string location;
  // Where it is plugged in, for the user: the port path "1-2.3" on Linux, the device's
  // location information ("Port_#0002.Hub_#0001") on Windows.
  std::optional<std::u16string> port;
  std::u16string device_id;
  std::u16string serial;  // the identifier's last piece, as the window shows it
  bool serial_made_up = false;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::optional<std::u16string> manufacturer;
  std::optional<std::u16string> product_name;
  bool mass_storage = false;
  bool card_reader = false;
  // Its volumes did not answer within the media deadline, or answered with errors.
  bool media_unreadable = false;
  std::vector<Disk> disks;
  std::vector<SerialNote> notes;
};

// How far a scan looks.
enum class ScanDepth {
  // Identifiers, serials, names, logical units and disk models: what the notes need.
  // Nothing is read from a volume and no mount table is read, so a failing stick cannot
  // hold the scan in its I/O.
  kUnits,
  // And each disk's volumes: labels, file systems and mount points.
  kVolumes,
};

// One device's volumes being read; see DriveSource::StartVolumeRead.
class VolumeRead {
 public:
  virtual ~VolumeRead() = default;
  // Readable (poll) once the read has finished; -1 where it finished before it was handed
  // over.
  virtual int descriptor() const = 0;
  virtual bool finished() const = 0;
  // When Finish answers even if the media has not.
  virtual std::chrono::steady_clock::time_point deadline() const = 0;
  // The device with what is known of its volumes, kMediaUnreadable where they did not
  // answer in time; no value when the device is no longer listed.
  virtual std::optional<UsbDevice> Finish() = 0;
};

// Where the devices and their disks come from: sysfs, the mount table and the
// volumes on Linux, the management service on Windows, a tree in a folder in tests.
class DriveSource {
 public:
  virtual ~DriveSource() = default;
  // Every USB device with an identifier, in delivery order, with notes; no value
  // when the device list cannot be read.
  virtual std::optional<std::vector<UsbDevice>> ScanUsbDevices(ScanDepth depth) = 0;
  // Why the last scan gave no value, in words; empty when the source cannot tell.
  virtual std::string LastError() const { return {}; }
  // Starts reading the volumes of `device` (from a kUnits scan) alone. Here: a whole
  // kVolumes scan, done at once; sources that can read one device's volumes apart and
  // without blocking do so.
  virtual std::unique_ptr<VolumeRead> StartVolumeRead(const UsbDevice& device);
};

std::unique_ptr<DriveSource> MakeSystemDriveSource();

}  // namespace vellmor::drives

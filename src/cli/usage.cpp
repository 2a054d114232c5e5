#include "usage.h"

namespace vellmor::cli {

namespace {

constexpr std::string_view kUsage =
    R"(Usage: vellmor-cli [--json] [--wait [SECONDS]] [--sysfs-root DIR]
       vellmor-cli list [--json] [--sysfs-root DIR]
       vellmor-cli drives [--json] [--allowed FILE]
           [--sysfs-root DIR [--dev-root DIR] [--mount-table FILE]]
       vellmor-cli watch [--json | --csv | --log] [--allowed FILE]
       vellmor-cli digest [--length N] [--] [TEXT | -]
       vellmor-cli select
       vellmor-cli check DIGEST... [--json] [--wait [SECONDS]] [--sysfs-root DIR]
       vellmor-cli check --allowed FILE [DIGEST...] [--json] [--wait [SECONDS]]
       vellmor-cli allowed usbguard|windows FILE
       vellmor-cli history [--json | --csv] [--since TIME] [--allowed FILE]
       vellmor-cli -h | --help | -V | --version

Without a command: reads the USB storage device's serial number once, as the
window's button does, and prints two lines: the serial number (an empty line
when there is none) and its digest, 32 upper-case hexadecimal digits. When the
serial number is empty it also prints 请插入U盘 on standard error and exits 1.
What may be wrong with the serial (made up from the port, short, a placeholder,
shared, a card reader's) follows on standard error as "note:" lines. The read,
its notes and --wait look at the system's device list only: no volume is
opened.

Commands:
  list     Prints every device identifier the query delivers, in delivery
           order, one a line: "* " marks the one the serial number is taken
           from (the last that contains VID and belongs to a USB storage
           device), "~ " the last that contains VID when that is another
           device, "  " the others; a result without an identifier shows as
           (no DeviceID), one whose identifier cannot be read as (unreadable).
           Exits 0 whether or not one matched.
  drives   Prints every USB mass-storage device now plugged in, in delivery
           order: identifier, serial, ids and names, disks and partitions with
           sizes, file systems, labels and mount points, and notes on the serial.
           Control characters in what the device or volume names are shown as
           \xNN, and so are bytes of a label that are neither UTF-8 nor code
           page 936.
  watch    Prints a line for every USB drive plugged in from now on, once it
           has settled (its disks there, its volumes mounted where an
           automounter mounts them): the time it settled (UTC), serial, digest,
           vendor:product, mount points, notes. Each line is flushed as it is
           written. Ctrl-C or a terminate request ends it with status 0, a
           second Ctrl-C at once; so does the reader of its output going away.
  digest   Prints the digest of TEXT, or of all of standard input when TEXT
           is absent or "-": every byte counts, a final newline included. Both
           must be UTF-8. Give TEXT after -- when it starts with "-".
  select   Reads identifiers from standard input, one a line, and prints the
           last piece of the last that contains VID. Bare identifiers say
           nothing of the device's kind, so, unlike the read, select does not
           pass over devices that are not storage devices. A CR before a
           line end is dropped, the last line needs no newline, and an empty
           line is an identifier that is the empty text. Input must be UTF-8.
           An empty result prints an empty line, 请插入U盘 on standard error,
           and exits 1.
  check    Exits 0 when a USB device now plugged in has a serial number whose
           digest is one of the DIGESTs (32 hexadecimal digits, either case),
           and prints its identifier and serial number on two lines. Every
           identifier that contains VID counts, in delivery order, storage
           device or not, so that licences made before the read passed over
           other devices still check; the first match is printed. Exits 1
           when none matches. Reads no volume.
           With --allowed and no DIGEST, the first stick the list allows is
           the match; with DIGESTs a third line says whether the list allows
           the stick they found.
  allowed  Prints what an enforcer needs for the sticks on an allowed list:
           "usbguard", USBGuard rules (allow id VVVV:PPPP serial "..."
           with-interface match-all { 08:*:* }); "windows", the device
           instance ids for Windows' policy that allows the installation of
           the devices it names, one a line. An entry that cannot be matched
           (a digest; a made-up, placeholder or, for windows, serial-only
           entry) is named on standard error, and the status is 1.
  history  Prints one row per USB stick (vendor id, product id, serial) this
           machine has seen: serial, digest, ids, device id, names, first and
           last seen (UTC), arrivals, last location, notes, and the sources
           that saw it: "vellmor" (the events watch logs), "kernel" (the
           kernel's lines in the journal, Linux) and "deviceStore" (Windows'
           device store). With --allowed, exits 1 when a stick seen is not
           allowed.

Options:
  --json             Read, list, drives and check: print one JSON object
                     instead of lines; watch: one object a line,
                     {"schemaVersion":1,"time":...,"drive":{...}} with the
                     drive as drives gives it.
                     Read: {"serial":...,"digest":...,"warning":...}, where
                     serial is null when no identifier matched, and warning is
                     null or 请插入U盘 (then not repeated on standard error).
                     List: {"ids":[{"deviceId":...,"state":"text|missing|
                     unreadable","storage":true|false,"chosen":true|false,
                     "lastWithVid":true|false},...],"serial":...}.
                     Check: the drive object of drives --json (without volumes)
                     with "matched":"<digest>".
                     History: {"schemaVersion":1,"sticks":[...]}.
                     Each carries "schemaVersion"; read and drives also
                     "notes". vellmor-cli(1) gives the whole schema.
  --sysfs-root DIR   Read, list, drives and check: take the devices from
                     DIR/bus/usb/devices instead of the system's own list;
                     drives then opens volumes and reads mounts only as
                     --dev-root and --mount-table say.
  --csv              Watch: comma-separated values with a header line: time,
                     serial, digest, vendorId, productId, deviceId,
                     mountPoints, labels, notes. Lines end in CRLF; lists are
                     separated by ";", with ";" and "\" in an item escaped by
                     "\"; labels has one item per volume, empty when it has
                     none. A cell beginning with = + - or @ gets a leading ',
                     control characters are written as \xNN, and a file (not a
                     pipe) starts with a UTF-8 byte-order mark for spreadsheets.
                     History: the rows as comma-separated values, as watch's.
  --log              Watch: no lines; each USB drive present at the start and
                     each one plugged in becomes an entry of the system's log
                     (the systemd journal; on Windows the Application log,
                     source Vellmor), with the serial, digest, ids, names,
                     location, notes, mount points, labels and the drive's
                     JSON as separate fields. docs/fleet.md lists them.
  --wait [SECONDS]   Read: when no USB drive is plugged in, wait for one (at
                     most SECONDS, which may have a fraction; no limit without)
                     and then read as usual. Check: when none matches, wait
                     until a matching drive is plugged in or the time is up.
  --allowed FILE     Drives, watch, check and history: mark each stick
                     "allowed" or not by the allowed list in FILE (UTF-8; one
                     serial, 32-digit digest or "VID:PID serial" a line; #
                     comments). A serial or digest allows a stick only when
                     its serial identifies one stick (not madeUp, placeholder
                     or shared); VID:PID serial allows it anyway. A bad list
                     is refused with its file and line (status 2); an empty
                     one allows nothing. Watch: the JSON drive gains "allowed"
                     as in drives, CSV a last column "allowed" (true or
                     false), a text line ends in allowed (line N) or not
                     allowed; with --log each entry gets VELLMOR_ALLOWED (1 or
                     0), and a stick not allowed is logged as a warning.
  --since TIME       History: entries from TIME on, UTC: 2026-12-01 or
                     2026-12-01T08:30[:00][Z].
  --dev-root DIR     Drives: the volumes' device nodes are DIR/sdb1 and so on.
  --mount-table FILE Drives: the mount table (mountinfo or fstab format).
  --length N         Digest: 32 (the default) prints 32 digits, 16 the middle
                     16; any other whole number from -32768 to 32767 prints an
                     empty line.
  -h, --help         Prints this text.
  -V, --version      Prints the program's version.

Output is UTF-8. A later option replaces an earlier one of the same name.
Exit status: 0 done; 1 the serial number is empty, check found no match, or
allowed could not export every entry; 2
bad arguments, or input that is not UTF-8; 3 standard input could not be read,
standard output not written, the device list not read (check), device events
not waited for, or an unexpected failure; 130 or 143 --wait ended by Ctrl-C or
a terminate request.
)";

}  // namespace

std::string UsageTextFor(bool sysfs) {
  std::string text(kUsage);
  if (sysfs) {
    return text;
  }
  for (const std::string_view synopsis :
       {"\n           [--sysfs-root DIR [--dev-root DIR] [--mount-table FILE]]",
        " [--sysfs-root DIR [--dev-root DIR] [--mount-table FILE]]", " [--sysfs-root DIR]"}) {
    for (auto at = text.find(synopsis); at != std::string::npos; at = text.find(synopsis)) {
      text.erase(at, synopsis.size());
    }
  }
  // An option's paragraph runs up to the next option or the blank line after the last.
  for (const std::string_view option :
       {"\n  --sysfs-root ", "\n  --dev-root ", "\n  --mount-table "}) {
    const auto start = text.find(option);
    if (start == std::string::npos) {
      continue;
    }
    auto end = text.find("\n  -", start + 1);
    const auto blank = text.find("\n\n", start + 1);
    if (end == std::string::npos || (blank != std::string::npos && blank < end)) {
      end = blank;
    }
    text.erase(start, end - start);
  }
  return text;
}

std::string UsageText() {
#ifdef _WIN32
  return UsageTextFor(false);
#else
  return UsageTextFor(true);
#endif
}

}  // namespace vellmor::cli

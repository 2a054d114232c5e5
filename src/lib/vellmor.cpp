// The C boundary: plain arguments in, a code out; every C++ failure ends here.
#include "vellmor/vellmor.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/run_time_error.h"
#include "base/utf.h"
#include "base/version.h"
#include "digest/digest.h"
#include "drives/allowed_list.h"
#include "drives/drive_json.h"
#include "drives/drives.h"
#include "serial/cc.h"
#include "serial/digest_check.h"
#include "serial/selection_rule.h"
#include "serial/usb_hub_source.h"

namespace {

using vellmor::serial::DeviceId;

constexpr std::size_t kShortText = 64;

// Runs the body and turns anything it throws into a code, so that no exception
// reaches a C caller.
template <typename Body>
int Guarded(Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return VELLMOR_FAILED;
  }
}

// Output holds the empty text until there is an answer, whatever ends the call.
void Clear(char* out, std::size_t out_size) {
  if (out != nullptr && out_size > 0) {
    out[0] = '\0';
  }
}

// A size left from an earlier call must not pass for this one's when it fails.
void ClearNeeded(std::size_t* needed) {
  if (needed != nullptr) {
    *needed = 0;
  }
}

// Copies the text with its NUL when it fits; the empty text otherwise.
int WriteText(std::string_view text, char* out, std::size_t out_size, std::size_t* needed) {
  if (needed != nullptr) {
    *needed = text.size() + 1;
  }
  if (out_size <= text.size()) {
    return VELLMOR_BUFFER_TOO_SMALL;
  }
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return VELLMOR_OK;
}

std::optional<std::vector<DeviceId>> SystemDeviceIds() {
  const auto source = vellmor::serial::MakeSystemUsbHubSource();
  return vellmor::serial::ReadCheckIds(*source);
}

// A serial found, or the code that stands for none: NOT_FOUND also writes the empty text.
int AnswerSerial(const std::optional<std::u16string>& serial, char* out, std::size_t out_size,
                 std::size_t* needed) {
  if (!serial || serial->empty()) {
    if (needed != nullptr) {
      *needed = 1;
    }
    return VELLMOR_NOT_FOUND;
  }
  return WriteText(vellmor::Utf16ToUtf8(*serial), out, out_size, needed);
}

}  // namespace

extern "C" {

const char* vellmor_version(void) { return VELLMOR_VERSION; }

const char* vellmor_error_text(int code) {
  switch (code) {
    case VELLMOR_OK:
      return "done";
    case VELLMOR_NOT_FOUND:
      return "no USB device with a serial number, no match, or an empty serial number";
    case VELLMOR_BAD_ARGUMENT:
      return "bad argument: a null pointer, text that is not UTF-8, or a digest that is not 32 "
             "hexadecimal digits";
    case VELLMOR_SYSTEM_ERROR:
      return "the system's device list could not be read";
    case VELLMOR_BUFFER_TOO_SMALL:
      return "the buffer is too small";
    case VELLMOR_FAILED:
      return "out of memory, or the system cannot convert characters to their code page";
    default:
      return "unknown code";
  }
}

int vellmor_digest(const char* utf8, size_t size, int length, char* out, size_t out_size) {
  Clear(out, out_size);
  return Guarded([&]() -> int {
    if ((out == nullptr && out_size > 0) || (utf8 == nullptr && size > 0)) {
      return VELLMOR_BAD_ARGUMENT;
    }
    const std::string_view bytes(utf8 == nullptr ? "" : utf8, size);
    // A serial is short and ASCII: widened on the stack, it costs no allocation.
    std::array<char16_t, kShortText> widened{};
    std::optional<std::u16string> decoded;
    std::u16string_view text;
    if (size <= widened.size() &&
        std::ranges::all_of(bytes, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
      std::ranges::copy(bytes, widened.begin());
      text = std::u16string_view(widened.data(), size);
    } else {
      decoded = vellmor::Utf8ToUtf16(bytes);
      if (!decoded) {
        return VELLMOR_BAD_ARGUMENT;
      }
      text = *decoded;
    }
    // Any other length gives the empty text; never let one wrap round to 16 or 32.
    const std::int16_t selector =
        length == 16 || length == 32 ? static_cast<std::int16_t>(length) : std::int16_t{0};
    const std::u16string digest = vellmor::digest::DigestText(text, selector);
    // Hexadecimal digits: one byte each.
    std::array<char, 32> narrow{};
    std::ranges::transform(digest, narrow.begin(), [](char16_t c) { return static_cast<char>(c); });
    return WriteText(std::string_view(narrow.data(), digest.size()), out, out_size, nullptr);
  });
}

int vellmor_read_serial(char* out, size_t out_size, size_t* needed) {
  Clear(out, out_size);
  ClearNeeded(needed);
  return Guarded([&]() -> int {
    if (out == nullptr && out_size > 0) {
      return VELLMOR_BAD_ARGUMENT;
    }
    const auto source = vellmor::serial::MakeSystemUsbHubSource();
    const auto listing = vellmor::serial::ReadUsbHubListing(*source);
    if (!listing) {
      return VELLMOR_SYSTEM_ERROR;
    }
    return AnswerSerial(vellmor::serial::SelectStorageSerial(*listing), out, out_size, needed);
  });
}

int vellmor_check(const char* const* digests, size_t count, char* serial_out, size_t out_size,
                  size_t* needed) {
  Clear(serial_out, out_size);
  ClearNeeded(needed);
  return Guarded([&]() -> int {
    if (digests == nullptr || count == 0 || (serial_out == nullptr && out_size > 0)) {
      return VELLMOR_BAD_ARGUMENT;
    }
    std::vector<std::u16string> wanted;
    for (std::size_t i = 0; i < count; ++i) {
      const auto digest =
          digests[i] == nullptr ? std::nullopt : vellmor::serial::ParseDigest(digests[i]);
      if (!digest) {
        return VELLMOR_BAD_ARGUMENT;
      }
      wanted.push_back(*digest);
    }
    const auto ids = SystemDeviceIds();
    if (!ids) {
      return VELLMOR_SYSTEM_ERROR;
    }
    const auto match = vellmor::serial::FindDigestMatch(*ids, wanted);
    return AnswerSerial(match ? std::optional(match->serial) : std::nullopt, serial_out, out_size,
                        needed);
  });
}

int vellmor_drives_json(char** json) {
  return Guarded([&]() -> int {
    if (json == nullptr) {
      return VELLMOR_BAD_ARGUMENT;
    }
    *json = nullptr;
    const auto devices = vellmor::drives::MakeSystemDriveSource()->ScanUsbDevices(
        vellmor::drives::ScanDepth::kVolumes);
    if (!devices) {
      return VELLMOR_SYSTEM_ERROR;
    }
    const std::string text = vellmor::drives::DrivesJson(*devices);
    // malloc, so that vellmor_free needs no knowledge of what it frees.
    auto* const copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) {
      return VELLMOR_FAILED;
    }
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *json = copy;
    return VELLMOR_OK;
  });
}

void vellmor_free(void* memory) { std::free(memory); }

}  // extern "C"

// ---- Allowed lists ----

namespace {

// The list's line number from the parser's "NAME:LINE: ..." message; 0 when it names none.
std::size_t ErrorLine(const std::string& error) {
  const std::size_t first = error.find(':');
  std::size_t line = 0;
  for (std::size_t i = first + 1; first != std::string::npos && i < error.size(); ++i) {
    if (error[i] < '0' || error[i] > '9') {
      return error[i] == ':' ? line : 0;
    }
    line = line * 10 + static_cast<std::size_t>(error[i] - '0');
  }
  return 0;
}

int CheckAllowed(const std::optional<vellmor::drives::AllowedList>& list, const std::string& error,
                 char* serial_out, std::size_t out_size, std::size_t* needed,
                 std::size_t* error_line) {
  if (!list) {
    if (error_line != nullptr) {
      *error_line = ErrorLine(error);
    }
    return VELLMOR_BAD_ARGUMENT;
  }
  const auto ids = SystemDeviceIds();
  if (!ids) {
    return VELLMOR_SYSTEM_ERROR;
  }
  for (const vellmor::drives::UsbDevice& device : vellmor::drives::DevicesFromIdentifiers(*ids)) {
    if (vellmor::drives::JudgeAllowed(*list, device).allowed) {
      return AnswerSerial(device.serial, serial_out, out_size, needed);
    }
  }
  return AnswerSerial(std::nullopt, serial_out, out_size, needed);
}

}  // namespace

extern "C" {

int vellmor_check_allowed_file(const char* path, char* serial_out, size_t out_size, size_t* needed,
                               size_t* error_line) {
  Clear(serial_out, out_size);
  if (error_line != nullptr) {
    *error_line = 0;
  }
  return Guarded([&]() -> int {
    if (path == nullptr || (serial_out == nullptr && out_size > 0) || !vellmor::Utf8ToUtf16(path)) {
      return VELLMOR_BAD_ARGUMENT;
    }
    const std::string_view bytes(path);
    std::string error;
    const auto list = vellmor::drives::ReadAllowedList(
        std::filesystem::path(std::u8string(bytes.begin(), bytes.end())), "list", error);
    return CheckAllowed(list, error, serial_out, out_size, needed, error_line);
  });
}

int vellmor_check_allowed_list(const char* list, size_t size, char* serial_out, size_t out_size,
                               size_t* needed, size_t* error_line) {
  Clear(serial_out, out_size);
  if (error_line != nullptr) {
    *error_line = 0;
  }
  return Guarded([&]() -> int {
    if ((list == nullptr && size > 0) || (serial_out == nullptr && out_size > 0)) {
      return VELLMOR_BAD_ARGUMENT;
    }
    std::string error;
    const auto parsed = vellmor::drives::ParseAllowedList(
        std::string_view(list == nullptr ? "" : list, size), "list", error);
    return CheckAllowed(parsed, error, serial_out, out_size, needed, error_line);
  });
}

}  // extern "C"

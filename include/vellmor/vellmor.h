/*
 * libvellmor: the USB stick serial number and its digest, as the Vellmor window
 * shows them, for other programs. C99; callable from C, C++, Python (ctypes),
 * C# (P/Invoke) and Go (cgo).
 *
 * Return codes. Every function that returns int returns one of these:
 *   VELLMOR_OK (0)                done.
 *   VELLMOR_NOT_FOUND (1)         no USB device with a serial, no match, or the
 *                                 serial is the empty text.
 *   VELLMOR_BAD_ARGUMENT (2)      a null pointer where a value is needed, text
 *                                 that is not UTF-8 (an unpaired surrogate
 *                                 written as UTF-8 included), or a digest that
 *                                 is not 32 hexadecimal digits.
 *   VELLMOR_SYSTEM_ERROR (3)      the system's device list could not be read.
 *   VELLMOR_BUFFER_TOO_SMALL (4)  the answer does not fit; where the function
 *                                 takes `needed`, *needed holds the size that
 *                                 fits, NUL included. Each call reads the
 *                                 devices anew, so a stick plugged in between
 *                                 the two calls can need more again: call in a
 *                                 loop, growing the buffer to *needed, until the
 *                                 code is not VELLMOR_BUFFER_TOO_SMALL.
 *   VELLMOR_FAILED (5)            out of memory, or the system cannot convert
 *                                 characters to the code page their codes come
 *                                 from (Windows).
 * vellmor_error_text names each of them. No C++ exception leaves the library.
 *
 * Threads: every function may be called from any thread, at the same time as
 * any other. The library keeps no mutable state between calls: each reading
 * lists the devices anew, and the only thing built once, the character-code
 * table, is built under the C++ runtime's guard for function statics. On
 * Windows each reading initialises COM for its own duration on the calling
 * thread and uninitialises it before returning; a thread already in the
 * multithreaded apartment is used as it is.
 *
 * Text is UTF-8 both ways. Output buffers are always NUL-terminated when
 * out_size is at least 1, also on failure (then they hold the empty text). An
 * output buffer may be null when its out_size is 0. A `needed` that is not
 * null is 0 after any code but VELLMOR_OK, VELLMOR_NOT_FOUND and
 * VELLMOR_BUFFER_TOO_SMALL.
 *
 * A USB serial number can be read by anyone and given by a made-up device: a
 * licence bound to it stops casual copying, not a determined attacker.
 */
#ifndef VELLMOR_VELLMOR_H
#define VELLMOR_VELLMOR_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(VELLMOR_BUILDING_LIBRARY)
#define VELLMOR_API __declspec(dllexport)
#else
#define VELLMOR_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VELLMOR_API __attribute__((visibility("default")))
#else
#define VELLMOR_API
#endif

/* The version of this header, the product's: for `#if VELLMOR_VERSION_NUMBER >= 50100`.
 * The number is MAJOR * 10000 + MINOR * 100 + PATCH. The build refuses to start
 * when these differ from the project's version. */
#define VELLMOR_VERSION_MAJOR 5
#define VELLMOR_VERSION_MINOR 1
#define VELLMOR_VERSION_PATCH 0
#define VELLMOR_VERSION_NUMBER \
  (VELLMOR_VERSION_MAJOR * 10000 + VELLMOR_VERSION_MINOR * 100 + VELLMOR_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

enum {
  VELLMOR_OK = 0,
  VELLMOR_NOT_FOUND = 1,
  VELLMOR_BAD_ARGUMENT = 2,
  VELLMOR_SYSTEM_ERROR = 3,
  VELLMOR_BUFFER_TOO_SMALL = 4,
  VELLMOR_FAILED = 5
};

/* The product's version, "5.1.0.7"; static text, never freed. Not the
 * library's ABI version, which is the 1 of libvellmor.so.1. */
VELLMOR_API const char* vellmor_version(void);

/* What the code means, in English; static text, never freed. A code not listed
 * above gives "unknown code". */
VELLMOR_API const char* vellmor_error_text(int code);

/* The digest of `size` bytes of UTF-8 at `utf8`, as the window computes it:
 * length 32 gives 32 upper-case hexadecimal digits, 16 the middle 16, any
 * other length the empty text. `utf8` may be null when `size` is 0 (the
 * empty text). Needs out_size of at least 33, 17 and 1 respectively, else
 * VELLMOR_BUFFER_TOO_SMALL, which a null `out` with out_size 0 also gives.
 * Returns VELLMOR_BAD_ARGUMENT for a null `out` with an out_size, a null
 * `utf8` with a size, or bytes that are not UTF-8. */
VELLMOR_API int vellmor_digest(const char* utf8, size_t size, int length, char* out,
                               size_t out_size);

/* One reading of the serial number, as the window's button shows it: the last
 * piece of the last USB identifier that contains VID and names a USB
 * mass-storage device (a composite one included), in the system's order.
 * Writes it to `out` in UTF-8 (an unpaired surrogate in a Windows identifier
 * becomes U+FFFD). VELLMOR_NOT_FOUND when no such identifier exists or the
 * serial is the empty text (out then holds the empty text). `needed` may be
 * null; otherwise it receives the size the serial needs, NUL included, on
 * VELLMOR_OK, VELLMOR_NOT_FOUND and VELLMOR_BUFFER_TOO_SMALL. `out` may be null
 * when out_size is 0, to ask for the size. */
VELLMOR_API int vellmor_read_serial(char* out, size_t out_size, size_t* needed);

/* Whether a USB device now plugged in has a serial whose 32-digit digest is one
 * of the `count` digests given (upper or lower case). Every identifier that
 * contains VID counts, in the system's order; the first that matches is the
 * answer, and its serial is written to `serial_out` as vellmor_read_serial
 * writes it. VELLMOR_NOT_FOUND when none matches; VELLMOR_BAD_ARGUMENT when
 * `digests` is null, `count` is 0, or a digest is null or not 32 hexadecimal
 * digits. `serial_out` may be null when out_size is 0; `needed` may be null. */
VELLMOR_API int vellmor_check(const char* const* digests, size_t count, char* serial_out,
                              size_t out_size, size_t* needed);

/* What `vellmor-cli drives --json` prints, without the line end: every USB
 * mass-storage device plugged in now with its disks, volumes and notes on its
 * serial, as one JSON object (schema in the vellmor-cli manual). Sets *json to
 * the text, which the caller frees with vellmor_free, or to null on failure.
 * VELLMOR_BAD_ARGUMENT when `json` is null. */
VELLMOR_API int vellmor_drives_json(char** json);

/* Frees what the library allocated for the caller; null is allowed. */
VELLMOR_API void vellmor_free(void* memory);

/* ---- Allowed lists (added within .so.1) ------------------------------------------
 *
 * An allowed list is UTF-8 text (a byte-order mark and CRLF accepted), one entry a line:
 * a serial, a 32-digit digest (either case) or "VID:PID serial" (0781:5567 4C5300...);
 * "#" starts a comment, blank lines are ignored. The format is vellmor-cli's --allowed.
 *
 * Whether a USB device now plugged in is allowed by the list, as `vellmor-cli check
 * --allowed FILE` decides: every identifier that contains VID counts, in the system's
 * order, and the first allowed one is the answer; its serial is written to `serial_out`
 * as vellmor_read_serial writes it. A serial or a digest allows a stick only when its
 * serial identifies one stick: not made up by the system from the port, not a
 * placeholder many sticks ship with, not shared with another device plugged in now.
 * "VID:PID serial" allows the stick of that model whatever its serial looks like.
 *
 * VELLMOR_NOT_FOUND when none is allowed (an empty list allows none).
 * VELLMOR_BAD_ARGUMENT for a null list or path, `serial_out` null with an out_size, a
 * file that cannot be read, or a list that is not valid; then `error_line`, when not
 * null, receives the number of the first bad line (from 1), or 0 when the fault is not
 * on a line. `serial_out` may be null when out_size is 0; `needed` may be null.
 * `vellmor-cli check --allowed FILE` says in words what is wrong with a list. */

/* The list in the file at `path` (UTF-8). */
VELLMOR_API int vellmor_check_allowed_file(const char* path, char* serial_out, size_t out_size,
                                           size_t* needed, size_t* error_line);

/* The list in `size` bytes at `list`; `list` may be null when `size` is 0. */
VELLMOR_API int vellmor_check_allowed_list(const char* list, size_t size, char* serial_out,
                                           size_t out_size, size_t* needed, size_t* error_line);

#ifdef __cplusplus
}
#endif

#endif

#!/usr/bin/env python3
"""Prints the USB stick's serial number and its digest through libvellmor, as the
window shows them. Usage: serial_and_digest.py [LIBRARY]  (default: the installed one)"""
import ctypes
import ctypes.util
import sys

VELLMOR_OK, VELLMOR_NOT_FOUND, VELLMOR_BUFFER_TOO_SMALL = 0, 1, 4


def load(path=None):
    name = path or ctypes.util.find_library("vellmor") or "libvellmor.so.1"
    lib = ctypes.CDLL(name)
    lib.vellmor_version.restype = ctypes.c_char_p
    lib.vellmor_error_text.restype = ctypes.c_char_p
    lib.vellmor_error_text.argtypes = [ctypes.c_int]
    lib.vellmor_read_serial.argtypes = [ctypes.c_char_p, ctypes.c_size_t,
                                        ctypes.POINTER(ctypes.c_size_t)]
    lib.vellmor_digest.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_int,
                                   ctypes.c_char_p, ctypes.c_size_t]
    return lib


def read_serial(lib):
    needed = ctypes.c_size_t(0)
    size = 64
    while True:
        out = ctypes.create_string_buffer(size)
        code = lib.vellmor_read_serial(out, size, ctypes.byref(needed))
        if code != VELLMOR_BUFFER_TOO_SMALL:
            break
        size = needed.value
    if code not in (VELLMOR_OK, VELLMOR_NOT_FOUND):
        raise OSError(lib.vellmor_error_text(code).decode())
    return out.value.decode("utf-8")


def digest(lib, text):
    data = text.encode("utf-8")
    out = ctypes.create_string_buffer(33)
    code = lib.vellmor_digest(data, len(data), 32, out, len(out))
    if code != VELLMOR_OK:
        raise ValueError(lib.vellmor_error_text(code).decode())
    return out.value.decode("ascii")


def main():
    lib = load(sys.argv[1] if len(sys.argv) > 1 else None)
    serial = read_serial(lib)
    print(serial)
    print(digest(lib, serial))
    return 0 if serial else 1


if __name__ == "__main__":
    sys.exit(main())

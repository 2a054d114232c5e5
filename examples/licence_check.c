/* A vendor's licence check: is a USB stick the licence was issued for plugged in?
 * Usage: licence_check DIGEST...   (the digests the licences hold)
 * Exits 0 when one is, 1 when none is, 2 for a digest that is not 32 hex digits,
 * 3 when the devices cannot be listed. */
#include <stdio.h>

#include <vellmor/vellmor.h>

int main(int argc, char** argv) {
  char serial[256];
  size_t needed = 0;
  int code;

  if (argc < 2) {
    fprintf(stderr, "usage: licence_check DIGEST...\n");
    return 2;
  }
  code = vellmor_check((const char* const*)(argv + 1), (size_t)(argc - 1), serial, sizeof serial,
                       &needed);
  switch (code) {
    case VELLMOR_OK:
      printf("licensed: USB stick %s\n", serial);
      return 0;
    case VELLMOR_NOT_FOUND:
      printf("not licensed: no USB stick of this licence is plugged in\n");
      return 1;
    case VELLMOR_BUFFER_TOO_SMALL:
      /* A serial this long is no stick's; treat it as none. */
      printf("not licensed: a serial of %lu bytes\n", (unsigned long)needed);
      return 1;
    default:
      fprintf(stderr, "licence_check: %s\n", vellmor_error_text(code));
      return code == VELLMOR_BAD_ARGUMENT ? 2 : 3;
  }
}

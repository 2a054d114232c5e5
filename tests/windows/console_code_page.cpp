// Prints the console's output code page, so that the check script can see that
// vellmor-cli, run in between, left it as it found it.
#include <cstdio>

#include <windows.h>

int main() {
  // No blanks: wine draws them on a terminal as cursor moves.
  std::printf("console-output-cp=%u\n", GetConsoleOutputCP());
  return 0;
}

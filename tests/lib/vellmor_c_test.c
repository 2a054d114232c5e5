/* libvellmor from C, built against the installed header and library.
 * Usage: vellmor_c_test CLI [CODE [SERIAL]]
 * CLI is vellmor-cli, whose digests and reading the library must give again. CODE is
 * what vellmor_read_serial must return on this machine (3 for an unreadable device
 * list), SERIAL the serial it must find; without them the reading only has to agree
 * with the CLI's. */
#define _POSIX_C_SOURCE 200809L /* popen: strict C99 alone lacks it */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vellmor/vellmor.h>

static int failures = 0;

#define EXPECT(condition)                                                     \
  do {                                                                        \
    if (!(condition)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                             \
    }                                                                         \
  } while (0)

static const char* cli;

/* The first line vellmor-cli prints for the arguments, standard input from the file
 * when one is given; its exit status in *status. */
static void run_cli(const char* args, const char* input, char* line, size_t size, int* status) {
  char command[1024];
  FILE* pipe;
  size_t length;
#ifdef _WIN32
  /* cmd.exe drops the outermost quotes. */
  if (input != NULL) {
    sprintf(command, "\"\"%s\" %s < \"%s\"\"", cli, args, input);
  } else {
    sprintf(command, "\"\"%s\" %s\"", cli, args);
  }
  pipe = _popen(command, "r");
#else
  if (input != NULL) {
    sprintf(command, "'%s' %s < '%s'", cli, args, input);
  } else {
    sprintf(command, "'%s' %s 2>/dev/null", cli, args);
  }
  pipe = popen(command, "r");
#endif
  line[0] = '\0';
  if (pipe == NULL) {
    *status = -1;
    return;
  }
  if (fgets(line, (int)size, pipe) == NULL) {
    line[0] = '\0';
  }
  while (fgetc(pipe) != EOF) {
  }
#ifdef _WIN32
  *status = _pclose(pipe);
#else
  *status = pclose(pipe);
  *status = *status >= 0 ? (*status >> 8) & 0xFF : -1;
#endif
  length = strlen(line);
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
    line[--length] = '\0';
  }
}

static void cli_digest(const char* text, size_t size, int length, char* line, size_t line_size) {
  static const char* file = "vellmor_c_test_text.tmp";
  char args[64];
  int status = 0;
  FILE* out = fopen(file, "wb");
  EXPECT(out != NULL && fwrite(text, 1, size, out) == size && fclose(out) == 0);
  sprintf(args, "digest --length %d", length);
  run_cli(args, file, line, line_size, &status);
  remove(file);
  EXPECT(status == 0);
}

struct digest_case {
  const char* text;
  size_t size;
  int length;
};

static void digests_agree_with_the_cli(void) {
  /* ASCII, Chinese, best-fit characters (À ¢ ¦), a character outside the BMP, a NUL
   * inside the text, three blocks' worth, and the 16-digit and empty forms. */
  static const struct digest_case cases[] = {
      {"", 0, 32},
      {"abc", 3, 32},
      {"abc", 3, 16},
      {"abc", 3, 20},
      {"4C530001231120115142", 20, 32},
      {"\xE4\xB8\xAD", 3, 32},
      {"A\xE4\xB8\xAD"
       "B",
       5, 32},
      {"\xC3\x80\xC2\xA2\xC2\xA6\xE4\xB8\xAD", 9, 32},
      {"U\xE7\x9B\x98", 4, 16},
      {"\xF0\x9F\x98\x80", 4, 32},
      {"a\0b", 3, 32},
      {"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"
       "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef",
       128, 32},
  };
  size_t i;
  for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    char mine[33];
    char theirs[128];
    EXPECT(vellmor_digest(cases[i].text, cases[i].size, cases[i].length, mine, sizeof mine) ==
           VELLMOR_OK);
    cli_digest(cases[i].text, cases[i].size, cases[i].length, theirs, sizeof theirs);
    if (strcmp(mine, theirs) != 0) {
      fprintf(stderr, "case %u: library %s, vellmor-cli %s\n", (unsigned)i, mine, theirs);
      ++failures;
    }
  }
}

static void digest_codes(void) {
  char out[33] = "x";
  EXPECT(vellmor_digest(NULL, 0, 32, out, sizeof out) == VELLMOR_OK);
  EXPECT(strcmp(out, "D41D8CD98F00B204E9800998ECF8427E") == 0);
  EXPECT(vellmor_digest("abc", 3, 16, out, 17) == VELLMOR_OK);
  EXPECT(strcmp(out, "3CD24FB0D6963F7D") == 0);
  EXPECT(vellmor_digest("abc", 3, 32 + 65536, out, 1) == VELLMOR_OK && out[0] == '\0');
  EXPECT(vellmor_digest("abc", 3, 32, out, 32) == VELLMOR_BUFFER_TOO_SMALL && out[0] == '\0');
  EXPECT(vellmor_digest("abc", 3, 16, out, 16) == VELLMOR_BUFFER_TOO_SMALL);
  /* No buffer at all asks only whether one is needed, as for the other functions. */
  EXPECT(vellmor_digest("abc", 3, 32, NULL, 0) == VELLMOR_BUFFER_TOO_SMALL);
  EXPECT(vellmor_digest("abc", 3, 32, NULL, 1) == VELLMOR_BAD_ARGUMENT);
  out[0] = 'x';
  EXPECT(vellmor_digest(NULL, 1, 32, out, sizeof out) == VELLMOR_BAD_ARGUMENT && out[0] == '\0');
  /* A lone surrogate written as UTF-8, an overlong slash, a cut sequence. */
  EXPECT(vellmor_digest("\xED\xA0\x80", 3, 32, out, sizeof out) == VELLMOR_BAD_ARGUMENT);
  EXPECT(vellmor_digest("\xC0\xAF", 2, 32, out, sizeof out) == VELLMOR_BAD_ARGUMENT);
  EXPECT(vellmor_digest("\xE4\xB8", 2, 32, out, sizeof out) == VELLMOR_BAD_ARGUMENT);
  EXPECT(out[0] == '\0');
}

#if !defined(VELLMOR_VERSION_NUMBER) || VELLMOR_VERSION_NUMBER < 50100
#error "the header's version number is missing or too old for the preprocessor to test"
#endif

static void texts(void) {
  char line[128];
  char macros[32];
  int status = 0;
  int code;
  EXPECT(strcmp(vellmor_version(), "5.1.0.7") == 0);
  /* The header's macros name the library they come with. */
  sprintf(macros, "%d.%d.%d.", VELLMOR_VERSION_MAJOR, VELLMOR_VERSION_MINOR, VELLMOR_VERSION_PATCH);
  EXPECT(strncmp(vellmor_version(), macros, strlen(macros)) == 0);
  EXPECT(VELLMOR_VERSION_NUMBER ==
         VELLMOR_VERSION_MAJOR * 10000 + VELLMOR_VERSION_MINOR * 100 + VELLMOR_VERSION_PATCH);
  run_cli("--version", NULL, line, sizeof line, &status);
  EXPECT(strncmp(line, "vellmor-cli ", 12) == 0 && strcmp(line + 12, vellmor_version()) == 0);
  for (code = VELLMOR_OK; code <= VELLMOR_FAILED; ++code) {
    EXPECT(strlen(vellmor_error_text(code)) > 0);
    EXPECT(strcmp(vellmor_error_text(code), vellmor_error_text(99)) != 0);
  }
  EXPECT(strcmp(vellmor_error_text(-1), "unknown code") == 0);
  vellmor_free(NULL);
}

/* Reading and checking on this machine's devices, as the arguments say they are. */
static void reading_and_checking(int expected_code, const char* expected_serial) {
  char serial[256] = "x";
  char digest[33];
  char line[256];
  char lower[33];
  const char* nobody = "00000000000000000000000000000000";
  const char* bad[] = {"0123", "0123456789ABCDEF0123456789ABCDEG", NULL};
  const char* wanted[2];
  size_t needed = 0;
  size_t stale;
  size_t i;
  int status = 0;
  int code = vellmor_read_serial(serial, sizeof serial, &needed);

  if (expected_code >= 0) {
    EXPECT(code == expected_code);
  }
  if (expected_serial != NULL) {
    EXPECT(strcmp(serial, expected_serial) == 0);
  }
  if (code != VELLMOR_SYSTEM_ERROR) {
    /* The window's reading, as the CLI's read action gives it. */
    run_cli("", NULL, line, sizeof line, &status);
    EXPECT(strcmp(serial, line) == 0);
    EXPECT(status == code);
  }
  /* A size left from an earlier call never stands after an error. */
  stale = 99;
  EXPECT(vellmor_read_serial(NULL, 5, &stale) == VELLMOR_BAD_ARGUMENT && stale == 0);
  stale = 99;
  EXPECT(vellmor_check(&bad[0], 1, NULL, 0, &stale) == VELLMOR_BAD_ARGUMENT && stale == 0);
  EXPECT(vellmor_check(NULL, 1, NULL, 0, NULL) == VELLMOR_BAD_ARGUMENT);
  line[0] = 'x';
  EXPECT(vellmor_check(&nobody, 0, line, sizeof line, NULL) == VELLMOR_BAD_ARGUMENT);
  EXPECT(line[0] == '\0');
  for (i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
    EXPECT(vellmor_check(&bad[i], 1, line, sizeof line, NULL) == VELLMOR_BAD_ARGUMENT);
  }

  if (code != VELLMOR_SYSTEM_ERROR) {
    char* json = NULL;
    char cli_json[4096];
    EXPECT(vellmor_drives_json(&json) == VELLMOR_OK && json != NULL);
    run_cli("drives --json", NULL, cli_json, sizeof cli_json, &status);
    EXPECT(json != NULL && strcmp(json, cli_json) == 0);
    vellmor_free(json);
  }
  EXPECT(vellmor_drives_json(NULL) == VELLMOR_BAD_ARGUMENT);

  if (code == VELLMOR_OK) {
    EXPECT(needed == strlen(serial) + 1);
    EXPECT(vellmor_read_serial(NULL, 0, &needed) == VELLMOR_BUFFER_TOO_SMALL);
    EXPECT(needed == strlen(serial) + 1);
    EXPECT(vellmor_digest(serial, strlen(serial), 32, digest, sizeof digest) == VELLMOR_OK);
    for (i = 0; i < 33; ++i) {
      lower[i] = (char)(digest[i] >= 'A' && digest[i] <= 'F' ? digest[i] + 32 : digest[i]);
    }
    wanted[0] = nobody;
    wanted[1] = lower;
    needed = 0;
    line[0] = 'x';
    EXPECT(vellmor_check(wanted, 2, line, sizeof line, &needed) == VELLMOR_OK);
    EXPECT(strcmp(line, serial) == 0 && needed == strlen(serial) + 1);
    EXPECT(vellmor_check(wanted, 2, line, strlen(serial), &needed) == VELLMOR_BUFFER_TOO_SMALL);
    EXPECT(line[0] == '\0' && needed == strlen(serial) + 1);
    EXPECT(vellmor_check(&nobody, 1, line, sizeof line, NULL) == VELLMOR_NOT_FOUND);
  } else {
    EXPECT(serial[0] == '\0');
    needed = 99;
    EXPECT(vellmor_check(&nobody, 1, line, sizeof line, &needed) == code);
    EXPECT(line[0] == '\0');
    EXPECT(code == VELLMOR_NOT_FOUND ? needed == 1 : needed == 0);
  }
}

/* Allowed lists, from a buffer and from a file: the library decides as `vellmor-cli
 * check --allowed` does, on whatever this machine has plugged in. */
static void allowed_lists(const char* expected_serial) {
  const char* file = "vellmor_c_test_allowed.txt";
  const char bad[] = "\xEF\xBB\xBF# approved\r\n0781:5567\r\n";
  char serial[256];
  char digest[33];
  char list[512];
  char line[4096];
  char wanted[300];
  size_t needed = 0;
  size_t bad_line = 99;
  size_t i;
  int status = 0;
  int code;
  FILE* out;

  EXPECT(vellmor_check_allowed_list(bad, sizeof bad - 1, serial, sizeof serial, NULL, &bad_line) ==
         VELLMOR_BAD_ARGUMENT);
  EXPECT(bad_line == 2);
  EXPECT(vellmor_check_allowed_list("ok\n\xFF", 4, NULL, 0, NULL, &bad_line) ==
         VELLMOR_BAD_ARGUMENT);
  EXPECT(bad_line == 2);
  EXPECT(vellmor_check_allowed_list(NULL, 1, NULL, 0, NULL, NULL) == VELLMOR_BAD_ARGUMENT);
  EXPECT(vellmor_check_allowed_list("x", 1, NULL, 5, NULL, NULL) == VELLMOR_BAD_ARGUMENT);
  EXPECT(vellmor_check_allowed_file(NULL, NULL, 0, NULL, NULL) == VELLMOR_BAD_ARGUMENT);
  bad_line = 99;
  EXPECT(vellmor_check_allowed_file("no_such_folder/vellmor_list.txt", NULL, 0, NULL, &bad_line) ==
         VELLMOR_BAD_ARGUMENT);
  EXPECT(bad_line == 0);

  code = vellmor_read_serial(serial, sizeof serial, NULL);
  if (code == VELLMOR_SYSTEM_ERROR) {
    EXPECT(vellmor_check_allowed_list(NULL, 0, NULL, 0, NULL, NULL) == VELLMOR_SYSTEM_ERROR);
    return;
  }
  /* An empty list allows nothing. */
  EXPECT(vellmor_check_allowed_list(NULL, 0, NULL, 0, &needed, NULL) == VELLMOR_NOT_FOUND);
  EXPECT(needed == 1);
  if (code != VELLMOR_OK) {
    return;
  }
  /* The serial read, by its digest in lower case, in a file as a spreadsheet saves it. */
  EXPECT(vellmor_digest(serial, strlen(serial), 32, digest, sizeof digest) == VELLMOR_OK);
  for (i = 0; i < 32; ++i) {
    digest[i] = (char)(digest[i] >= 'A' && digest[i] <= 'F' ? digest[i] + 32 : digest[i]);
  }
  sprintf(list, "\xEF\xBB\xBF# licences\r\n%s\r\n", digest);
  out = fopen(file, "wb");
  EXPECT(out != NULL);
  if (out == NULL) {
    return;
  }
  fputs(list, out);
  fclose(out);
  code = vellmor_check_allowed_file(file, serial, sizeof serial, &needed, NULL);
  EXPECT(code == vellmor_check_allowed_list(list, strlen(list), line, sizeof line, NULL, NULL));
  EXPECT(code != VELLMOR_OK || strcmp(serial, line) == 0);
  sprintf(wanted, "check --json --allowed %s", file);
  run_cli(wanted, NULL, line, sizeof line, &status);
  EXPECT(status == code);
  if (code == VELLMOR_OK) {
    EXPECT(needed == strlen(serial) + 1);
    sprintf(wanted, "\"serial\":\"%s\"", serial);
    EXPECT(strstr(line, wanted) != NULL);
  }
  if (expected_serial != NULL) {
    EXPECT(code == VELLMOR_OK && strcmp(serial, expected_serial) == 0);
    /* Pinned to another model, the same serial allows nothing. */
    sprintf(list, "0000:0000 %s\n", expected_serial);
    EXPECT(vellmor_check_allowed_list(list, strlen(list), serial, sizeof serial, NULL, NULL) ==
           VELLMOR_NOT_FOUND);
    EXPECT(serial[0] == '\0');
  }
  remove(file);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: vellmor_c_test CLI [CODE [SERIAL]]\n");
    return 2;
  }
  cli = argv[1];
  texts();
  digest_codes();
  digests_agree_with_the_cli();
  reading_and_checking(argc > 2 ? atoi(argv[2]) : -1, argc > 3 ? argv[3] : NULL);
  allowed_lists(argc > 3 ? argv[3] : NULL);
  if (failures > 0) {
    fprintf(stderr, "vellmor_c_test: %d failed\n", failures);
    return 1;
  }
  printf("vellmor_c_test: passed\n");
  return 0;
}

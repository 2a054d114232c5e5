#include "cli/console.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace vellmor::cli {
namespace {

// Standard output pointed at `descriptor` while the facts are taken.
OutputFacts FactsWithOutputOn(int descriptor) {
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  ::dup2(descriptor, STDOUT_FILENO);
  const OutputFacts facts = StandardOutputFacts();
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  return facts;
}

// The CSV's byte-order mark goes to a file a spreadsheet opens, never to a terminal
// or the next program in a pipe.
TEST(ConsoleTest, OnlyARegularFileCountsAsAFile) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("vellmor_console_test_" + std::to_string(getpid()));
  const int regular = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(regular, 0);
  OutputFacts facts = FactsWithOutputOn(regular);
  EXPECT_TRUE(facts.regular_file);
  EXPECT_EQ(facts.descriptor, STDOUT_FILENO);
  ::close(regular);
  std::filesystem::remove(file);

  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  EXPECT_FALSE(FactsWithOutputOn(ends[1]).regular_file);
  ::close(ends[0]);
  ::close(ends[1]);

  const int null = ::open("/dev/null", O_WRONLY);
  ASSERT_GE(null, 0);
  EXPECT_FALSE(FactsWithOutputOn(null).regular_file);
  ::close(null);

  // A terminal, as a pseudo-terminal gives one without a console.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_TRUE(::isatty(terminal));
  EXPECT_FALSE(FactsWithOutputOn(terminal).regular_file);
  ::close(terminal);
  ::close(master);
}

}  // namespace
}  // namespace vellmor::cli

// Root reads any file whatever its mode, so the checks run in a child that has become nobody.
#include "drives/journal_access.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace vellmor::drives {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMachine = "0123456789abcdef0123456789abcdef";
constexpr ::uid_t kNobody = 65534;

class JournalAccessTest : public ::testing::Test {
 protected:
  JournalAccessTest() {
    std::random_device random;
    m_dir = fs::temp_directory_path() / ("vellmor_journal_access_" + std::to_string(random()));
    fs::create_directories(m_dir);
    fs::permissions(m_dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  }
  ~JournalAccessTest() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }
  JournalAccessTest(const JournalAccessTest&) = delete;
  JournalAccessTest& operator=(const JournalAccessTest&) = delete;

  // A journal file under root/machine, readable by anyone or by no one but root.
  fs::path File(const std::string& root, const std::string& name, bool readable) const {
    const fs::path folder = m_dir / root / kMachine;
    fs::create_directories(folder);
    fs::path file = folder / name;
    std::ofstream(file) << "LPKSHHRH";
    fs::permissions(file, readable ? fs::perms::owner_read | fs::perms::owner_write |
                                         fs::perms::group_read | fs::perms::others_read
                                   : fs::perms::none);
    return file;
  }

  // What the check finds as nobody (or as this user, when not root); "" for nothing.
  std::string Unreadable() const {
    const std::vector<fs::path> roots = {m_dir / "var", m_dir / "run"};
    std::array<int, 2> pipe{};
    EXPECT_EQ(::pipe(pipe.data()), 0);
    const ::pid_t child = ::fork();
    if (child == 0) {
      ::close(pipe[0]);
      if (::geteuid() == 0 &&
          (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        ::_exit(2);
      }
      const auto found = UnreadableSystemJournal(roots, std::string(kMachine));
      const std::string text = found ? found->string() : "";
      const bool written =
          ::write(pipe[1], text.data(), text.size()) == static_cast<::ssize_t>(text.size());
      ::_exit(written ? 0 : 1);
    }
    ::close(pipe[1]);
    std::string found;
    std::array<char, 4096> chunk{};
    ::ssize_t count = 0;
    while ((count = ::read(pipe[0], chunk.data(), chunk.size())) > 0) {
      found.append(chunk.data(), static_cast<std::size_t>(count));
    }
    ::close(pipe[0]);
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return found;
  }

  fs::path m_dir;
};

TEST_F(JournalAccessTest, NoSystemJournalOrAReadableOneIsNoFinding) {
  // No journald at all (a container): the folders do not exist.
  EXPECT_EQ(Unreadable(), "");
  // Readable system files; another user's journal this one may not read is not the system's.
  File("var", "system.journal", true);
  File("var", "system@0005f1e2d3c4b5a6-0123456789abcdef.journal~", true);
  File("run", "user-1000.journal", false);
  EXPECT_EQ(Unreadable(), "");
}

TEST_F(JournalAccessTest, SystemFilesTheUserMayNotReadAreFound) {
  File("run", "system.journal", true);
  const fs::path current = File("var", "system.journal", false);
  EXPECT_EQ(Unreadable(), current.string());
}

TEST_F(JournalAccessTest, AnUnreadableArchiveIsFoundToo) {
  File("var", "user-1000.journal", true);
  const fs::path archive = File(
      "var", "system@2a9f3c41d8b04e0f9a1b2c3d4e5f6a7b-0000000000000001-0005f1e2d3c4b5a6.journal",
      false);
  EXPECT_EQ(Unreadable(), archive.string());
}

TEST_F(JournalAccessTest, AMachineFolderThatCannotBeSearchedIsFound) {
  File("run", "system.journal", true);
  const fs::path folder = m_dir / "run" / kMachine;
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(Unreadable(), folder.string());
}

}  // namespace
}  // namespace vellmor::drives

// The real program writes the page: byte for byte, under the right name, and
// every failure ends in the exact report with nothing lost on disk.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/fixtures.hpp"
#include "support/program_run.hpp"

namespace pagiste::testing {
namespace {

namespace fs = std::filesystem;

const std::string kEarlierPage = "an earlier page that must survive\r\n";

// Answers piped in, one per line, then Enter on the closing screen.
int RunWithAnswers(ProgramRun& run, const std::string& typed) {
  run.Pipe(typed);
  run.ClosePipe();
  return run.Finish();
}

std::string Answers(const std::string& prenom, const std::string& nom) {
  return nom + "\n" + prenom + "\n" + std::string(7, '\n') + "photo.jpg\nD\n\n";
}

std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), folder).string());
  }
  return names;
}

// The report's message line, once the whole report has been checked.
std::string ReportMessage(const std::string& report) {
  static const std::regex kReport(
      "An unhandled exception occurred at 0x([0-9A-F]{8}) :\r\n([^\r\n]*)\r\n  0x\\1\r\n  "
      "0x[0-9A-F]{8}\r\n\r\n");
  std::smatch match;
  return std::regex_match(report, match, kReport) ? match[2].str() : "malformed report: " + report;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(PageRun, TheFullSetOfAnswersGivesThePageByteForByte) {
  ProgramRun run(Piped(true, true));
  EXPECT_EQ(RunWithAnswers(run, JeanDupontTyped()), 0);
  EXPECT_EQ(run.Stdout(), "");
  EXPECT_EQ(FilesIn(run.Folder().Pages()), std::set<std::string>{"Jean Dupont.htm"});
  EXPECT_EQ(ReadFile(run.Folder().Pages() + "/Jean Dupont.htm"), Fixture("Jean Dupont.htm"));
  const auto permissions = fs::status(run.Folder().Pages() + "/Jean Dupont.htm").permissions();
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(static_cast<mode_t>(permissions), 0666 & ~mask);
}

TEST(PageRun, AnEarlierPageIsReplacedCompletely) {
  ProgramRun run(Piped(true, true));
  WriteFile(run.Folder().Pages() + "/Jean Dupont.htm", std::string(10000, '#'));
  EXPECT_EQ(RunWithAnswers(run, JeanDupontTyped()), 0);
  EXPECT_EQ(ReadFile(run.Folder().Pages() + "/Jean Dupont.htm"), Fixture("Jean Dupont.htm"));
  EXPECT_EQ(FilesIn(run.Folder().Pages()).size(), 1U);
}

TEST(PageRun, TheNamesMakeTheFileName) {
  struct Case {
    const char* what;
    std::string prenom;  // as typed: UTF-8
    std::string nom;
    std::string subfolder;  // made beforehand, when not empty
    std::string file;
  };
  const std::vector<Case> cases = {
      {"both names empty", "", "", "", " .htm"},
      {"a backslash is a folder separator", "famille\\Jean", "Dupont", "famille",
       "famille/Jean Dupont.htm"},
      {"accented names", "\xc3\x89lodie", "Lef\xc3\xa8vre", "", "\xc3\x89lodie Lef\xc3\xa8vre.htm"},
  };
  for (const Case& c : cases) {
    ProgramRun run(Piped(true, true));
    if (!c.subfolder.empty()) fs::create_directory(run.Folder().Pages() + "/" + c.subfolder);
    EXPECT_EQ(RunWithAnswers(run, Answers(c.prenom, c.nom)), 0) << c.what << "\n" << run.Stdout();
    EXPECT_EQ(FilesIn(run.Folder().Pages()), std::set<std::string>{c.file}) << c.what;
    const std::string page = ReadFile(run.Folder().Pages() + "/" + c.file);
    EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), 43) << c.what;
  }
}

struct FailureCase {
  const char* what;
  std::string prenom;
  std::function<void(const RunFolder&)> prepare;
  RunOptions options;
  std::string message;
};

TEST(PageRun, EveryFailureGivesItsReportAndLosesNothing) {
  RunOptions as_nobody = Piped(true, true);
  as_nobody.as_unprivileged_user = true;
  RunOptions size_limited = Piped(true, true);
  size_limited.file_size_limit = 1000;
  const auto read_only_folder = [](const RunFolder& folder) {
    fs::permissions(folder.Pages(), fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
  };
  const auto read_only_page = [](const RunFolder& folder) {
    fs::permissions(folder.Pages() + "/Jean Dupont.htm",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  };
  std::string long_utf8_name;
  for (int i = 0; i < 130; ++i) long_utf8_name += "\xc3\xa9";  // 130 characters, 260 bytes
  const std::vector<FailureCase> cases = {
      {"a missing subfolder", "famille\\Jean", nullptr, Piped(true, true), "Invalid filename"},
      {"a folder the program may not write", "Jean", read_only_folder, as_nobody, "Access denied"},
      {"a page the program may not write", "Jean", read_only_page, as_nobody, "Access denied"},
      {"a name too long once in UTF-8", long_utf8_name, nullptr, Piped(true, true),
       "Unknown Run-Time error : 123"},
      {"a file-size limit", "Jean", nullptr, size_limited, "Disk Full"},
      {"a name longer than a page's name may be", std::string(254, 'a'), nullptr, Piped(true, true),
       "Unknown Run-Time error : 123"},
      {"a name that climbs out of the pages' folder", "../Jean", nullptr, Piped(true, true),
       "Unknown Run-Time error : 123"},
  };
  for (const FailureCase& c : cases) {
    ProgramRun run(c.options);
    WriteFile(run.Folder().Pages() + "/Jean Dupont.htm", kEarlierPage);
    if (c.prepare) c.prepare(run.Folder());
    EXPECT_EQ(RunWithAnswers(run, Answers(c.prenom, "Dupont")), 217) << c.what;
    EXPECT_EQ(ReportMessage(run.Stdout()), c.message) << c.what;
    EXPECT_EQ(FilesIn(run.Folder().Pages()), std::set<std::string>{"Jean Dupont.htm"}) << c.what;
    EXPECT_EQ(ReadFile(run.Folder().Pages() + "/Jean Dupont.htm"), kEarlierPage) << c.what;
    EXPECT_EQ(FilesIn(run.Folder().Root()), std::set<std::string>{"personnes/Jean Dupont.htm"})
        << c.what << ": nothing written elsewhere";
  }
}

TEST(PageRun, WithNoPagesFolderEveryQuestionIsAskedBeforeTheReport) {
  RunOptions options = Piped(false, true);
  options.pages_folder = false;
  ProgramRun run(options);
  for (int question = 0; question < 11; ++question) {
    ASSERT_TRUE(run.WaitFor([](const VirtualTerminal& s) { return s.CursorColumn() == 2; }))
        << run.Screen().Dump();
    const int row = run.Screen().CursorRow();
    run.Type("x\r");
    ASSERT_TRUE(run.WaitFor(
        [&](const VirtualTerminal& s) { return s.CursorRow() != row || !s.CursorVisible(); }));
  }
  ASSERT_TRUE(run.WaitForCursor(1, 7));
  EXPECT_EQ(run.Screen().Row(6), " Appuyez sur [Entrée] pour continuer...");
  EXPECT_EQ(run.Stdout(), "");
  run.Type("\r");
  EXPECT_EQ(run.Finish(), 217);
  EXPECT_EQ(ReportMessage(run.Stdout()), "Invalid filename");
  EXPECT_FALSE(fs::exists(run.Folder().Pages()));
}

// A real full disk: a tiny file system mounted for the test (as root only).
TEST(PageRun, AFullDiskGivesDiskFullAndKeepsTheEarlierPage) {
  if (::geteuid() != 0) {
    ASSERT_FALSE(InContinuousIntegration()) << "CI runs as root: this test must run there";
    GTEST_SKIP() << "mounting a small file system needs root";
  }
  ProgramRun run(Piped(true, true));
  const std::string pages = run.Folder().Pages();
  ASSERT_EQ(::mount("tmpfs", pages.c_str(), "tmpfs", 0, "size=8k,mode=0777"), 0)
      << std::strerror(errno);
  WriteFile(pages + "/Jean Dupont.htm", kEarlierPage);
  WriteFile(pages + "/filler", std::string(4096, 'f'));  // the rest of the room
  EXPECT_EQ(RunWithAnswers(run, JeanDupontTyped()), 217);
  EXPECT_EQ(ReportMessage(run.Stdout()), "Disk Full");
  EXPECT_EQ(FilesIn(pages), (std::set<std::string>{"Jean Dupont.htm", "filler"}));
  EXPECT_EQ(ReadFile(pages + "/Jean Dupont.htm"), kEarlierPage);
  ::umount(pages.c_str());
}

}  // namespace
}  // namespace pagiste::testing

namespace pagiste::testing {
namespace {

constexpr uid_t kNobodyUid = 65534;

struct stat StatOf(const std::string& path) {
  struct stat status {};
  ::lstat(path.c_str(), &status);
  return status;
}

// What users rely on in a page they replace: its permissions and owner, a
// symbolic link at its name, and other names it has.
TEST(PageReplacement, ThePermissionsAndOwnerOfTheEarlierPageAreKept) {
  ProgramRun run(Piped(true, true));
  const std::string page = run.Folder().Pages() + "/Jean Dupont.htm";
  WriteFile(page, kEarlierPage);
  ASSERT_EQ(::chmod(page.c_str(), 0640), 0);
  const bool as_root = ::geteuid() == 0;
  if (as_root) {
    ASSERT_EQ(::chown(page.c_str(), kNobodyUid, kNobodyUid), 0);
  }
  EXPECT_EQ(RunWithAnswers(run, JeanDupontTyped()), 0) << run.Stdout();
  EXPECT_EQ(ReadFile(page), Fixture("Jean Dupont.htm"));
  EXPECT_EQ(StatOf(page).st_mode & 07777, 0640U);
  if (as_root) {
    EXPECT_EQ(StatOf(page).st_uid, kNobodyUid);
    EXPECT_EQ(StatOf(page).st_gid, kNobodyUid);
  }
  EXPECT_EQ(FilesIn(run.Folder().Pages()), std::set<std::string>{"Jean Dupont.htm"});
}

TEST(PageReplacement, ASymbolicLinkStaysAndItsTargetGetsTheNewPage) {
  ProgramRun run(Piped(true, true));
  const std::string site = run.Folder().Root() + "/site";
  fs::create_directory(site);
  WriteFile(site + "/jean.htm", kEarlierPage);
  const std::string link = run.Folder().Pages() + "/Jean Dupont.htm";
  fs::create_symlink("../site/jean.htm", link);
  EXPECT_EQ(RunWithAnswers(run, JeanDupontTyped()), 0) << run.Stdout();
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), "../site/jean.htm");
  EXPECT_EQ(ReadFile(site + "/jean.htm"), Fixture("Jean Dupont.htm"));
  EXPECT_EQ(FilesIn(site), std::set<std::string>{"jean.htm"}) << "no unfinished page left";
}

TEST(PageReplacement, AHardLinkedPageIsReplacedAndItsOtherNameKeepsTheOldText) {
  ProgramRun run(Piped(true, true));
  const std::string page = run.Folder().Pages() + "/Jean Dupont.htm";
  WriteFile(page, kEarlierPage);
  fs::create_hard_link(page, run.Folder().Root() + "/other-name.htm");
  EXPECT_EQ(RunWithAnswers(run, JeanDupontTyped()), 0) << run.Stdout();
  EXPECT_EQ(ReadFile(page), Fixture("Jean Dupont.htm"));
  EXPECT_EQ(ReadFile(run.Folder().Root() + "/other-name.htm"), kEarlierPage);
}

// A folder that refuses a new file, or the replacement of another user's
// page, while the page itself may be written: the page is rewritten in place.
TEST(PageReplacement, AFolderThatRefusesNewFilesGetsThePageRewrittenInPlace) {
  if (::geteuid() != 0) {
    ASSERT_FALSE(InContinuousIntegration()) << "CI runs as root: this test must run there";
    GTEST_SKIP() << "running the program as another user needs root";
  }
  struct Case {
    const char* what;
    fs::perms folder;
  };
  const std::vector<Case> cases = {
      {"a read-only folder", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec},
      {"a sticky folder holding another user's page", fs::perms::all | fs::perms::sticky_bit},
  };
  for (const Case& c : cases) {
    RunOptions as_nobody = Piped(true, true);
    as_nobody.as_unprivileged_user = true;
    ProgramRun run(as_nobody);
    const std::string page = run.Folder().Pages() + "/Jean Dupont.htm";
    WriteFile(page, kEarlierPage);
    fs::permissions(page, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write | fs::perms::others_read |
                              fs::perms::others_write);
    fs::permissions(run.Folder().Pages(), c.folder);
    EXPECT_EQ(RunWithAnswers(run, JeanDupontTyped()), 0) << c.what << "\n" << run.Stdout();
    EXPECT_EQ(ReadFile(page), Fixture("Jean Dupont.htm")) << c.what;
    EXPECT_EQ(StatOf(page).st_uid, 0U) << c.what << ": the same file, rewritten";
    EXPECT_EQ(FilesIn(run.Folder().Pages()), std::set<std::string>{"Jean Dupont.htm"}) << c.what;
  }
}

TEST(PageReplacement, APageThatIsAFifoIsRefused) {
  ProgramRun run(Piped(true, true));
  const std::string page = run.Folder().Pages() + "/Jean Dupont.htm";
  ASSERT_EQ(::mkfifo(page.c_str(), 0666), 0);
  EXPECT_EQ(RunWithAnswers(run, JeanDupontTyped()), 217);
  EXPECT_EQ(ReportMessage(run.Stdout()), "Access denied");
  EXPECT_TRUE(S_ISFIFO(StatOf(page).st_mode));
}

}  // namespace
}  // namespace pagiste::testing

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/signals.hpp"
#include "page/page_file.hpp"
#include "page/page_name.hpp"
#include "page/page_template.hpp"
#include "support/fixtures.hpp"
#include "support/program_run.hpp"

namespace pagiste {
namespace {

std::string JoinedPage(const Personne& personne) {
  std::string page;
  for (const std::string& line : PageLines(personne)) page += line + "\r\n";
  return page;
}

TEST(PageTemplate, AFullSetOfAnswersGivesTheHandWrittenPageByteForByte) {
  const std::string expected = testing::Fixture("Jean Dupont.htm");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(JoinedPage(testing::JeanDupont()), expected);
}

TEST(PageTemplate, EmptyAnswersStillGiveFortyThreeLines) {
  const std::string page = JoinedPage(Personne{});
  std::size_t line_ends = 0;
  for (std::size_t at = page.find("\r\n"); at != std::string::npos; at = page.find("\r\n", at + 2))
    ++line_ends;
  EXPECT_EQ(line_ends, 43U);
  EXPECT_EQ(page.substr(page.size() - 9), "</HTML>\r\n");
  EXPECT_NE(page.find(R"(BACKGROUND="Skins//Back.jpg">)"), std::string::npos);
  EXPECT_NE(page.find(R"(src="Skin\\Etoile.jpg")"), std::string::npos);
}

TEST(PageTemplate, AnswersAreInsertedUnescapedAndNonAsciiAsCharacterReferences) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"Zo\x82", "Zo&#233;"},
      {"\x90lodie Lef\x8Avre", "&#201;lodie Lef&#232;vre"},
      {"<b>&amp;\"x\"", "<b>&amp;\"x\""},  // nothing escaped: it may break the markup
      {std::string("\t\x01\x1b\x7f", 4), std::string("\t\x01\x1b\x7f", 4)},
      {"\xC9\xFF", "&#9556;&#160;"},
      {"", ""},
  };
  for (const auto& [answer, in_page] : table) EXPECT_EQ(PageAnswer(answer), in_page) << answer;
}

TEST(PageFileName, FirstNameThenFamilyNameInThePagesFolder) {
  struct Case {
    std::string prenom;
    std::string nom;
    std::optional<std::string> path;  // nothing: the name is refused
  };
  std::string e130;
  for (int i = 0; i < 130; ++i) e130 += "\xC3\xA9";
  const std::vector<Case> cases = {
      {"Jean", "Dupont", "../personnes/Jean Dupont.htm"},
      {"", "", "../personnes/ .htm"},
      {"famille\\Jean", "Dupont", "../personnes/famille/Jean Dupont.htm"},
      {"a/b", "c\\d", "../personnes/a/b c/d.htm"},
      {"\x90lodie", "Lef\x8Avre", "../personnes/\xC3\x89lodie Lef\xC3\xA8vre.htm"},
      {std::string(130, '\x82'), "", "../personnes/" + e130 + " .htm"},
      {"...", "..x", "../personnes/... ..x.htm"},
      // 255 characters at most: cutting would lose ".htm" and land the page
      // under another name.
      {std::string(236, 'p'), "N", "../personnes/" + std::string(236, 'p') + " N.htm"},
      {std::string(236, 'p'), "No", std::nullopt},
      {std::string(254, 'p'), "Nom", std::nullopt},
      // No climbing out of the pages' folder, with either separator.
      {"../../../home/u/.bashrc", "", std::nullopt},
      {"x/../../y", "z", std::nullopt},
      {"..\\secret", "z", std::nullopt},
      {"a", "b/../c", std::nullopt},
      {"a", "/../x", std::nullopt},
  };
  for (const Case& c : cases) {
    Personne personne;
    personne.Prenom = c.prenom;
    personne.Nom = c.nom;
    EXPECT_EQ(FileSystemPath(PageFileName(personne)), c.path) << c.prenom << " " << c.nom;
  }
}

TEST(PageFile, SystemErrorsGiveTheCodeOfTheirCause) {
  const std::vector<std::pair<int, FailureCode>> table = {
      {ENOENT, 3},
      {ENOTDIR, 3},
      {EACCES, 5},
      {EPERM, 5},
      {EROFS, 5},
      {EISDIR, 5},
      {ETXTBSY, 5},
      {EMFILE, 4},
      {ENFILE, 4},
      {ENAMETOOLONG, 123},
      {EILSEQ, 123},
      {EINVAL, 123},
      {ENOSPC, 101},
      {EDQUOT, 101},
      {EFBIG, 101},
      {EIO, UnlistedSystemError(EIO)},
      {ELOOP, UnlistedSystemError(ELOOP)},
  };
  for (const auto& [error_number, code] : table)
    EXPECT_EQ(CreationFailure(error_number), code) << error_number;
}

// An ending signal while the page is being written leaves no trace of it.
TEST(PageFile, AnEndingSignalWhileWritingRemovesTheUnfinishedPage) {
  const testing::RunFolder folder(true);
  const std::string page = folder.Pages() + "/Jean Dupont.htm";
  const pid_t child = ::fork();
  if (child == 0) {
    InstallEndingSignalHandlers();
    PageFile file;
    if (file.Create(page) != kNoFailure || file.WriteLine(std::string(1000, 'x')) != kNoFailure)
      ::_exit(1);
    ::raise(SIGTERM);
    ::_exit(2);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(std::filesystem::is_empty(folder.Pages()));
}

TEST(PageFile, AFailureBeforeTheCloseRemovesTheUnfinishedPage) {
  const testing::RunFolder folder(true);
  {
    PageFile file;
    ASSERT_EQ(file.Create(folder.Pages() + "/page.htm"), kNoFailure);
    ASSERT_EQ(file.WriteLine(std::string(600, 'y')), kNoFailure);
    EXPECT_FALSE(std::filesystem::is_empty(folder.Pages()));
  }  // a failure raised here unwinds through the destructor
  EXPECT_TRUE(std::filesystem::is_empty(folder.Pages()));
}

}  // namespace
}  // namespace pagiste

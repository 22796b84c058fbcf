// A page written by the real program, opened in a real browser (headless
// Chromium): what the browser made of it is read back from its DOM.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/fixtures.hpp"
#include "support/program_run.hpp"

namespace pagiste::testing {
namespace {

namespace fs = std::filesystem;

std::string FileUrl(const std::string& path) {
  std::string url = "file://";
  for (const char c : fs::absolute(path).string()) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '/' || c == '.' || c == '-' || c == '_') {
      url += c;
    } else {
      std::array<char, 4> escaped{};
      std::snprintf(escaped.data(), escaped.size(), "%%%02X", byte);
      url += escaped.data();
    }
  }
  return url;
}

// The page's DOM once the browser has parsed it.
std::string BrowserDom(const std::string& page, const std::string& profile) {
  const std::string command =
      "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--user-data-dir='" +
      profile + "' --dump-dom '" + FileUrl(page) + "' 2>/dev/null";
  std::string dom;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    std::array<char, 4096> buffer{};
    std::size_t count = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
      dom.append(buffer.data(), count);
    ::pclose(pipe);
  }
  return dom;
}

std::string WritePageWith(ProgramRun& run, const std::string& typed) {
  run.Pipe(typed);
  run.ClosePipe();
  EXPECT_EQ(run.Finish(), 0) << run.Stdout();
  return run.Folder().Pages();
}

TEST(Browser, ShowsThePageAsWritten) {
  ProgramRun run(Piped(true, true));
  const std::string pages = WritePageWith(run, JeanDupontTyped());
  const std::string dom = BrowserDom(pages + "/Jean Dupont.htm", run.Folder().Root() + "/profile");
  ASSERT_FALSE(dom.empty()) << "chromium gave nothing";
  EXPECT_NE(dom.find("<title>Jean Dupont</title>"), std::string::npos) << dom;
  EXPECT_NE(dom.find("[Jean Dupont]"), std::string::npos);
  EXPECT_NE(dom.find(R"(href="mailto:jean.dupont@example.fr")"), std::string::npos);
  EXPECT_NE(dom.find(R"(href="mailto:jd@example.org")"), std::string::npos);
  EXPECT_NE(dom.find(R"(<img src="photo.jpg")"), std::string::npos);
  EXPECT_NE(dom.find(R"(background="Skins/D/Back.jpg")"), std::string::npos);
  EXPECT_NE(dom.find("Passionn\xc3\xa9 de photo &amp; de jazz"), std::string::npos);
}

TEST(Browser, ShowsAccentedNamesCorrectly) {
  ProgramRun run(Piped(true, true));
  const std::string pages =
      WritePageWith(run, "Lef\xc3\xa8vre\n\xc3\x89lodie\n\n\n\n\n\n\n\nphoto.jpg\nD\n\n");
  const std::string dom =
      BrowserDom(pages + "/\xc3\x89lodie Lef\xc3\xa8vre.htm", run.Folder().Root() + "/profile");
  EXPECT_NE(dom.find("<title>\xc3\x89lodie Lef\xc3\xa8vre</title>"), std::string::npos) << dom;
  EXPECT_NE(dom.find("[\xc3\x89lodie Lef\xc3\xa8vre]"), std::string::npos);
}

}  // namespace
}  // namespace pagiste::testing

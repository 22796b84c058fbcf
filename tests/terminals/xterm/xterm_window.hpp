// xterm itself on a private X display (Xvfb): keys typed through the X server
// (xdotool), so that xterm produces its own sequences; the screen read back
// from xterm's own XHTML screen dump (text and colours of every cell) and the
// cursor found on a picture of the window, where xterm paints it in a colour
// used nowhere else.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "terminals/child_process.hpp"
#include "terminals/terminal_session.hpp"

namespace pagiste::testing {

class XtermWindow final : public TerminalSession {
 public:
  XtermWindow(int columns, int rows);
  ~XtermWindow() override;
  XtermWindow(const XtermWindow&) = delete;
  XtermWindow& operator=(const XtermWindow&) = delete;
  XtermWindow(XtermWindow&&) = delete;
  XtermWindow& operator=(XtermWindow&&) = delete;

  void Type(std::string_view text) override;
  void Press(const std::vector<NamedKey>& keys) override;
  void Resize(int columns, int rows) override;
  ScreenCells Screen() override;
  int Finish() override;
  void KeepPicture(const std::string& name) override;
  // xterm's own default.
  [[nodiscard]] std::string ProgramTerm() const override { return "xterm"; }
  [[nodiscard]] const RunFolder& Folder() const override { return folder_; }

 private:
  void StartServer();
  void StartXterm(int columns, int rows);
  void FindWindow();
  // Gives each character of the text outside the keyboard map a key of its own.
  void MapKeys(std::string_view text);
  std::string X(std::vector<std::string> command);
  [[nodiscard]] ScreenCells ReadDump() const;
  void FindCursor(ScreenCells& screen);
  [[nodiscard]] std::string StatusFile() const { return folder_.Root() + "/status"; }

  RunFolder folder_{true};
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> xterm_;
  std::vector<std::string> environment_;
  std::string window_;
  int cell_width_ = 0;
  int cell_height_ = 0;
  std::string picture_;  // the window as last read, in XWD form
  std::vector<int> free_keycodes_;
  std::u32string mapped_;
};

}  // namespace pagiste::testing

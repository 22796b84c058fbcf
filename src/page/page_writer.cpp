#include "page/page_writer.hpp"

#include "base/failure.hpp"
#include "page/page_file.hpp"
#include "page/page_name.hpp"
#include "page/page_template.hpp"

namespace pagiste {

void WritePage(const Personne& personne) {
  const std::optional<std::string> path = FileSystemPath(PageFileName(personne));
  CheckIo(path ? kNoFailure : kInvalidName);
  PageFile page;
  CheckIo(page.Create(*path));
  for (const std::string& line : PageLines(personne)) CheckIo(page.WriteLine(line));
  CheckIo(page.Close());
}

}  // namespace pagiste

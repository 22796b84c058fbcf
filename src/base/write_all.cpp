#include "base/write_all.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace pagiste {

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && errno == EAGAIN) {
      pollfd writable{fd, POLLOUT, 0};
      ::poll(&writable, 1, -1);
    } else if (written == 0 || errno != EINTR) {
      return;
    }
  }
}

}  // namespace pagiste

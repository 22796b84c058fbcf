// The one way the program writes bytes to a descriptor.
#pragma once

#include <string_view>

namespace pagiste {

// Every byte, across partial writes and interruptions; gives up silently once
// the descriptor fails (a terminal that went away shows at the next read).
void WriteAll(int fd, std::string_view bytes);

}  // namespace pagiste

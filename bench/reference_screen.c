/* The floor for the comparison: the least a full-screen program can do. It
   puts its terminal in the mode the program uses, writes the program's first
   screen byte for byte in one call, then echoes each key typed. The screen is
   captured from the program itself when it is built (first_screen.inc). */
#include <termios.h>
#include <unistd.h>

static const unsigned char kScreen[] = {
#include "first_screen.inc"
};

int main(void) {
  struct termios modes;
  char keys[64];
  ssize_t count = 0;
  if (tcgetattr(STDIN_FILENO, &modes) == 0) {
    cfmakeraw(&modes);
    tcsetattr(STDIN_FILENO, TCSANOW, &modes);
  }
  if (write(STDOUT_FILENO, kScreen, sizeof kScreen) < 0) return 1;
  while ((count = read(STDIN_FILENO, keys, sizeof keys)) > 0) {
    if (write(STDOUT_FILENO, keys, (size_t)count) < 0) return 1;
  }
  return 0;
}

// A long-lived child that writes to both of its output streams, then waits to be terminated.
#include <cstdio>
#include <unistd.h>

int main() {
  for (int i = 0; i < 3; ++i) {
    std::fputs("chatty on stdout\n", stdout);
    std::fputs("chatty on stderr\n", stderr);
  }
  std::fflush(stdout);
  for (;;) ::pause();
}

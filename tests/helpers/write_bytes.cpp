// Test helper: writes N bytes of a printable pattern to stdout in uneven chunks.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::size_t total = std::strtoull(argv[1], nullptr, 10);
  // The period (89, a prime) never divides a pipe buffer, so a lost or repeated chunk shifts the text.
  std::string text(total, '\0');
  for (std::size_t i = 0; i < total; ++i) text[i] = static_cast<char>('!' + i % 89);
  std::size_t written = 0;
  std::size_t chunk = 1000;
  while (written < total) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + written, std::min(chunk, total - written));
    if (n <= 0) return 3;
    written += static_cast<std::size_t>(n);
    chunk = chunk * 3 % 70001 + 1;
  }
  return 0;
}

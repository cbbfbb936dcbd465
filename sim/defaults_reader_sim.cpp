// The simulated defaults, read once and read only: a link, a pipe, a folder, an oversized or
// unparsable file is reported as unreadable and left exactly where and as it is.
#include "defaults_reader_sim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <nlohmann/json.hpp>

#include "defaults_json.h"

namespace corvel::sim {
namespace {
using nlohmann::json;

// The whole file, or none when it is not a plain file of a sensible size. O_NOFOLLOW refuses a
// link planted in its place, O_NONBLOCK keeps a pipe from holding the open forever.
std::optional<std::string> readPlainFile(const std::filesystem::path& path, bool& missing) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    missing = errno == ENOENT;
    return std::nullopt;
  }
  std::optional<std::string> text;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uintmax_t>(info.st_size) <= SimDefaultsReader::MaximumSize) {
    text.emplace();
    char buffer[16384];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || text->size() + static_cast<std::size_t>(n) > SimDefaultsReader::MaximumSize) {
        text.reset();  // failed, or grew past the limit while being read
        break;
      }
      if (n == 0) break;
      text->append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return text;
}

}  // namespace

SimDefaultsReader::SimDefaultsReader(const std::filesystem::path& root, std::string_view domain)
    : file_(root / "Library" / "Preferences" / (std::string(domain) + ".json")) {}

std::optional<DefaultsSnapshot> SimDefaultsReader::readDefaults(const std::vector<std::string>& keys) {
  try {
    bool missing = false;
    const auto text = readPlainFile(file_, missing);
    json object = json::object();
    if (text) {
      object = json::parse(*text, nullptr, /*allow_exceptions=*/false);
      if (object.is_discarded() || !object.is_object()) return std::nullopt;
    } else if (!missing) {
      return std::nullopt;
    }
    DefaultsSnapshot snapshot;
    for (const auto& key : keys) {
      DefaultsValue& value = snapshot[key];
      const auto it = object.find(key);
      if (it == object.end()) continue;
      if (it->is_string()) value.text = it->get<std::string>();
      value.boolean = booleanOfDefaultsValue(*it);
    }
    return snapshot;
  } catch (const std::exception&) {
    return std::nullopt;  // out of memory on a hostile file is unreadable, not a crash
  }
}

}  // namespace corvel::sim

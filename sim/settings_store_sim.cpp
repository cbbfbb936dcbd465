// The JSON defaults store: every read goes to the file, every write replaces it atomically under an
// advisory lock so that two processes never lose each other's keys.
#include "settings_store_sim.h"

#include <cctype>
#include <ctime>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <unistd.h>

#include "sim_root.h"

namespace corvel::sim {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

class FileLock {
 public:
  explicit FileLock(const fs::path& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

enum class ReadState { missing, parsed, corrupt };

ReadState readObject(const fs::path& file, json& object) {
  const auto text = readFile(file);
  if (!text) return ReadState::missing;
  object = json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (object.is_discarded() || !object.is_object()) {
    object = json::object();
    return ReadState::corrupt;
  }
  return ReadState::parsed;
}

// Moves a file that does not parse out of the way, so the next write does not destroy what may
// still be recovered by hand. Done under the lock, after checking again, so a file a writer has
// just replaced is never taken for the broken one.
void setAsideIfCorrupt(const fs::path& file) {
  json object;
  if (readObject(file, object) != ReadState::corrupt) return;
  std::error_code ignored;
  fs::rename(file, corruptFileName(file), ignored);
}

// NSUserDefaults' Boolean reading of a text: true on a leading "Y", "y", "T", "t" or digit 1-9,
// after blanks, a sign and leading zeros.
bool textAsBoolean(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i == text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace

fs::path corruptFileName(const fs::path& file) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  const std::string base = file.filename().string() + ".corrupt-" + stamp + "-" + std::to_string(getpid());
  fs::path candidate = file.parent_path() / base;
  for (int n = 1; fs::exists(candidate); ++n) candidate = file.parent_path() / (base + "-" + std::to_string(n));
  return candidate;
}

JsonSettingsStore::JsonSettingsStore(const fs::path& root, std::string_view domain)
    : file_(root / "Library" / "Preferences" / (std::string(domain) + ".json")) {
  fs::create_directories(file_.parent_path());
}

std::optional<std::string> JsonSettingsStore::string(std::string_view key) {
  json object;
  if (readObject(file_, object) == ReadState::corrupt) {
    FileLock lock(file_.string() + ".lock");
    setAsideIfCorrupt(file_);
  }
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

bool JsonSettingsStore::boolean(std::string_view key) {
  json object;
  if (readObject(file_, object) == ReadState::corrupt) {
    FileLock lock(file_.string() + ".lock");
    setAsideIfCorrupt(file_);
  }
  const auto it = object.find(key);
  if (it == object.end()) return false;
  if (it->is_boolean()) return it->get<bool>();
  if (it->is_number()) return it->get<double>() != 0.0;
  if (it->is_string()) return textAsBoolean(it->get<std::string>());
  return false;
}

namespace {

// Like the platform's store, a write that cannot reach the disk is dropped without a word; the next
// read then shows what is really stored.
template <typename Change>
void update(const fs::path& file, Change change) {
  try {
    FileLock lock(file.string() + ".lock");
    json object;
    if (readObject(file, object) == ReadState::corrupt) setAsideIfCorrupt(file);
    change(object);
    replaceFileAtomically(file, object.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
  } catch (const std::exception&) {
  }
}

}  // namespace

void JsonSettingsStore::setString(std::string_view key, std::string_view value) {
  update(file_, [&](json& object) { object[std::string(key)] = std::string(value); });
}

void JsonSettingsStore::setBoolean(std::string_view key, bool value) {
  update(file_, [&](json& object) { object[std::string(key)] = value; });
}

void JsonSettingsStore::remove(std::string_view key) {
  update(file_, [&](json& object) { object.erase(std::string(key)); });
}

}  // namespace corvel::sim

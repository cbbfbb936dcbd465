// The JSON defaults store: reads come from memory while the file stays the same; every write
// replaces the file atomically under an advisory lock so that two processes never lose each other's
// keys.
#include "settings_store_sim.h"

#include "defaults_json.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim_root.h"
#include "support/utf8.h"

namespace corvel::sim {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Corvel's own defaults are far under a kilobyte; a file near this size is not its file, and reading
// more would let a link to a device or a huge file take the memory.
constexpr std::size_t MaxFileSize = std::size_t{1} << 20;
// Deeper than any settings need, shallow enough that nothing that walks the value recursively (the
// writer among them) can run out of stack.
constexpr int MaxNesting = 64;

class FileLock {
 public:
  explicit FileLock(const fs::path& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644)) {
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

// What tells one entry at a name from another, or from itself before a change. An editor may put
// the modification time back after an edit of the same size; the change time cannot be set from
// outside, so it still tells.
struct Identity {
  dev_t device;
  ino_t inode;
  off_t size;
  time_t seconds;
  long nanoseconds;
  time_t changeSeconds;
  long changeNanoseconds;
  friend bool operator==(const Identity&, const Identity&) = default;
};

Identity identityOf(const struct stat& info) {
  return {info.st_dev,          info.st_ino,         info.st_size,        info.st_mtim.tv_sec,
          info.st_mtim.tv_nsec, info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
}

std::optional<Identity> entryAt(const fs::path& file) {
  struct stat info {};
  if (::lstat(file.c_str(), &info) != 0) return std::nullopt;
  return identityOf(info);
}

enum class Found { missing, sound, repaired, unsound, unreadable };

struct Reading {
  Found found = Found::missing;
  json object = json::object();
  std::optional<Identity> identity;  // of the entry that was there
  std::string text;                  // the bytes as read, kept for a repaired file's copy
};

std::optional<json> parseObject(const std::string& text) {
  bool tooDeep = false;
  // Told to drop a value that starts too deep, the parser never builds it.
  const json::parser_callback_t limit = [&tooDeep](int depth, json::parse_event_t event, json&) {
    if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
        depth >= MaxNesting) {
      tooDeep = true;
    }
    return !tooDeep;
  };
  json object = json::parse(text, limit, /*allow_exceptions=*/false);
  if (tooDeep || object.is_discarded() || !object.is_object()) return std::nullopt;
  return object;
}

// Every byte that starts no well-formed sequence becomes U+FFFD; none when there is no such byte.
std::optional<std::string> withInvalidUtf8Replaced(std::string_view text) {
  std::string repaired;
  bool changed = false;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    if (utf8::next(text, i)) {
      repaired.append(text.substr(start, i - start));
    } else {
      repaired += "\xEF\xBF\xBD";
      ++i;
      changed = true;
    }
  }
  if (!changed) return std::nullopt;
  return repaired;
}

Reading readDefaults(const fs::path& file) {
  Reading reading;
  // Without blocking (a FIFO would wait for a writer for ever) and without following a link.
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) return reading;
    reading.identity = entryAt(file);
    reading.found = error == ELOOP ? Found::unsound : Found::unreadable;
    return reading;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    reading.found = Found::unreadable;
    return reading;
  }
  reading.identity = identityOf(info);
  reading.found = Found::unsound;
  if (!S_ISREG(info.st_mode) || static_cast<std::size_t>(info.st_size) > MaxFileSize) {
    ::close(fd);
    return reading;
  }
  // The size may have grown since fstat: the cap holds for what is read too.
  char buffer[65536];
  while (reading.text.size() <= MaxFileSize) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      reading.found = Found::unreadable;
      return reading;
    }
    if (n == 0) break;
    reading.text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (reading.text.size() > MaxFileSize) return reading;
  if (auto object = parseObject(reading.text)) {
    reading.found = Found::sound;
    reading.object = std::move(*object);
  } else if (const auto repaired = withInvalidUtf8Replaced(reading.text)) {
    if (auto again = parseObject(*repaired)) {
      reading.found = Found::repaired;
      reading.object = std::move(*again);
    }
  }
  return reading;
}

// Called under the lock with what was found there, so a file a writer has just put in its place is
// never taken for the unsound one. True once the name no longer holds it.
bool setAside(const fs::path& file, const std::optional<Identity>& found) {
  const auto now = entryAt(file);
  if (!now) return true;
  if (now != found) return false;
  return ::rename(file.c_str(), corruptFileName(file).c_str()) == 0;
}

// A copy of a file as it was read, beside it, before the file is replaced by its repaired form.
bool keepCopy(const fs::path& file, const std::string& text) {
  const fs::path copy = corruptFileName(file);
  const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const bool complete = written == text.size() && ::fsync(fd) == 0;
  ::close(fd);
  if (!complete) ::unlink(copy.c_str());
  return complete;
}

std::string serialized(const json& object) { return object.dump(2, ' ', false, json::error_handler_t::replace) + "\n"; }

}  // namespace

struct JsonSettingsStore::State {
  fs::path lock;
  json object = json::object();      // the file as last read
  std::optional<Identity> identity;  // of the entry it was read from; none: read again
  // What this process set but could not save; a key without a value was removed.
  std::map<std::string, std::optional<json>, std::less<>> unsaved;

  const json& current(const fs::path& file) {
    const auto now = entryAt(file);
    if (!now) {
      object = json::object();
      identity.reset();
      return object;
    }
    if (identity == now) return object;
    Reading reading = readDefaults(file);
    if (reading.found == Found::unsound) {
      FileLock held(lock);
      setAside(file, reading.identity);
    } else if (reading.found == Found::repaired) {
      // Made sound at once, so the copy is made once and not by every process that reads it.
      FileLock held(lock);
      const Reading again = readDefaults(file);
      if (again.found == Found::repaired && again.identity == reading.identity && keepCopy(file, again.text)) {
        try {
          replaceFileAtomically(file, serialized(again.object));
        } catch (const std::exception&) {
        }
      }
    }
    object = std::move(reading.object);
    identity = reading.identity;
    return object;
  }

  const json* find(const fs::path& file, std::string_view key) {
    if (const auto it = unsaved.find(key); it != unsaved.end()) return it->second ? &*it->second : nullptr;
    const json& values = current(file);
    const auto it = values.find(key);
    return it == values.end() ? nullptr : &*it;
  }

  void update(const fs::path& file, std::string_view key, std::optional<json> value) {
    unsaved.insert_or_assign(std::string(key), std::move(value));
    identity.reset();
    try {
      FileLock held(lock);
      Reading reading = readDefaults(file);
      bool free = true;
      if (reading.found == Found::unsound || reading.found == Found::unreadable) {
        free = setAside(file, reading.identity);
        reading.object = json::object();
      } else if (reading.found == Found::repaired) {
        free = keepCopy(file, reading.text);
      }
      // What stands there may be all that is left of what Corvel changed on the Mac.
      if (!free) return;
      for (const auto& [name, kept] : unsaved) {
        if (kept) {
          reading.object[name] = *kept;
        } else {
          reading.object.erase(name);
        }
      }
      replaceFileAtomically(file, serialized(reading.object));
      unsaved.clear();
    } catch (const std::exception&) {
    }
  }
};

fs::path corruptFileName(const fs::path& file) { return setAsideName(file, "corrupt"); }

JsonSettingsStore::JsonSettingsStore(const fs::path& root, std::string_view domain)
    : file_(root / "Library" / "Preferences" / (std::string(domain) + ".json")), state_(std::make_unique<State>()) {
  state_->lock = file_.string() + ".lock";
  std::error_code ignored;  // a folder that cannot be made leaves the values in memory
  fs::create_directories(file_.parent_path(), ignored);
}

JsonSettingsStore::~JsonSettingsStore() = default;
JsonSettingsStore::JsonSettingsStore(JsonSettingsStore&&) noexcept = default;
JsonSettingsStore& JsonSettingsStore::operator=(JsonSettingsStore&&) noexcept = default;

std::optional<std::string> JsonSettingsStore::string(std::string_view key) {
  const json* value = state_->find(file_, key);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

bool JsonSettingsStore::boolean(std::string_view key) {
  const json* value = state_->find(file_, key);
  return value != nullptr && booleanOfDefaultsValue(*value);
}

void JsonSettingsStore::setString(std::string_view key, std::string_view value) {
  state_->update(file_, key, json(std::string(value)));
}

void JsonSettingsStore::setBoolean(std::string_view key, bool value) { state_->update(file_, key, json(value)); }

void JsonSettingsStore::remove(std::string_view key) { state_->update(file_, key, std::nullopt); }

bool JsonSettingsStore::saved() { return state_->unsaved.empty(); }

}  // namespace corvel::sim

// Port: the per-user key-value store that persists Corvel's settings (the user defaults domain).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvel {

// Each write is visible to the very next read, also from another process. Like the system's store,
// an adapter may keep what it read in memory while the backing file is unchanged, and keeps a value
// it could not save, reading it back for the rest of the process's run.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The text under `key`, or none when the key is absent or holds something other than text.
  virtual std::optional<std::string> string(std::string_view key) = 0;
  // The Boolean reading of `key`; an absent key reads as false.
  virtual bool boolean(std::string_view key) = 0;
  virtual void setString(std::string_view key, std::string_view value) = 0;
  virtual void setBoolean(std::string_view key, bool value) = 0;
  virtual void remove(std::string_view key) = 0;
  // Whether every change made through this store so far has reached the backing store, where other
  // processes read it: a command must not report a change that stayed in its own memory.
  virtual bool saved() = 0;
};

}  // namespace corvel

// The simulated user defaults: one JSON object per domain, in Library/Preferences under the sim root.
#pragma once

#include <filesystem>
#include <memory>

#include "ports/settings_store.h"

namespace corvel::sim {

// Like the system's store it keeps what it read in memory and reads the file again only once it is
// another file or has changed (device, inode, size, modification and change time), so a write by
// any process is seen by the next read. What stands at the file's name but is no sound defaults
// file (no regular file, a link, over 1 MiB, nested deeper than 64, not a JSON object) reads as
// empty and is set aside beside it; a file whose only fault is invalid UTF-8 keeps every key that
// reads, with the bad bytes replaced, and a copy of it as it was is set aside. A file that exists
// but cannot be read is never written over: it is set aside intact first, or, when even that is
// impossible, left alone. A value that cannot be saved is kept in memory and read back for the rest
// of the run.
class JsonSettingsStore final : public SettingsStore {
 public:
  // The file of `domain` (a bundle identifier) under `root`.
  JsonSettingsStore(const std::filesystem::path& root, std::string_view domain);
  ~JsonSettingsStore() override;
  JsonSettingsStore(JsonSettingsStore&&) noexcept;
  JsonSettingsStore& operator=(JsonSettingsStore&&) noexcept;

  std::optional<std::string> string(std::string_view key) override;
  bool boolean(std::string_view key) override;
  void setString(std::string_view key, std::string_view value) override;
  void setBoolean(std::string_view key, bool value) override;
  void remove(std::string_view key) override;
  bool saved() override;

  const std::filesystem::path& file() const { return file_; }

 private:
  struct State;
  std::filesystem::path file_;
  std::unique_ptr<State> state_;
};

// Where a file that is set aside is kept: "<name>.corrupt-<UTC time>-<pid>[-<n>]" beside it.
std::filesystem::path corruptFileName(const std::filesystem::path& file);

}  // namespace corvel::sim

// The simulated user defaults: one JSON object per domain, in Library/Preferences under the sim root.
#pragma once

#include <filesystem>

#include "ports/settings_store.h"

namespace corvel::sim {

class JsonSettingsStore final : public SettingsStore {
 public:
  // The file of `domain` (a bundle identifier) under `root`.
  JsonSettingsStore(const std::filesystem::path& root, std::string_view domain);

  std::optional<std::string> string(std::string_view key) override;
  bool boolean(std::string_view key) override;
  void setString(std::string_view key, std::string_view value) override;
  void setBoolean(std::string_view key, bool value) override;
  void remove(std::string_view key) override;

  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

// Where a file that could not be parsed is kept: "<name>.corrupt-<UTC time>-<pid>[-<n>]" beside it.
std::filesystem::path corruptFileName(const std::filesystem::path& file);

}  // namespace corvel::sim

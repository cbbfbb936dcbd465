// Reading the simulated defaults file without touching it, however it was left or tampered with.
#pragma once

#include <filesystem>

#include "ports/defaults_reader.h"

namespace corvel::sim {

class SimDefaultsReader final : public DefaultsReader {
 public:
  // The file of `domain` (a bundle identifier) under `root`, where the settings store keeps it.
  SimDefaultsReader(const std::filesystem::path& root, std::string_view domain);
  std::optional<DefaultsSnapshot> readDefaults(const std::vector<std::string>& keys) override;

  // Larger files are not defaults Corvel wrote; reading them would only cost memory.
  static constexpr std::size_t MaximumSize = 1 << 20;

 private:
  std::filesystem::path file_;
};

}  // namespace corvel::sim

// The simulated Dock tile: the icon drawn with Cairo and Pango into a PNG under the sim root.
#pragma once

#include <filesystem>
#include <vector>

#include "platform/dock_tile.h"

namespace corvel::sim {

// The system font stands in as a sans-serif face; the named colours as their usual light-mode tints.
class SimDockTile final : public DockTile {
 public:
  explicit SimDockTile(std::filesystem::path pngPath) : pngPath_(std::move(pngPath)) {}
  double measureTextWidth(const std::string& text, const Font& font) override;
  // Draws every time; the PNG is rewritten only when the pixels changed.
  void showIcon(const Drawing& drawing) override;

  int draws() const { return draws_; }
  int writes() const { return writes_; }

 private:
  std::filesystem::path pngPath_;
  std::vector<unsigned char> lastPixels_;
  int draws_ = 0;
  int writes_ = 0;
};

}  // namespace corvel::sim

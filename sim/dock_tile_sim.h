// The simulated Dock tile: the icon drawn with Cairo and Pango into a PNG under the sim root.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "ports/dock_tile.h"

namespace corvel::sim {

// The system font stands in as a sans-serif face; the named colours as their usual light-mode tints.
class SimDockTile final : public DockTile {
 public:
  explicit SimDockTile(std::filesystem::path pngPath);
  ~SimDockTile() override;
  SimDockTile(const SimDockTile&) = delete;
  SimDockTile& operator=(const SimDockTile&) = delete;

  double measureTextWidth(const std::string& text, const Font& font) override;
  // Draws every time; the PNG is re-encoded and rewritten only when the pixels changed.
  void showIcon(const Drawing& drawing) override;

  int draws() const { return draws_; }
  int writes() const { return writes_; }

 private:
  struct Canvas;
  // Text layouts are costly to build and the icon has a handful of words: each is made once.
  struct LayoutKey {
    std::string text;
    double size;
    FontWeight weight;
    friend bool operator<(const LayoutKey& a, const LayoutKey& b) {
      return std::tie(a.text, a.size, a.weight) < std::tie(b.text, b.size, b.weight);
    }
  };
  struct CachedLayout;

  Canvas& canvas(int width, int height);
  CachedLayout& layout(const std::string& text, const Font& font);

  std::filesystem::path pngPath_;
  std::unique_ptr<Canvas> measuring_;
  std::unique_ptr<Canvas> canvas_;
  std::map<LayoutKey, std::unique_ptr<CachedLayout>> layouts_;
  std::vector<unsigned char> lastPixels_;
  int draws_ = 0;
  int writes_ = 0;
};

}  // namespace corvel::sim

// Port: drawing the application's icon and showing it on the Dock tile.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace corvel {

struct Color {
  enum class Named { none, systemOrange, systemGreen };
  Named named = Named::none;  // a named system colour, whose exact tint is the platform's
  double white = 0;           // otherwise a calibrated grey
  double alpha = 1;
  friend bool operator==(const Color&, const Color&) = default;

  static Color systemOrange() { return {Named::systemOrange, 0, 1}; }
  static Color systemGreen() { return {Named::systemGreen, 0, 1}; }
  static Color calibratedWhite(double white, double alpha) { return {Named::none, white, alpha}; }
};

enum class FontWeight { bold, heavy };

struct Font {
  double size = 0;
  FontWeight weight = FontWeight::bold;
  friend bool operator==(const Font&, const Font&) = default;
};

// Drawing steps in points, origin at the lower left, y growing upwards.
struct FillRoundedRect {
  double x, y, width, height, radiusX, radiusY;
  Color color;
  friend bool operator==(const FillRoundedRect&, const FillRoundedRect&) = default;
};
struct DrawText {
  std::string text;
  double x, y;  // the lower-left corner of the text
  Font font;
  Color color;
  friend bool operator==(const DrawText&, const DrawText&) = default;
};
using DrawingStep = std::variant<FillRoundedRect, DrawText>;

// A whole image as values, so a platform that draws later or on another thread needs no state.
struct Drawing {
  double width = 0, height = 0;  // a transparent canvas
  std::vector<DrawingStep> steps;
  friend bool operator==(const Drawing&, const Drawing&) = default;
};

class DockTile {
 public:
  virtual ~DockTile() = default;
  // The width of `text` drawn with `font` (and nothing else that would change it).
  virtual double measureTextWidth(const std::string& text, const Font& font) = 0;
  // Makes `drawing` the application's icon and asks the Dock tile to redisplay.
  virtual void showIcon(const Drawing& drawing) = 0;
};

}  // namespace corvel

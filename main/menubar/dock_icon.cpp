// The Dock icon, drawn afresh on every refresh to show the state.
#include "main/app_delegate.h"

namespace corvel {

Drawing AppDelegate::makeDockIcon(bool enabled, bool locked) {
  constexpr double canvas = 512;
  Drawing icon{canvas, canvas, {}};
  const Color background = enabled && locked ? Color::systemOrange()
                           : enabled         ? Color::systemGreen()
                                             : Color::calibratedWhite(0.25, 1.0);
  icon.steps.push_back(FillRoundedRect{26, 26, 460, 460, 105, 105, background});

  const auto [word, size] = enabled && locked ? std::pair{"LOCK", 115.0}
                            : enabled         ? std::pair{"ON", 180.0}
                                              : std::pair{"OFF", 145.0};
  // Centred by the width measured with exactly the attributes the text is drawn with.
  const Font wordFont{size, FontWeight::heavy};
  const double wordWidth = platform_.dockTile.measureTextWidth(word, wordFont);
  icon.steps.push_back(DrawText{word, (canvas - wordWidth) / 2, 174, wordFont, Color::calibratedWhite(1.0, 1.0)});

  const std::string caption = "CORVEL MODE";
  const Font captionFont{48, FontWeight::bold};
  const double captionWidth = platform_.dockTile.measureTextWidth(caption, captionFont);
  icon.steps.push_back(
      DrawText{caption, (canvas - captionWidth) / 2, 105, captionFont, Color::calibratedWhite(1.0, 0.9)});
  return icon;
}

void AppDelegate::updateDockIcon(bool effectivelyOn, bool sessionLocked) {
  platform_.dockTile.showIcon(makeDockIcon(effectivelyOn, sessionLocked));
}

}  // namespace corvel

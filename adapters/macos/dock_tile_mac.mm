// The Dock tile on the Mac: text measured and the icon drawn with AppKit, then shown on the tile.
#import <AppKit/AppKit.h>

#include <variant>

#include "adapters_mac.h"
#include "string_bridge.h"

namespace corvel::mac {
namespace {

NSFont* toNSFont(const Font& font) {
  return [NSFont systemFontOfSize:font.size
                           weight:font.weight == FontWeight::heavy ? NSFontWeightHeavy : NSFontWeightBold];
}

NSColor* toNSColor(const Color& color) {
  switch (color.named) {
    case Color::Named::systemOrange:
      return color.alpha == 1 ? NSColor.systemOrangeColor
                              : [NSColor.systemOrangeColor colorWithAlphaComponent:color.alpha];
    case Color::Named::systemGreen:
      return color.alpha == 1 ? NSColor.systemGreenColor
                              : [NSColor.systemGreenColor colorWithAlphaComponent:color.alpha];
    case Color::Named::none:
      break;
  }
  return [NSColor colorWithCalibratedWhite:color.white alpha:color.alpha];
}

void draw(const FillRoundedRect& rect) {
  [toNSColor(rect.color) setFill];
  [[NSBezierPath bezierPathWithRoundedRect:NSMakeRect(rect.x, rect.y, rect.width, rect.height)
                                   xRadius:rect.radiusX
                                   yRadius:rect.radiusY] fill];
}

void draw(const DrawText& text) {
  [toNSString(text.text) drawAtPoint:NSMakePoint(text.x, text.y)
                      withAttributes:@{
                        NSFontAttributeName : toNSFont(text.font),
                        NSForegroundColorAttributeName : toNSColor(text.color)
                      }];
}

class MacDockTile final : public DockTile {
 public:
  double measureTextWidth(const std::string& text, const Font& font) override {
    return [toNSString(text) sizeWithAttributes:@{NSFontAttributeName : toNSFont(font)}].width;
  }

  void showIcon(const Drawing& drawing) override {
    // The handler may run later and on another thread: it gets its own copy of the steps.
    const Drawing steps = drawing;
    NSImage* image = [NSImage imageWithSize:NSMakeSize(drawing.width, drawing.height)
                                    flipped:NO
                             drawingHandler:^BOOL(NSRect) {
                               for (const DrawingStep& step : steps.steps) {
                                 std::visit([](const auto& shape) { draw(shape); }, step);
                               }
                               return YES;
                             }];
    NSApp.applicationIconImage = image;
    [NSApp.dockTile display];
  }
};

}  // namespace

std::unique_ptr<DockTile> makeDockTile() { return std::make_unique<MacDockTile>(); }

}  // namespace corvel::mac

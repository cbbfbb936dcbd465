// Drawing the Dock icon of the simulated Mac with Cairo and Pango.
#include "dock_tile_sim.h"

#include <cairo.h>
#include <cmath>
#include <cstring>
#include <pango/pangocairo.h>

#include "sim_root.h"

namespace corvel::sim {
namespace {

struct Rgba {
  double r, g, b, a;
};

Rgba resolve(const Color& color) {
  switch (color.named) {
    case Color::Named::systemOrange:
      return {255 / 255.0, 149 / 255.0, 0, color.alpha};
    case Color::Named::systemGreen:
      return {52 / 255.0, 199 / 255.0, 89 / 255.0, color.alpha};
    case Color::Named::none:
      break;
  }
  return {color.white, color.white, color.white, color.alpha};
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double rx, double ry) {
  cairo_save(cr);
  cairo_translate(cr, x + w / 2, y + h / 2);
  // An elliptical corner is a circular one drawn in a scaled space.
  cairo_scale(cr, rx, ry);
  const double hw = w / 2 / rx, hh = h / 2 / ry;
  cairo_new_sub_path(cr);
  cairo_arc(cr, hw - 1, -hh + 1, 1, -M_PI / 2, 0);
  cairo_arc(cr, hw - 1, hh - 1, 1, 0, M_PI / 2);
  cairo_arc(cr, -hw + 1, hh - 1, 1, M_PI / 2, M_PI);
  cairo_arc(cr, -hw + 1, -hh + 1, 1, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
  cairo_restore(cr);
}

}  // namespace

struct SimDockTile::Canvas {
  Canvas(int w, int h)
      : width(w),
        height(h),
        surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)),
        cr(cairo_create(surface)) {}
  ~Canvas() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  int width, height;
  cairo_surface_t* surface;
  cairo_t* cr;
};

struct SimDockTile::CachedLayout {
  explicit CachedLayout(PangoLayout* l) : layout(l) {
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    width = static_cast<double>(logical.width) / PANGO_SCALE;
    height = static_cast<double>(logical.height) / PANGO_SCALE;
  }
  ~CachedLayout() { g_object_unref(layout); }
  PangoLayout* layout;
  double width, height;
};

// Layouts are made on a context of their own, so they outlive any change of the icon's canvas.
SimDockTile::SimDockTile(std::filesystem::path pngPath)
    : pngPath_(std::move(pngPath)), measuring_(std::make_unique<Canvas>(1, 1)) {}
SimDockTile::~SimDockTile() = default;

SimDockTile::Canvas& SimDockTile::canvas(int width, int height) {
  if (!canvas_ || canvas_->width != width || canvas_->height != height) {
    canvas_ = std::make_unique<Canvas>(width, height);
  }
  return *canvas_;
}

SimDockTile::CachedLayout& SimDockTile::layout(const std::string& text, const Font& font) {
  auto& cached = layouts_[LayoutKey{text, font.size, font.weight}];
  if (!cached) {
    PangoLayout* layout = pango_cairo_create_layout(measuring_->cr);
    PangoFontDescription* description = pango_font_description_from_string("Sans");
    pango_font_description_set_weight(description,
                                      font.weight == FontWeight::heavy ? PANGO_WEIGHT_HEAVY : PANGO_WEIGHT_BOLD);
    // One point is one pixel on this canvas, as on a 1x screen.
    pango_font_description_set_absolute_size(description, font.size * PANGO_SCALE);
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
    cached = std::make_unique<CachedLayout>(layout);
  }
  return *cached;
}

double SimDockTile::measureTextWidth(const std::string& text, const Font& font) { return layout(text, font).width; }

void SimDockTile::showIcon(const Drawing& drawing) {
  ++draws_;
  Canvas& c = canvas(static_cast<int>(std::lround(drawing.width)), static_cast<int>(std::lround(drawing.height)));
  cairo_t* cr = c.cr;
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_restore(cr);
  for (const auto& step : drawing.steps) {
    if (const auto* rect = std::get_if<FillRoundedRect>(&step)) {
      const Rgba color = resolve(rect->color);
      cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
      // The drawing's y grows upwards; Cairo's grows downwards.
      roundedRect(cr, rect->x, drawing.height - rect->y - rect->height, rect->width, rect->height, rect->radiusX,
                  rect->radiusY);
      cairo_fill(cr);
    } else if (const auto* text = std::get_if<DrawText>(&step)) {
      const Rgba color = resolve(text->color);
      cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
      CachedLayout& cached = layout(text->text, text->font);
      // The point is the lower-left corner of the text's line box.
      cairo_move_to(cr, text->x, drawing.height - text->y - cached.height);
      pango_cairo_update_layout(cr, cached.layout);
      pango_cairo_show_layout(cr, cached.layout);
    }
  }
  cairo_surface_flush(c.surface);
  const unsigned char* data = cairo_image_surface_get_data(c.surface);
  const std::size_t size = static_cast<std::size_t>(cairo_image_surface_get_stride(c.surface)) * c.height;
  if (lastPixels_.size() == size && std::memcmp(lastPixels_.data(), data, size) == 0) return;
  // Encoded in memory and put in place atomically: readers (a person, a test) never see a
  // half-written file, and a link planted at the temporary name is never followed.
  std::string png;
  const auto append = [](void* closure, const unsigned char* bytes, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(bytes), length);
    return CAIRO_STATUS_SUCCESS;
  };
  if (cairo_surface_write_to_png_stream(c.surface, append, &png) != CAIRO_STATUS_SUCCESS) return;
  try {
    replaceFileAtomically(pngPath_, png);
  } catch (const std::exception&) {
    return;
  }
  lastPixels_.assign(data, data + size);
  ++writes_;
}

}  // namespace corvel::sim

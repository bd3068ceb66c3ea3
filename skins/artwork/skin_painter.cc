// Draws every image of the skin archives with cairo (and the contact QR
// codes with libqrencode), so the artwork is ours and can be redrawn:
//   skin_painter <skins folder>
// writes <skins>/{client,updater,uninstal}/TaskSkin/... . One palette, one
// line-icon style (2 px strokes, round caps), rounded shapes throughout.
#include <cairo.h>
#include <qrencode.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Rgb {
  double r, g, b;
};

constexpr Rgb Hex(unsigned v) {
  return {((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0};
}

// The palette.
constexpr Rgb kBlue = Hex(0x0198F9);
constexpr Rgb kBlueLight = Hex(0x01ABFF);
constexpr Rgb kBlueDark = Hex(0x0A78D1);
constexpr Rgb kNavy = Hex(0x0B1F44);
constexpr Rgb kNavyLight = Hex(0x15407E);
constexpr Rgb kGreen = Hex(0x00B374);
constexpr Rgb kRed = Hex(0xFF495F);
constexpr Rgb kOrange = Hex(0xFF9F1A);
constexpr Rgb kGold = Hex(0xF5B942);
constexpr Rgb kGrey = Hex(0x8A94A6);
constexpr Rgb kGreyLight = Hex(0xC9D0DB);
constexpr Rgb kWhite = Hex(0xFFFFFF);

std::string g_root;
int g_written = 0;

void Source(cairo_t* cr, Rgb c, double a = 1.0) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void MakeDirs(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '/')
      mkdir(path.substr(0, i).c_str(), 0755);
  }
}

// Draws one image of w x h pixels into <root>/<name>.
void Paint(const std::string& name, int w, int h, const std::function<void(cairo_t*)>& draw) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  draw(cr);
  cairo_destroy(cr);
  std::string path = g_root + "/" + name;
  MakeDirs(path);
  if (cairo_surface_write_to_png(s, path.c_str()) != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "skin_painter: cannot write %s\n", path.c_str());
    std::exit(1);
  }
  cairo_surface_destroy(s);
  ++g_written;
}

// ---- Line icons on a 24-unit grid -------------------------------------

using Glyph = std::function<void(cairo_t*)>;

void Circle(cairo_t* cr, double x, double y, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, r, 0, 2 * M_PI);
}

void Line(cairo_t* cr, double x1, double y1, double x2, double y2) {
  cairo_move_to(cr, x1, y1);
  cairo_line_to(cr, x2, y2);
}

// An open path through |points|.
void Polyline(cairo_t* cr, std::initializer_list<std::pair<double, double>> points) {
  auto p = points.begin();
  cairo_move_to(cr, p->first, p->second);
  for (++p; p != points.end(); ++p)
    cairo_line_to(cr, p->first, p->second);
}

const std::vector<std::pair<std::string, Glyph>>& Glyphs() {
  static const std::vector<std::pair<std::string, Glyph>> glyphs = {
      {"user",
       [](cairo_t* cr) {
         Circle(cr, 12, 8.5, 4);
         cairo_move_to(cr, 4.5, 20);
         cairo_curve_to(cr, 5.5, 15, 8.5, 13.5, 12, 13.5);
         cairo_curve_to(cr, 15.5, 13.5, 18.5, 15, 19.5, 20);
       }},
      {"lock",
       [](cairo_t* cr) {
         RoundRect(cr, 5, 10.5, 14, 10, 2);
         cairo_move_to(cr, 8, 10.5);
         cairo_line_to(cr, 8, 7.5);
         cairo_arc(cr, 12, 7.5, 4, M_PI, 2 * M_PI);
         cairo_line_to(cr, 16, 10.5);
         Line(cr, 12, 14.5, 12, 16.5);
       }},
      {"phone",
       [](cairo_t* cr) {
         RoundRect(cr, 7, 3, 10, 18, 2);
         Line(cr, 11, 17.5, 13, 17.5);
       }},
      {"shield",
       [](cairo_t* cr) {
         cairo_move_to(cr, 12, 3);
         cairo_line_to(cr, 19, 6);
         cairo_curve_to(cr, 19, 14, 16, 18.5, 12, 21);
         cairo_curve_to(cr, 8, 18.5, 5, 14, 5, 6);
         cairo_close_path(cr);
         Polyline(cr, {{9, 12}, {11.3, 14.3}, {15.5, 10}});
       }},
      {"gear",
       [](cairo_t* cr) {
         Circle(cr, 12, 12, 3);
         for (int i = 0; i < 8; ++i) {
           double a = i * M_PI / 4;
           Line(cr, 12 + 6 * std::cos(a), 12 + 6 * std::sin(a), 12 + 8.5 * std::cos(a),
                12 + 8.5 * std::sin(a));
         }
         Circle(cr, 12, 12, 6);
       }},
      {"crown",
       [](cairo_t* cr) {
         Polyline(cr, {{4, 8}, {8.5, 12}, {12, 5.5}, {15.5, 12}, {20, 8}, {18.5, 18}, {5.5, 18}});
         cairo_close_path(cr);
       }},
      {"wrench",
       [](cairo_t* cr) {
         cairo_move_to(cr, 14.5, 4.5);
         cairo_arc_negative(cr, 16.5, 7.5, 3.6, 4.1, 2.2);
         Line(cr, 14, 10, 5, 19);
         Polyline(cr, {{14.5, 4.5}, {13.5, 7.8}, {16.2, 10.5}, {19.5, 9.5}});
       }},
      {"refresh",
       [](cairo_t* cr) {
         cairo_arc(cr, 12, 12, 7, -M_PI / 2 + 0.5, 3 * M_PI / 2 - 0.2);
         Polyline(cr, {{12.5, 2.5}, {15.5, 5}, {12.5, 7.5}});
       }},
      {"globe",
       [](cairo_t* cr) {
         Circle(cr, 12, 12, 8);
         cairo_save(cr);
         cairo_translate(cr, 12, 12);
         cairo_scale(cr, 3.5, 8);
         Circle(cr, 0, 0, 1);
         cairo_restore(cr);
         Line(cr, 4, 12, 20, 12);
       }},
      {"bolt",
       [](cairo_t* cr) {
         Polyline(cr, {{13.5, 3}, {6, 13.5}, {11.5, 13.5}, {10.5, 21}, {18, 10.5}, {12.5, 10.5}});
         cairo_close_path(cr);
       }},
      {"headset",
       [](cairo_t* cr) {
         cairo_arc(cr, 12, 13, 7.5, M_PI, 2 * M_PI);
         RoundRect(cr, 4.5, 13, 3.5, 6, 1.5);
         RoundRect(cr, 16, 13, 3.5, 6, 1.5);
       }},
      {"bell",
       [](cairo_t* cr) {
         cairo_move_to(cr, 6, 17);
         cairo_line_to(cr, 6, 11);
         cairo_arc(cr, 12, 11, 6, M_PI, 2 * M_PI);
         cairo_line_to(cr, 18, 17);
         cairo_close_path(cr);
         Line(cr, 10.5, 20, 13.5, 20);
       }},
      {"clock",
       [](cairo_t* cr) {
         Circle(cr, 12, 12, 8);
         Polyline(cr, {{12, 7.5}, {12, 12}, {15, 14}});
       }},
      {"upgrade",
       [](cairo_t* cr) {
         Circle(cr, 12, 12, 8);
         Line(cr, 12, 16, 12, 8);
         Polyline(cr, {{8.5, 11}, {12, 7.5}, {15.5, 11}});
       }},
      {"arrow_up",
       [](cairo_t* cr) {
         Polyline(cr, {{6, 15}, {12, 9}, {18, 15}});
       }},
      {"arrow_down",
       [](cairo_t* cr) {
         Polyline(cr, {{6, 9}, {12, 15}, {18, 9}});
       }},
      {"chevron",
       [](cairo_t* cr) {
         Polyline(cr, {{9, 6}, {15, 12}, {9, 18}});
       }},
      {"home",
       [](cairo_t* cr) {
         Polyline(cr, {{4, 11}, {12, 4}, {20, 11}});
         Polyline(cr, {{6.5, 9.5}, {6.5, 19.5}, {17.5, 19.5}, {17.5, 9.5}});
         Polyline(cr, {{10, 19.5}, {10, 14.5}, {14, 14.5}, {14, 19.5}});
       }},
      {"signal",
       [](cairo_t* cr) {
         Line(cr, 5, 19, 5, 15);
         Line(cr, 9.6, 19, 9.6, 12);
         Line(cr, 14.3, 19, 14.3, 8.5);
         Line(cr, 19, 19, 19, 5);
       }},
      {"logout",
       [](cairo_t* cr) {
         Polyline(cr, {{11, 4.5}, {5, 4.5}, {5, 19.5}, {11, 19.5}});
         Line(cr, 9.5, 12, 20, 12);
         Polyline(cr, {{16.5, 8.5}, {20, 12}, {16.5, 15.5}});
       }},
      {"swap",
       [](cairo_t* cr) {
         Line(cr, 5, 8.5, 18.5, 8.5);
         Polyline(cr, {{15, 5}, {18.5, 8.5}, {15, 12}});
         Line(cr, 19, 15.5, 5.5, 15.5);
         Polyline(cr, {{9, 12}, {5.5, 15.5}, {9, 19}});
       }},
      {"card",
       [](cairo_t* cr) {
         RoundRect(cr, 3.5, 7, 17, 11, 2);
         Line(cr, 7, 18, 7, 20.5);
         Line(cr, 11, 18, 11, 20.5);
         Line(cr, 15, 18, 15, 20.5);
         RoundRect(cr, 7, 10, 5, 5, 1);
       }},
  };
  return glyphs;
}

void StrokeGlyph(cairo_t* cr,
                 const Glyph& glyph,
                 double size,
                 Rgb color,
                 double alpha = 1.0,
                 double width = 1.8) {
  cairo_save(cr);
  cairo_scale(cr, size / 24.0, size / 24.0);
  cairo_new_path(cr);
  glyph(cr);
  cairo_restore(cr);
  Source(cr, color, alpha);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
}

const Glyph& GlyphNamed(const std::string& name) {
  for (auto& [n, g] : Glyphs()) {
    if (n == name)
      return g;
  }
  std::fprintf(stderr, "skin_painter: no glyph %s\n", name.c_str());
  std::exit(1);
}

// ---- Pieces -----------------------------------------------------------

// The tern: a swept-wing bird mark, white, in a unit box.
void TernMark(cairo_t* cr, double x, double y, double size) {
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, size / 64.0, size / 64.0);
  cairo_move_to(cr, 6, 26);
  cairo_curve_to(cr, 20, 24, 30, 28, 34, 36);
  cairo_curve_to(cr, 40, 24, 50, 16, 60, 14);
  cairo_curve_to(cr, 52, 22, 46, 32, 42, 44);
  cairo_curve_to(cr, 40, 50, 34, 52, 28, 50);
  cairo_line_to(cr, 18, 56);
  cairo_line_to(cr, 22, 46);
  cairo_curve_to(cr, 18, 38, 14, 32, 6, 26);
  cairo_close_path(cr);
  Source(cr, kWhite);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Gradient(cairo_t* cr, double x0, double y0, double x1, double y1, Rgb a, Rgb b) {
  cairo_pattern_t* p = cairo_pattern_create_linear(x0, y0, x1, y1);
  cairo_pattern_add_color_stop_rgb(p, 0, a.r, a.g, a.b);
  cairo_pattern_add_color_stop_rgb(p, 1, b.r, b.g, b.b);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

void Logo(cairo_t* cr, double size) {
  RoundRect(cr, 0, 0, size, size, size * 0.24);
  Gradient(cr, 0, 0, size, size, kBlueLight, kBlueDark);
  cairo_fill(cr);
  TernMark(cr, size * 0.08, size * 0.06, size * 0.84);
}

// Three states of a round-cornered filled button skin (9-slice friendly).
void ButtonStates(const std::string& base,
                  int w,
                  int h,
                  double r,
                  Rgb normal,
                  Rgb hot,
                  Rgb pressed) {
  const char* states[] = {"normal", "hot", "pressed"};
  Rgb colors[] = {normal, hot, pressed};
  for (int i = 0; i < 3; ++i) {
    Paint(base + "_" + states[i] + ".png", w, h, [&](cairo_t* cr) {
      RoundRect(cr, 0, 0, w, h, r);
      Gradient(cr, 0, 0, 0, h, colors[i], colors[i]);
      cairo_fill_preserve(cr);
      // A soft top light keeps the face from looking flat.
      cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, h);
      cairo_pattern_add_color_stop_rgba(p, 0, 1, 1, 1, i == 2 ? 0.0 : 0.16);
      cairo_pattern_add_color_stop_rgba(p, 1, 1, 1, 1, 0);
      cairo_set_source(cr, p);
      cairo_fill(cr);
      cairo_pattern_destroy(p);
    });
  }
}

// The chrome buttons of a caption: glyph drawn by `glyph` in `color`, with
// a translucent round back on hover and press.
void ChromeButton(const std::string& base,
                  Rgb color,
                  Rgb hot_back,
                  double hot_alpha,
                  const std::function<void(cairo_t*)>& glyph,
                  Rgb hot_color) {
  const char* states[] = {"normal", "hot", "pressed"};
  for (int i = 0; i < 3; ++i) {
    Paint(base + states[i] + ".png", 28, 28, [&](cairo_t* cr) {
      if (i > 0) {
        RoundRect(cr, 2, 2, 24, 24, 6);
        Source(cr, hot_back, hot_alpha * (i == 2 ? 1.6 : 1.0));
        cairo_fill(cr);
      }
      cairo_new_path(cr);
      glyph(cr);
      Source(cr, i > 0 ? hot_color : color);
      cairo_set_line_width(cr, 1.6);
      cairo_stroke(cr);
    });
  }
}

void CloseGlyph(cairo_t* cr) {
  Line(cr, 9.5, 9.5, 18.5, 18.5);
  Line(cr, 18.5, 9.5, 9.5, 18.5);
}

void MinGlyph(cairo_t* cr) {
  Line(cr, 9, 14.5, 19, 14.5);
}

void RoundButton(const std::string& name, int size, Rgb inner, Rgb outer, double glow) {
  Paint(name, size, size, [&](cairo_t* cr) {
    double c = size / 2.0;
    // Outer halo rings.
    for (int i = 0; i < 3; ++i) {
      Circle(cr, c, c, c - 1 - i * 6);
      Source(cr, inner, glow * (0.10 + i * 0.08));
      cairo_fill(cr);
    }
    cairo_pattern_t* p = cairo_pattern_create_radial(c * 0.8, c * 0.7, 2, c, c, c - 18);
    cairo_pattern_add_color_stop_rgb(p, 0, inner.r, inner.g, inner.b);
    cairo_pattern_add_color_stop_rgb(p, 1, outer.r, outer.g, outer.b);
    Circle(cr, c, c, c - 18);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    Circle(cr, c, c, c - 18.5);
    Source(cr, kWhite, 0.35);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
  });
}

// A status badge: a filled circle with a white glyph.
void StatusIcon(const std::string& name,
                int size,
                Rgb color,
                const std::function<void(cairo_t*)>& glyph) {
  Paint(name, size, size, [&](cairo_t* cr) {
    Circle(cr, size / 2.0, size / 2.0, size / 2.0 - 0.5);
    Source(cr, color);
    cairo_fill(cr);
    StrokeGlyph(cr, glyph, size, kWhite, 1.0, size / 12.0);
  });
}

void CheckGlyph(cairo_t* cr) {
  Polyline(cr, {{7, 12.5}, {10.5, 16}, {17, 9}});
}

void CrossGlyph(cairo_t* cr) {
  Line(cr, 8.5, 8.5, 15.5, 15.5);
  Line(cr, 15.5, 8.5, 8.5, 15.5);
}

void BangGlyph(cairo_t* cr) {
  Line(cr, 12, 6.5, 12, 13.5);
  Line(cr, 12, 17.3, 12, 17.4);
}

// A tool tile: rounded square in a hue with a white line glyph.
void ToolTile(const std::string& name, Rgb a, Rgb b, const std::string& glyph) {
  Paint(name, 44, 44, [&](cairo_t* cr) {
    RoundRect(cr, 0, 0, 44, 44, 12);
    Gradient(cr, 0, 0, 44, 44, a, b);
    cairo_fill(cr);
    cairo_translate(cr, 10, 10);
    StrokeGlyph(cr, GlyphNamed(glyph), 24, kWhite, 1.0, 2.0);
  });
}

void QrCode(const std::string& name, const char* text) {
  QRcode* code = QRcode_encodeString(text, 0, QR_ECLEVEL_M, QR_MODE_8, 1);
  if (!code) {
    std::fprintf(stderr, "skin_painter: cannot encode QR text\n");
    std::exit(1);
  }
  const int module = 4;
  const int quiet = 3;
  int side = (code->width + 2 * quiet) * module;
  Paint(name, side, side, [&](cairo_t* cr) {
    Source(cr, kWhite);
    cairo_paint(cr);
    Source(cr, Hex(0x10213F));
    for (int y = 0; y < code->width; ++y) {
      for (int x = 0; x < code->width; ++x) {
        if (code->data[y * code->width + x] & 1)
          cairo_rectangle(cr, (x + quiet) * module, (y + quiet) * module, module, module);
      }
    }
    cairo_fill(cr);
    // The mark in the middle, on a white pad (level M leaves room for it).
    double pad = side * 0.2;
    RoundRect(cr, (side - pad) / 2, (side - pad) / 2, pad, pad, 6);
    Source(cr, kWhite);
    cairo_fill(cr);
    cairo_translate(cr, (side - pad) / 2 + 4, (side - pad) / 2 + 4);
    Logo(cr, pad - 8);
  });
  QRcode_free(code);
}

// A game emblem: a gradient disc with a simple geometric motif.
void GameLogo(int n, Rgb a, Rgb b, int motif) {
  Paint("client/TaskSkin/gamelogo/game_" + std::to_string(n) + ".png", 64, 64, [&](cairo_t* cr) {
    RoundRect(cr, 0, 0, 64, 64, 14);
    Gradient(cr, 0, 0, 64, 64, a, b);
    cairo_fill(cr);
    Source(cr, kWhite, 0.92);
    cairo_set_line_width(cr, 4);
    cairo_new_path(cr);
    switch (motif) {
      case 0:  // crossed blades
        Line(cr, 18, 46, 46, 18);
        Line(cr, 18, 18, 46, 46);
        cairo_stroke(cr);
        break;
      case 1:  // crosshair
        Circle(cr, 32, 32, 14);
        Line(cr, 32, 12, 32, 22);
        Line(cr, 32, 42, 32, 52);
        Line(cr, 12, 32, 22, 32);
        Line(cr, 42, 32, 52, 32);
        cairo_stroke(cr);
        break;
      case 2:  // crown of three peaks
        Polyline(cr, {{14, 44}, {20, 22}, {32, 34}, {44, 22}, {50, 44}});
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
      case 3:  // shield
        cairo_move_to(cr, 32, 12);
        cairo_line_to(cr, 48, 18);
        cairo_curve_to(cr, 48, 36, 42, 46, 32, 52);
        cairo_curve_to(cr, 22, 46, 16, 36, 16, 18);
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
      case 4:  // racing chevrons
        for (int i = 0; i < 3; ++i) {
          Polyline(cr, {{16 + i * 11, 20}, {26 + i * 11, 32}, {16 + i * 11, 44}});
        }
        cairo_stroke(cr);
        break;
      default:  // star
        for (int i = 0; i < 10; ++i) {
          double r = i % 2 ? 8 : 19;
          double ang = -M_PI / 2 + i * M_PI / 5;
          if (i == 0)
            cairo_move_to(cr, 32 + r * std::cos(ang), 33 + r * std::sin(ang));
          else
            cairo_line_to(cr, 32 + r * std::cos(ang), 33 + r * std::sin(ang));
        }
        cairo_close_path(cr);
        cairo_fill(cr);
        break;
    }
  });
}

void Check(const std::string& prefix, bool round) {
  // Unchecked (normal, hot) and checked: the same 16 px box.
  const char* names[] = {"normal", "hot", "checked"};
  for (int i = 0; i < 3; ++i) {
    Paint(prefix + names[i] + ".png", 16, 16, [&](cairo_t* cr) {
      if (round)
        Circle(cr, 8, 8, 7);
      else
        RoundRect(cr, 1, 1, 14, 14, 3.5);
      if (i == 2) {
        Source(cr, kBlue);
        cairo_fill(cr);
        if (round) {
          Circle(cr, 8, 8, 3);
          Source(cr, kWhite);
          cairo_fill(cr);
        } else {
          Polyline(cr, {{4.5, 8.2}, {7, 10.7}, {11.5, 5.8}});
          Source(cr, kWhite);
          cairo_set_line_width(cr, 1.8);
          cairo_stroke(cr);
        }
      } else {
        Source(cr, kWhite);
        cairo_fill_preserve(cr);
        Source(cr, i == 1 ? kBlue : kGreyLight);
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
      }
    });
  }
}

void CommonImages(const std::string& dir) {
  Paint(dir + "logo.png", 64, 64, [](cairo_t* cr) { Logo(cr, 64); });
  Paint(dir + "logo_small.png", 22, 22, [](cairo_t* cr) { Logo(cr, 22); });
  ChromeButton(dir + "close_btn", kWhite, kWhite, 0.18, CloseGlyph, kWhite);
  ChromeButton(dir + "min_btn", kWhite, kWhite, 0.18, MinGlyph, kWhite);
  ChromeButton(dir + "pop_close_btn", kGrey, kRed, 0.12, CloseGlyph, kRed);
  ButtonStates(dir + "btn_primary", 40, 36, 6, kBlue, kBlueLight, kBlueDark);
  ButtonStates(dir + "btn_secondary", 40, 36, 6, Hex(0xEEF3FA), Hex(0xE2ECF8), Hex(0xD4E2F3));
  Check(dir + "check_", false);
  Check(dir + "radio_", true);
  Paint(dir + "caption_bg.png", 8, 40, [](cairo_t* cr) {
    Gradient(cr, 0, 0, 0, 40, kBlueDark, kBlue);
    cairo_paint(cr);
  });
  Paint(dir + "caption_wide_bg.png", 400, 40, [](cairo_t* cr) {
    Gradient(cr, 0, 0, 400, 0, kBlueDark, kBlueLight);
    cairo_paint(cr);
    // Faint flight lines.
    Source(cr, kWhite, 0.07);
    cairo_set_line_width(cr, 1);
    for (int i = 0; i < 5; ++i) {
      cairo_move_to(cr, 180 + i * 50, 40);
      cairo_curve_to(cr, 240 + i * 50, 20, 300 + i * 40, 10, 420, 4 + i * 3);
    }
    cairo_stroke(cr);
  });
  StatusIcon(dir + "status_success.png", 40, kGreen, CheckGlyph);
  StatusIcon(dir + "status_failed.png", 40, kRed, CrossGlyph);
  StatusIcon(dir + "status_warning.png", 40, kOrange, BangGlyph);
  StatusIcon(dir + "tips_icon.png", 14, kRed, BangGlyph);
  StatusIcon(dir + "status_update.png", 40, kBlue, [](cairo_t* cr) {
    Line(cr, 12, 17, 12, 7.5);
    Polyline(cr, {{8, 11.5}, {12, 7.5}, {16, 11.5}});
  });
  Paint(dir + "progress_bk.png", 16, 8, [](cairo_t* cr) {
    RoundRect(cr, 0, 0, 16, 8, 4);
    Source(cr, Hex(0xE3EAF3));
    cairo_fill(cr);
  });
  Paint(dir + "progress_fore.png", 16, 8, [](cairo_t* cr) {
    RoundRect(cr, 0, 0, 16, 8, 4);
    Gradient(cr, 0, 0, 16, 0, kBlue, kBlueLight);
    cairo_fill(cr);
  });
}

void ClientImages() {
  const std::string d = "client/TaskSkin/";
  CommonImages(d);
  // Line icons in the resting grey, the accent blue and white.
  for (auto& [name, glyph] : Glyphs()) {
    Paint(d + "icon_" + name + ".png", 20, 20,
          [&](cairo_t* cr) { StrokeGlyph(cr, glyph, 20, kGrey); });
    Paint(d + "icon_" + name + "_blue.png", 20, 20,
          [&](cairo_t* cr) { StrokeGlyph(cr, glyph, 20, kBlue); });
    Paint(d + "icon_" + name + "_white.png", 20, 20,
          [&](cairo_t* cr) { StrokeGlyph(cr, glyph, 20, kWhite); });
  }
  Paint(d + "main_hero_bg.png", 360, 300, [](cairo_t* cr) {
    Gradient(cr, 0, 0, 0, 300, kNavy, kNavyLight);
    cairo_paint(cr);
    // Concentric radar rings behind the start button.
    for (int i = 1; i <= 6; ++i) {
      Circle(cr, 180, 168, 62 + i * 24);
      Source(cr, kBlueLight, 0.10 - i * 0.012);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
    }
    // A dotted world grid.
    Source(cr, kWhite, 0.05);
    for (int y = 52; y < 300; y += 14) {
      for (int x = 8; x < 360; x += 14)
        Circle(cr, x, y, 1);
    }
    cairo_fill(cr);
  });
  RoundButton(d + "speed_btn_normal.png", 168, kBlueLight, kBlueDark, 1.0);
  RoundButton(d + "speed_btn_hot.png", 168, Hex(0x3BC1FF), kBlue, 1.3);
  RoundButton(d + "speed_btn_pressed.png", 168, kBlue, Hex(0x07609F), 0.8);
  RoundButton(d + "stop_btn_normal.png", 168, Hex(0x24D39A), Hex(0x008F5C), 1.0);
  RoundButton(d + "stop_btn_hot.png", 168, Hex(0x48E3AE), kGreen, 1.3);
  RoundButton(d + "stop_btn_pressed.png", 168, kGreen, Hex(0x006E47), 0.8);
  RoundButton(d + "error_btn_normal.png", 168, Hex(0xFF7A8A), Hex(0xD92E44), 1.0);
  Paint(d + "node_refresh_animation.png", 32, 32, [](cairo_t* cr) {
    // A comet arc fading from the head.
    for (int i = 0; i < 24; ++i) {
      double a0 = -M_PI / 2 + i * (1.6 * M_PI / 24);
      cairo_new_path(cr);
      cairo_arc(cr, 16, 16, 12, a0, a0 + 1.6 * M_PI / 24 + 0.02);
      Source(cr, kBlue, 0.05 + 0.95 * i / 23.0);
      cairo_set_line_width(cr, 3.2);
      cairo_stroke(cr);
    }
  });
  Paint(d + "vip_card_bg.png", 342, 120, [](cairo_t* cr) {
    RoundRect(cr, 0, 0, 342, 120, 12);
    Gradient(cr, 0, 0, 342, 120, Hex(0x2A2F45), Hex(0x454C6B));
    cairo_fill_preserve(cr);
    cairo_clip(cr);
    Source(cr, kGold, 0.12);
    Circle(cr, 300, 20, 70);
    cairo_fill(cr);
    Source(cr, kGold, 0.10);
    Circle(cr, 330, 110, 50);
    cairo_fill(cr);
    cairo_translate(cr, 300, 14);
    StrokeGlyph(cr, GlyphNamed("crown"), 28, kGold, 1.0, 2.0);
  });
  ToolTile(d + "tool_network.png", Hex(0x3BA7FF), kBlueDark, "globe");
  ToolTile(d + "tool_service.png", Hex(0x2BD0A0), Hex(0x00966A), "shield");
  ToolTile(d + "tool_tap_install.png", Hex(0xFFB347), Hex(0xF07C00), "card");
  ToolTile(d + "tool_tap_uninstall.png", Hex(0xFF8593), Hex(0xE2384E), "card");
  Paint(d + "pay_tile_bg.png", 40, 40, [](cairo_t* cr) {
    RoundRect(cr, 0.5, 0.5, 39, 39, 8);
    Source(cr, kWhite);
    cairo_fill(cr);
  });
  Paint(d + "badge_offer.png", 40, 18, [](cairo_t* cr) {
    cairo_move_to(cr, 0, 0);
    cairo_line_to(cr, 34, 0);
    cairo_arc(cr, 34, 6, 6, -M_PI / 2, 0);
    cairo_line_to(cr, 40, 18);
    cairo_line_to(cr, 6, 18);
    cairo_arc(cr, 6, 12, 6, M_PI / 2, M_PI);
    cairo_close_path(cr);
    Gradient(cr, 0, 0, 40, 0, kRed, kOrange);
    cairo_fill(cr);
  });
  Paint(d + "notice_header_bg.png", 300, 36, [](cairo_t* cr) {
    Gradient(cr, 0, 0, 300, 0, kBlueDark, kBlueLight);
    cairo_paint(cr);
  });
  QrCode(d + "qrcode_qq.png", "Tern智能加速器 玩家QQ群 628 314 075 (欢迎加入交流)");
  QrCode(d + "qrcode_wechat.png", "Tern智能加速器 微信公众号 TernBoost 客服在线 9:00-23:00");
  GameLogo(1, Hex(0xFF7A59), Hex(0xD7263D), 0);
  GameLogo(2, Hex(0x3BA7FF), Hex(0x0A4FB3), 1);
  GameLogo(3, Hex(0xF5C04A), Hex(0xD9822B), 2);
  GameLogo(4, Hex(0x2BD0A0), Hex(0x0A7F6B), 3);
  GameLogo(5, Hex(0xA779FF), Hex(0x5B2BD6), 4);
  GameLogo(6, Hex(0x4DD8F0), Hex(0x1677C9), 5);
}

void UpdaterImages() {
  const std::string d = "updater/TaskSkin/";
  CommonImages(d);
  Paint(d + "update_art.png", 72, 72, [](cairo_t* cr) {
    Circle(cr, 36, 36, 35);
    Gradient(cr, 0, 0, 72, 72, Hex(0xE8F4FF), Hex(0xD3E9FF));
    cairo_fill(cr);
    cairo_translate(cr, 12, 12);
    StrokeGlyph(cr, GlyphNamed("upgrade"), 48, kBlue, 1.0, 1.7);
  });
}

void UninstallImages() {
  const std::string d = "uninstal/TaskSkin/";
  CommonImages(d);
  Paint(d + "uninstall_art.png", 96, 96, [](cairo_t* cr) {
    Circle(cr, 48, 48, 47);
    Gradient(cr, 0, 0, 96, 96, Hex(0xE8F4FF), Hex(0xD3E9FF));
    cairo_fill(cr);
    cairo_translate(cr, 16, 16);
    Logo(cr, 64);
  });
  StatusIcon(d + "status_done.png", 64, kGreen, CheckGlyph);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin_painter <skins folder>\n");
    return 2;
  }
  g_root = argv[1];
  ClientImages();
  UpdaterImages();
  UninstallImages();
  std::printf("skin_painter: %d images written under %s\n", g_written, g_root.c_str());
  return 0;
}

#include "manager/shell/fonts.h"

#include <QFontDialog>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/profile.h"
#include "shared/ini.h"

namespace manager {
namespace {

std::function<std::optional<QFont>(const QFont&)>& chooser_hook() {
  static std::function<std::optional<QFont>(const QFont&)> hook;
  return hook;
}

// The first 31 characters of a UTF-8 face name (a character is never cut in half).
std::string cut_face_name(const std::string& name) {
  size_t characters = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if ((byte & 0xC0) != 0x80) {
      if (characters == 31) return name.substr(0, i);
      ++characters;
    }
  }
  return name;
}

uint8_t read_byte(const shared::IniFile& ini, const std::string& section, const char* key,
                  uint8_t fallback) {
  return static_cast<uint8_t>(ini.get_int(section, key, fallback));
}

}  // namespace

LogFont read_log_font(const std::string& ini_file, const std::string& section) {
  const shared::IniFile ini(ini_file);
  LogFont f;
  f.height = ini.get_int(section, "lfHeight", f.height);
  f.width = ini.get_int(section, "lfWidth", f.width);
  f.escapement = ini.get_int(section, "lfEscapement", f.escapement);
  f.orientation = ini.get_int(section, "lfOrientation", f.orientation);
  f.weight = ini.get_int(section, "lfWeight", f.weight);
  f.italic = read_byte(ini, section, "lfItalic", f.italic);
  f.underline = read_byte(ini, section, "lfUnderline", f.underline);
  f.strike_out = read_byte(ini, section, "lfStrikeOut", f.strike_out);
  f.char_set = read_byte(ini, section, "lfCharSet", f.char_set);
  f.out_precision = read_byte(ini, section, "lfOutPrecision", f.out_precision);
  f.clip_precision = read_byte(ini, section, "lfClipPrecision", f.clip_precision);
  f.quality = read_byte(ini, section, "lfQuality", f.quality);
  f.pitch_and_family = read_byte(ini, section, "lfPitchAndFamily", f.pitch_and_family);
  f.face_name = cut_face_name(ini.get(section, "lfFaceName", f.face_name));
  return f;
}

bool write_log_font(const std::string& ini_file, const std::string& section, const LogFont& f) {
  auto number = [](int value) { return std::optional<std::string>(std::to_string(value)); };
  const std::vector<platform::ProfileChange> changes = {
      {"lfHeight", number(f.height)},
      {"lfWidth", number(f.width)},
      {"lfEscapement", number(f.escapement)},
      {"lfOrientation", number(f.orientation)},
      {"lfWeight", number(f.weight)},
      {"lfItalic", number(f.italic)},
      {"lfUnderline", number(f.underline)},
      {"lfStrikeOut", number(f.strike_out)},
      {"lfCharSet", number(f.char_set)},
      {"lfOutPrecision", number(f.out_precision)},
      {"lfClipPrecision", number(f.clip_precision)},
      {"lfQuality", number(f.quality)},
      {"lfPitchAndFamily", number(f.pitch_and_family)},
      {"lfFaceName", cut_face_name(f.face_name)},
  };
  return platform::profile_write_strings(ini_file, section, changes);
}

QFont to_qfont(const LogFont& f) {
  QFont font(QString::fromStdString(f.face_name));
  if (f.height != 0) font.setPixelSize(std::abs(f.height));
  font.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight == 0 ? 400 : f.weight, 1, 1000)));
  font.setItalic(f.italic != 0);
  font.setUnderline(f.underline != 0);
  font.setStrikeOut(f.strike_out != 0);
  return font;
}

LogFont from_qfont(const QFont& font, const LogFont& base) {
  LogFont f = base;
  f.face_name = cut_face_name(font.family().toStdString());
  if (font.pixelSize() > 0) {
    f.height = -font.pixelSize();
  } else if (font.pointSizeF() > 0) {
    f.height = -static_cast<int>(font.pointSizeF() * 96.0 / 72.0 + 0.5);  // 96 dpi screen
  }
  f.weight = font.weight();
  f.italic = font.italic() ? 1 : 0;
  f.underline = font.underline() ? 1 : 0;
  f.strike_out = font.strikeOut() ? 1 : 0;
  return f;
}

std::optional<QFont> choose_font(QWidget* parent, const QFont& initial) {
  if (chooser_hook()) return chooser_hook()(initial);
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, initial, parent);
  if (!ok) return std::nullopt;
  return chosen;
}

void set_font_chooser_hook(std::function<std::optional<QFont>(const QFont&)> hook) {
  chooser_hook() = std::move(hook);
}

}  // namespace manager

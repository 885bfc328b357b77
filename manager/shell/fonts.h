// The fonts of the live user list ([UserFont]) and the log pane ([MessageFont]): one
// LOGFONT-shaped record per section, one key per field, and its Qt counterpart.
#pragma once
#include <QFont>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace manager {

struct LogFont {
  int height = -12;            // lfHeight: negative = character height in pixels
  int width = 0;               // lfWidth
  int escapement = 0;          // lfEscapement
  int orientation = 0;         // lfOrientation
  int weight = 400;            // lfWeight: 400 normal, 700 bold
  uint8_t italic = 0;          // lfItalic
  uint8_t underline = 0;       // lfUnderline
  uint8_t strike_out = 0;      // lfStrikeOut
  uint8_t char_set = 128;      // lfCharSet
  uint8_t out_precision = 3;   // lfOutPrecision
  uint8_t clip_precision = 2;  // lfClipPrecision
  uint8_t quality = 1;         // lfQuality
  uint8_t pitch_and_family = 0;  // lfPitchAndFamily
  std::string face_name = "ＭＳ ゴシック";  // lfFaceName, at most 31 characters
};

inline constexpr const char* kUserFontSection = "UserFont";
inline constexpr const char* kMessageFontSection = "MessageFont";

LogFont read_log_font(const std::string& ini_file, const std::string& section);
bool write_log_font(const std::string& ini_file, const std::string& section, const LogFont& font);

QFont to_qfont(const LogFont& font);
// The fields Qt knows are taken from font; the others keep the values of base.
LogFont from_qfont(const QFont& font, const LogFont& base = {});

// The font chooser (screen fonts) started with initial; none on Cancel. Tests replace it.
std::optional<QFont> choose_font(QWidget* parent, const QFont& initial);
void set_font_chooser_hook(std::function<std::optional<QFont>(const QFont&)> hook);

}  // namespace manager

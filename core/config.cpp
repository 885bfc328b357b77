#include "core/config.h"

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "platform/socket.h"
#include "shared/ini.h"
#include "shared/pattern.h"

namespace core {

namespace {

constexpr int kDefaultPort = 21;
constexpr int kDefaultAdminPort = 54253;
constexpr int kDefaultBufferSize = 1024;
constexpr int kLastGlobalIpSlot = 2;
// RefuseIP.txt is read like fgets into a 256-byte buffer: at most 255 bytes a read.
constexpr size_t kRefuseReadBytes = 255;

// Port 0 stands for the ftp/tcp entry of the services database, or 21 without one.
int resolve_ftp_port(int configured) {
  if (configured != 0) return configured;
  const uint16_t listed = platform::service_port("ftp", "tcp");
  return listed != 0 ? listed : kDefaultPort;
}

// Negative values mean the default; 0 turns a limit off.
int non_negative(const shared::IniFile& ini, const char* key, int fallback) {
  const int value = ini.get_int("System", key, fallback);
  return value < 0 ? fallback : value;
}

void read_login_limits(const shared::IniFile& ini, ServerConfig& c) {
  constexpr int kMaxDelayMs = 60000;
  constexpr int kMaxLockMinutes = 7 * 24 * 60;
  c.login_fail_delay_ms = std::min(non_negative(ini, "LoginFailDelay", 1000), kMaxDelayMs);
  c.login_fail_limit = non_negative(ini, "LoginFailLimit", 10);
  c.login_lock_seconds = std::min(non_negative(ini, "LoginLockMinutes", 10), kMaxLockMinutes) * 60;
  // The lock in seconds, for locks shorter than a minute; it replaces LoginLockMinutes.
  const int lock_seconds = ini.get_int("System", "LoginLockSeconds", 0);
  if (lock_seconds > 0) c.login_lock_seconds = std::min(lock_seconds, kMaxLockMinutes * 60);
  c.login_timeout_seconds = non_negative(ini, "LoginTimeout", 60);
}

void read_system_section(const shared::IniFile& ini, ServerConfig& c) {
  c.sys_ini_version = ini.get_int("System", "SysIniVer", 100);
  c.port = resolve_ftp_port(ini.get_int("System", "Port", kDefaultPort));
  c.admin_port = ini.get_int("System", "FtpdCoreListenPort", kDefaultAdminPort);
  c.listen_address = ini.get("System", "ListenAddress", "");
  c.source_port = static_cast<uint16_t>(ini.get_int("System", "SourcePort", 0));
  c.max_connect = ini.get_int("System", "MaxConnect", 0);
  c.global_ip_slot = std::clamp(ini.get_int("System", "GlobalIP", 0), 0, kLastGlobalIpSlot);
  c.buffer_size = ini.get_int("System", "BufferSize", kDefaultBufferSize);
  // A transfer needs at least one byte of buffer; nonsense falls back to the default.
  if (c.buffer_size < 1) c.buffer_size = kDefaultBufferSize;
  c.passive_port_low = static_cast<uint16_t>(ini.get_int("System", "PasvPortl", 0));
  c.passive_port_high = static_cast<uint16_t>(ini.get_int("System", "PasvPorth", 0));
  c.use_global_ip = ini.get_int("System", "UseGlobalIp", 0);
  c.use_client_global_ip = ini.get_int("System", "UseClientGlobalIp", 0);
  c.save_user_minutes = ini.get_int("System", "SaveUsrMin", 0);
  c.ras_connect = ini.get_int("System", "RASConnect", 0);
  c.global_ip_url = ini.get("System", "GlobalIpUrl", "");
  read_login_limits(ini, c);
}

void read_log_section(const shared::IniFile& ini, ServerConfig& c) {
  c.log_all_commands = ini.get_int("Log", "LogAllCmd", 0);
  c.log_all_comments = ini.get_int("Log", "LogAllComment", 1);
  c.log_all_files = ini.get_int("Log", "LogAllFile", 1);
  c.ip_to_host = static_cast<uint8_t>(ini.get_int("Log", "Ip2Host", 0));
  c.max_log_chars = ini.get_int("Log", "MaxLogChar", 3000);
  const char* idle_key = c.sys_ini_version == 0 ? "WaitViewIdolTime" : "WaitViewIdleTime";
  c.wait_view_idle_time = ini.get_int("Log", idle_key, 0);
  c.wait_view_down_time = ini.get_int("Log", "WaitViewDownTime", 0);
  c.adjust_digit = ini.get_int("Log", "AdjDigit", 1);
}

TlsSettings read_tls_section(const shared::IniFile& ini) {
  TlsSettings t;
  t.enable = ini.get_int("TLS", "Enable", 0);
  t.certificate = ini.get("TLS", "Certificate", "");
  t.private_key = ini.get("TLS", "PrivateKey", "");
  t.implicit_port = ini.get_int("TLS", "ImplicitPort", 0);
  // A port that cannot be listened on means no implicit listener.
  if (t.implicit_port < 0 || t.implicit_port > 0xFFFF) t.implicit_port = 0;
  t.require_for_login = ini.get_int("TLS", "RequireForLogin", 0);
  t.require_for_data = ini.get_int("TLS", "RequireForData", 0);
  t.require_reuse = ini.get_int("TLS", "RequireReuse", 1);
  return t;
}

UnknownIdMode read_unknown_id_mode(const shared::IniFile& ini) {
  if (ini.get_int("UnKnownID", "Refuse", 1) != 0) return UnknownIdMode::Refuse;
  if (ini.get_int("UnKnownID", "MailPass", 1) != 0) return UnknownIdMode::MailPassword;
  if (ini.get_int("UnKnownID", "MakeAcount", 1) != 0) return UnknownIdMode::MakeAccount;
  return UnknownIdMode::Refuse;
}

std::string folder_of(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

// Text mode: a CR LF pair reads as LF.
std::string as_text_mode(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text.push_back(bytes[i]);
  }
  return text;
}

// The patterns of the list in file order, one per fgets-style read: a read ends after a
// LF or after 255 bytes; one trailing LF is dropped; the pattern ends at a NUL byte;
// empty reads are skipped.
std::vector<std::string> refuse_patterns(const std::string& content) {
  const std::string text = as_text_mode(content);
  std::vector<std::string> patterns;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t line_end = text.find('\n', pos);
    const size_t available = (line_end == std::string::npos ? text.size() : line_end + 1) - pos;
    std::string piece = text.substr(pos, std::min(available, kRefuseReadBytes));
    pos += piece.size();
    if (!piece.empty() && piece.back() == '\n') piece.pop_back();
    const size_t nul = piece.find('\0');
    if (nul != std::string::npos) piece.resize(nul);
    if (!piece.empty()) patterns.push_back(std::move(piece));
  }
  return patterns;
}

}  // namespace

ProgramPaths make_program_paths(const std::string& program_directory) {
  ProgramPaths paths;
  paths.program_directory = program_directory;
  if (paths.program_directory.empty() || paths.program_directory.back() != '/') {
    paths.program_directory.push_back('/');
  }
  paths.config_file = paths.program_directory + "velmoraFTPd.ini";
  paths.user_directory = paths.program_directory + "user/";
  return paths;
}

ServerConfig load_server_config(const std::string& config_file) {
  const shared::IniFile ini(config_file);
  ServerConfig config;
  read_system_section(ini, config);
  read_log_section(ini, config);
  config.unknown_id_mode = read_unknown_id_mode(ini);
  config.tls = read_tls_section(ini);
  return config;
}

int read_configured_port(const std::string& config_file) {
  return shared::IniFile(config_file).get_int("System", "Port", kDefaultPort);
}

int read_admin_port(const std::string& config_file) {
  return shared::IniFile(config_file).get_int("System", "FtpdCoreListenPort", kDefaultAdminPort);
}

bool refused_by_list(const std::string& config_file, const std::string& subject) {
  const auto content = platform::read_whole_file_cached(folder_of(config_file) + "RefuseIP.txt");
  if (!content) return false;
  for (const std::string& pattern : refuse_patterns(*content)) {
    if (shared::pattern_match(pattern, subject)) return true;
  }
  return false;
}

}  // namespace core

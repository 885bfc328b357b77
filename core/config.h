// System settings of velmoraFTPd.ini that the Core reads, and the refused-host list.
#pragma once
#include <cstdint>
#include <string>

namespace core {

// Paths fixed at start-up.
struct ProgramPaths {
  std::string program_directory;  // ends with '/'
  std::string config_file;        // program directory + "velmoraFTPd.ini"
  std::string user_directory;     // program directory + "user/"
};

// [TLS]: FTP over TLS. Paths are as written (relative ones are taken from the program
// directory when the certificate is loaded).
struct TlsSettings {
  int enable = 0;
  std::string certificate;
  std::string private_key;
  int implicit_port = 0;  // 0: no implicit-TLS listener
  int require_for_login = 0;
  int require_for_data = 0;
  int require_reuse = 1;  // a data connection must resume the control connection's session
};

enum class UnknownIdMode : uint8_t { Refuse = 0, MakeAccount = 1, MailPassword = 2 };

struct ServerConfig {
  // [System]
  int sys_ini_version = 100;
  int port = 21;
  int admin_port = 54253;  // FtpdCoreListenPort
  std::string listen_address;  // ListenAddress: "" = every IPv4 and IPv6 address
  uint16_t source_port = 0;
  int max_connect = 0;
  int global_ip_slot = 0;  // clamped to 0..2
  int buffer_size = 1024;
  uint16_t passive_port_low = 0;
  uint16_t passive_port_high = 0;
  int use_global_ip = 0;
  int use_client_global_ip = 0;
  int save_user_minutes = 0;
  int ras_connect = 0;
  std::string global_ip_url;  // "" = no lookup
  // Password guessing and slots held before login.
  int login_fail_delay_ms = 1000;  // LoginFailDelay: a wrong password is answered after it
  int login_fail_limit = 10;       // LoginFailLimit: wrong passwords that lock an address
  int login_lock_seconds = 600;    // LoginLockMinutes, or LoginLockSeconds when set
  int login_timeout_seconds = 60;  // LoginTimeout: 0 = no limit
  // [Log]
  int log_all_commands = 0;
  int log_all_comments = 1;
  int log_all_files = 1;
  uint8_t ip_to_host = 0;
  int max_log_chars = 3000;
  int wait_view_idle_time = 0;
  int wait_view_down_time = 0;
  int adjust_digit = 1;
  // [UnKnownID]
  UnknownIdMode unknown_id_mode = UnknownIdMode::Refuse;
  TlsSettings tls;
};

ProgramPaths make_program_paths(const std::string& program_directory);
ServerConfig load_server_config(const std::string& config_file);
// Port of [System] Port, for the named mutex (default 21).
int read_configured_port(const std::string& config_file);
int read_admin_port(const std::string& config_file);
// True when subject matches a line of RefuseIP.txt beside config_file.
bool refused_by_list(const std::string& config_file, const std::string& subject);

}  // namespace core

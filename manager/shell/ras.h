// The dial-up keeper: the dialog "RAS Manager" and the keep-alive step of the one-second
// tick. Dial-up goes through a RasService: NetworkManager's nmcli by default (reporting
// itself unavailable, with the reason, where NetworkManager is absent); tests install a
// fake.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace manager {

// Connection states a dial reports.
inline constexpr uint32_t kRasConnectDevice = 2;
inline constexpr uint32_t kRasAuthenticate = 5;
inline constexpr uint32_t kRasAuthenticated = 12;
inline constexpr uint32_t kRasConnected = 0x2000;
inline constexpr uint32_t kRasDisconnected = 0x2001;

using RasHandle = uint64_t;  // 0: no connection

struct RasCredentials {
  std::string user_name;
  std::string password;
};

struct RasDialParams {
  std::string entry;
  std::string user_name;
  std::string password;
};

struct RasDialStart {
  bool accepted = false;
  RasHandle handle = 0;  // may be set even when the start was refused (hang it up)
};

// Progress of an asynchronous dial: the connection state and an error code (0: none).
// The service may call it from any thread, until hang_up of the dial's handle returns.
using RasProgress = std::function<void(uint32_t state, uint32_t error)>;

class RasService {
 public:
  virtual ~RasService() = default;
  virtual bool available() const = 0;
  // Why the service is not available (empty when it is).
  virtual std::string unavailable_reason() const { return {}; }
  // The phone-book entry names (any order); none when the listing fails.
  virtual std::optional<std::vector<std::string>> entries() = 0;
  // The user name and password stored with an entry; none when they cannot be read.
  virtual std::optional<RasCredentials> credentials(const std::string& entry) = 0;
  // Starts dialling; progress reports arrive through the callback.
  virtual RasDialStart dial(const RasDialParams& params, RasProgress progress) = 0;
  // Hangs up a dial or connection; no progress of that handle is reported afterwards.
  virtual void hang_up(RasHandle handle) = 0;
  // How many dial-up connections are open; none when that cannot be learned.
  virtual std::optional<int> connection_count() = 0;
  // Whether the entry's connection is up; none when the service cannot tell one entry
  // from another (the keep-alive then asks connection_count).
  virtual std::optional<bool> entry_connected(const std::string&) { return std::nullopt; }
};

RasService& ras_service();
void set_ras_service(std::unique_ptr<RasService> service);
// True when at least one dial-up connection is open.
bool ras_connected();
// True when the entry chosen in the settings (or, where the service cannot tell, any
// entry) is connected.
bool chosen_entry_connected(const std::string& ini_file);
// Entry names in the dialog's order: by name, letter case ignored.
std::vector<std::string> sorted_entry_names(std::vector<std::string> names);

// Opens "RAS Manager" modally; dialling = true dials at once. Returns the dialog result
// (1 = OK, 0 = Cancel).
int run_ras_dialog(QWidget* parent, const std::string& ini_file, bool dialling);
// One tick of the keep-alive (called while [System] RASConnect is set).
void ras_keep_alive_step(QWidget* parent, const std::string& ini_file);
// The keep-alive's process-wide automatic-dial flag: set while its dialog is shown, and
// left set when that dialog gave up (or no dial-up service exists), so that automatic
// dialling stops for the rest of the run.
bool ras_auto_dial_flag();
void reset_ras_keep_alive();  // clears the flag (tests)

// The dialog's timing; tests shorten it.
struct RasTiming {
  int tick_ms = 1000;              // the redial timer
  int refused_pause_ms = 2000;     // after a dial the service refused to start
};
void set_ras_timing(const RasTiming& timing);
const RasTiming& ras_timing();

}  // namespace manager

// NetworkManager as the dial-up service, through its command-line client nmcli: the
// connection profiles are the entries, dialling brings one up, hanging up brings it down.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "manager/shell/ras.h"

namespace manager {

// The nmcli program: VELMORAFTPD_NMCLI when set (tests), else /usr/bin/nmcli.
std::string nmcli_program();

class NmcliRas : public RasService {
 public:
  // Asks nmcli once whether NetworkManager runs; the answer holds for the service's life.
  explicit NmcliRas(std::string program);
  ~NmcliRas() override;  // joins the dials still running

  bool available() const override { return reason_.empty(); }
  std::string unavailable_reason() const override { return reason_; }
  std::optional<std::vector<std::string>> entries() override;
  // NetworkManager keeps the secrets of a profile itself: nothing is shown.
  std::optional<RasCredentials> credentials(const std::string& entry) override;
  // "nmcli connection up" on a thread of its own: progress reports "dialling", then
  // "connected" or an error.
  RasDialStart dial(const RasDialParams& params, RasProgress progress) override;
  void hang_up(RasHandle handle) override;
  // Active connections other than the loopback.
  std::optional<int> connection_count() override;
  std::optional<bool> entry_connected(const std::string& entry) override;

  // The timeout of one nmcli call that brings a connection up.
  static constexpr int kDialTimeoutMs = 90000;

 private:
  struct Dial;
  // "NAME:TYPE" lines of nmcli's terse output, loopback left out; none when nmcli fails.
  std::optional<std::vector<std::string>> names(bool active_only);
  void run_dial(const std::shared_ptr<Dial>& dial);

  std::string program_;
  std::string reason_;
  std::mutex lock_;
  std::map<RasHandle, std::shared_ptr<Dial>> dials_;
  RasHandle next_handle_ = 0;
};

// Splits one line of nmcli's terse output ("-t") into its fields: ':' separates them,
// and a backslash escapes a ':' or a backslash inside a field.
std::vector<std::string> split_terse_line(const std::string& line);

}  // namespace manager

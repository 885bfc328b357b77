#include "core/tls_commands.h"

#include <cstdio>

#include "core/admin_channel.h"
#include "core/reply.h"
#include "core/transport.h"

namespace core {
namespace {

constexpr const char* kNotImplemented = "502 Command not implemented.\r\n";

bool tls_enabled() { return core_state().config.tls.enable != 0; }

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

std::string from_program_directory(const CoreState& state, const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  return state.paths.program_directory + path;
}

// The control connection's handshake. The idle limit of the watchdog breaks one that a
// client leaves half done.
bool secure_control(Session& s) {
  platform::TlsContext* context = core_state().tls.get();
  if (context == nullptr) return false;
  std::string error;
  auto stream = platform::TlsStream::accept(*context, s.control_socket.load(), s.id, -1, &error);
  if (stream == nullptr) {
    report(s, shared::kEventRefused, "TLSのネゴシエーションに失敗したため、切断します。");
    return false;
  }
  attach_stream(s, SessionSocket::Control, std::move(stream));
  return true;
}

}  // namespace

void load_tls_context(CoreState& state) {
  state.tls.reset();
  const TlsSettings& settings = state.config.tls;
  if (settings.enable == 0) return;
  std::string error;
  if (settings.certificate.empty() || settings.private_key.empty()) {
    error = "[TLS] Certificate and PrivateKey must both name a PEM file";
  } else {
    state.tls = platform::TlsContext::server(from_program_directory(state, settings.certificate),
                                             from_program_directory(state, settings.private_key),
                                             &error);
  }
  if (state.tls == nullptr) {
    std::fprintf(stderr, "quorsrv: TLS is off, plain FTP only: %s\n", error.c_str());
    std::fflush(stderr);
  }
}

bool tls_available() { return core_state().tls != nullptr; }

bool handle_auth(Session& s, const std::string& argument) {
  if (!tls_enabled()) {
    send_reply(s, kNotImplemented);
    return true;
  }
  const std::string mechanism = upper(argument);
  if (mechanism != "TLS" && mechanism != "SSL" && mechanism != "TLS-C") {
    send_reply(s, "504 AUTH TLS or AUTH SSL only.\r\n");
    return true;
  }
  if (encrypted(s, SessionSocket::Control)) {
    send_reply(s, "503 TLS is already in use.\r\n");
    return true;
  }
  if (s.login_state != kConnected) {
    send_reply(s, "503 AUTH must come before USER.\r\n");
    return true;
  }
  if (core_state().tls == nullptr) {
    send_reply(s, "431 TLS is unavailable: the server has no usable certificate.\r\n");
    return true;
  }
  // Nothing may follow AUTH before its reply: plain text sent ahead would otherwise be
  // read as if it had come over TLS.
  if (!s.pending_input.empty()) return false;
  send_reply(s, "234 Proceed with negotiation.\r\n");
  if (!secure_control(s)) return false;
  s.protection_size_set = false;
  s.protect_data = false;
  report(s, shared::kEventStatus, "TLSで暗号化しました。");
  return true;
}

bool handle_pbsz(Session& s, const std::string& argument) {
  if (!encrypted(s, SessionSocket::Control)) {
    send_reply(s, "503 PBSZ needs AUTH TLS first.\r\n");
    return true;
  }
  if (argument.empty() || argument.find_first_not_of("0123456789") != std::string::npos) {
    send_reply(s, "501 PBSZ takes a decimal number.\r\n");
    return true;
  }
  s.protection_size_set = true;
  send_reply(s, "200 PBSZ=0\r\n");
  return true;
}

bool handle_prot(Session& s, const std::string& argument) {
  if (!encrypted(s, SessionSocket::Control)) {
    send_reply(s, "503 PROT needs AUTH TLS first.\r\n");
    return true;
  }
  if (!s.protection_size_set) {
    send_reply(s, "503 PROT needs PBSZ first.\r\n");
    return true;
  }
  const std::string level = upper(argument);
  if (level == "P") {
    s.protect_data = true;
    send_reply(s, "200 Protection level set to P.\r\n");
  } else if (level == "C") {
    if (core_state().config.tls.require_for_data != 0) {
      send_reply(s, "534 Data connections must be protected.\r\n");
      return true;
    }
    s.protect_data = false;
    send_reply(s, "200 Protection level set to C.\r\n");
  } else if (level == "S" || level == "E") {
    send_reply(s, "536 Protection level not supported.\r\n");
  } else {
    send_reply(s, "504 Unknown protection level.\r\n");
  }
  return true;
}

bool handle_ccc(Session& s, const std::string&) {
  send_reply(s, "534 The control connection stays protected.\r\n");
  return true;
}

bool start_implicit_tls(Session& s) {
  if (!secure_control(s)) return false;
  // A client of the implicit port expects its data protected without asking.
  s.protection_size_set = true;
  s.protect_data = true;
  return true;
}

bool tls_allows_login(Session& s, bool account_read) {
  if (encrypted(s, SessionSocket::Control)) return true;
  const TlsSettings& settings = core_state().config.tls;
  if (!account_read && settings.require_for_login != 0) {
    send_reply(s, "530 TLS is required: use AUTH TLS before logging in.\r\n");
  } else if (account_read && s.require_tls) {
    send_reply(s, "530 This account requires TLS: use AUTH TLS before logging in.\r\n");
  } else {
    return true;
  }
  report(s, shared::kEventRefused, "TLSを使わないログインを拒否しました。");
  return false;
}

}  // namespace core

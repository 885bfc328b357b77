#include "fileservice/data_connection.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "core/admin_channel.h"
#include "core/reply.h"
#include "core/server.h"
#include "core/transport.h"
#include "fileservice/data_worker.h"
#include "fileservice/global_ip.h"
#include "fileservice/port_rules.h"
#include "platform/clock.h"
#include "platform/netif.h"
#include "shared/bounded_text.h"

namespace fileservice {

namespace {

constexpr const char* kNotLoggedIn = "530 Not log in.\r\n";
constexpr const char* kCantOpen = "425 Can't open data connection.\r\n";
constexpr const char* kNotResumed =
    "425 The data connection must resume the TLS session of the control connection.\r\n";
constexpr const char* kMustProtect = "521 Data connections must be protected: use PROT P.\r\n";
// A client that connects and then never starts its data handshake.
constexpr int kDataHandshakeMs = 60000;
constexpr uint32_t kPassiveWaitMs = 5000;
constexpr size_t kAddressBuffer = 16;  // the address text of PORT, terminator included
constexpr size_t kHighByteMax = 9;
constexpr size_t kLowByteMax = 8;
constexpr size_t kExtendedAddressMax = 45;  // the longest IPv6 text
constexpr int kProtocolIpv4 = 1;
constexpr int kProtocolIpv6 = 2;
constexpr const char* kBadArgument = "501 Syntax error in parameters or arguments.\r\n";
constexpr const char* kProtocolNotSupported = "522 Network protocol not supported, use (1)\r\n";
constexpr const char* kProtocolNotSupported6 = "522 Network protocol not supported, use (2)\r\n";

bool logged_in(core::Session& s) { return s.login_state.load() == core::kLoggedIn; }

// An IPv6 client: its address text is IPv6 (an IPv4-mapped peer was made IPv4 text).
bool ipv6_client(core::Session& s) {
  return core::read_field(s, &core::Session::address_text).find(':') != std::string::npos;
}

// The reply to a network protocol the client's connection cannot use.
const char* protocol_refusal(core::Session& s) {
  return ipv6_client(s) ? kProtocolNotSupported6 : kProtocolNotSupported;
}

// PORT and PASV carry IPv4 addresses only: an IPv6 client is told to use EPRT or EPSV.
bool refused_on_ipv6(core::Session& s, const char* command) {
  if (!ipv6_client(s)) return false;
  core::send_reply(s, std::string("522 ") + command + " is IPv4 only, use (2) with EPRT or EPSV.\r\n");
  return true;
}

// The value of leading decimal digits after optional blanks and sign; 0 when none.
long decimal_value(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

// Waits until the worker has listened (true) or failed, or the time is up (false). The
// bound is measured on the clock: on a loaded machine each short wait overruns, and
// counting them would stretch the bound far beyond its 5 seconds.
bool wait_passive_ready(core::Session& s) {
  constexpr uint32_t kSlice = 10;
  const uint32_t start = platform::tick_ms();
  for (uint32_t waited = 0; waited < kPassiveWaitMs; waited = platform::tick_ms() - start) {
    if (s.data_failed.is_set()) return false;
    uint32_t slice = std::min<uint32_t>(kSlice, kPassiveWaitMs - waited);
    if (s.passive_ready.wait_for(static_cast<int>(slice))) return !s.data_failed.is_set();
  }
  return false;
}

// The next port of the passive range; the counter is shared by every session.
uint16_t next_passive_port() {
  const core::ServerConfig& config = core::core_state().config;
  if (config.passive_port_high == 0) return 0;
  std::atomic<uint16_t>& counter = core::core_state().passive_port_counter;
  uint16_t current = counter.load();
  uint16_t next = 0;
  do {
    uint32_t candidate = static_cast<uint32_t>(current) + 1;
    next = candidate > config.passive_port_high ? config.passive_port_low
                                                 : static_cast<uint16_t>(candidate);
  } while (!counter.compare_exchange_weak(current, next));
  return next;
}

// Tells the operator that another host tried to take a passive data connection. Runs on
// the data worker: the message buffer is written under the session's field lock (report)
// and the intruder's address stays in a local text, no session field is touched.
void report_foreign_data_peer(core::Session& s, const platform::Endpoint& intruder) {
  std::string address = platform::format_address(intruder);
  core::report(s, shared::kEventRefused,
               shared::format_bounded(NFD_MESSAGE_SIZE, "他のホスト[%s]からのデータ接続を拒否しました。",
                                      address.c_str()));
}

// The local-address slot that PASV announces: slot GlobalIP, else slot 0, else the local
// address of the control connection.
std::string local_slot_address(core::Session& s) {
  const core::CoreState& state = core::core_state();
  size_t slot = static_cast<size_t>(std::clamp(state.config.global_ip_slot, 0, 2));
  if (slot < state.local_addresses.size() && !state.local_addresses[slot].empty())
    return state.local_addresses[slot];
  if (!state.local_addresses.empty() && !state.local_addresses[0].empty())
    return state.local_addresses[0];
  auto local = platform::local_endpoint(s.control_socket.load());
  return local ? platform::format_address(*local) : platform::format_ipv4(platform::kLoopbackAddress);
}

// Accepts the one data connection of a passive listener; kNoSocket when the listener was
// shut down. Only the client itself may connect (as with PORT, a data connection never
// involves a third host): a connection from any other address is closed at once and the
// listener keeps waiting for the client.
platform::Socket accept_passive_connection(core::Session& s, platform::Socket listener) {
  const std::string client = core::read_field(s, &core::Session::address_text);
  // A client on this host that came in over loopback reaches the announced interface
  // address from that same address; it is still the same client.
  const std::string same_host = client.rfind("127.", 0) == 0 ? local_slot_address(s) : client;
  while (true) {
    platform::Ipv4Endpoint peer;
    platform::Socket connection = platform::accept_connection(listener, &peer);
    if (connection == platform::kNoSocket) return connection;
    const std::string from = platform::format_address(peer);
    if (from == client || from == same_host) return connection;
    platform::close_socket(connection);
    report_foreign_data_peer(s, peer);
  }
}

// After EPSV ALL the client has promised to use EPSV alone: PORT, PASV and EPRT are
// refused.
bool refused_after_epsv_all(core::Session& s) {
  if (!s.epsv_all) return false;
  core::send_reply(s, "503 Only EPSV is allowed after EPSV ALL.\r\n");
  return true;
}

}  // namespace

bool is_private_client_address(const std::string& address_text) {
  long part[4] = {0, 0, 0, 0};
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t dot = address_text.find('.', start);
    part[i] = decimal_value(std::string_view(address_text).substr(start, dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (part[0] == 10) return true;
  if (part[0] == 172 && part[1] >= 16 && part[1] <= 31) return true;
  if (part[0] == 192 && part[1] == 168) return true;
  return address_text == "127.0.0.1";
}

std::string passive_announce_address(const std::string& client_address, bool use_global_ip,
                                     const std::optional<std::string>& global,
                                     const std::string& local_slot) {
  if (use_global_ip && !is_private_client_address(client_address) && global && !global->empty())
    return *global;
  return local_slot;
}

std::optional<platform::Ipv4Endpoint> parse_port_argument(const std::string& argument,
                                                          const std::string& client_address,
                                                          bool use_client_address) {
  if (argument.empty()) return std::nullopt;
  std::string address;
  size_t i = 0;
  int commas = 0;
  for (;; ++i) {
    if (i >= argument.size()) return std::nullopt;
    if (i >= kAddressBuffer) return std::nullopt;
    char c = argument[i];
    if (c == ',' && ++commas == 4) break;
    address.push_back(c == ',' ? '.' : c);
  }
  size_t p1_start = i + 1;
  size_t comma = argument.find(',', p1_start);
  if (comma == std::string::npos || comma - p1_start > kHighByteMax) return std::nullopt;
  std::string_view high = std::string_view(argument).substr(p1_start, comma - p1_start);
  std::string_view low = std::string_view(argument).substr(comma + 1, kLowByteMax);
  uint16_t port = static_cast<uint16_t>((decimal_value(high) & 0xFF) * 256 + (decimal_value(low) & 0xFF));

  return data_target(address, port, client_address, use_client_address);
}

std::optional<platform::Ipv4Endpoint> data_target(const std::string& address, uint16_t port,
                                                  const std::string& client_address,
                                                  bool use_client_address) {
  const std::string& target = use_client_address ? client_address : address;
  if (client_address.find(':') != std::string::npos) {
    // An IPv6 client: the same address in any of its spellings, compared as bytes.
    auto own = platform::parse_ipv6(client_address);
    auto given = platform::parse_ipv6(target);
    if (!own || !given || *own != *given) return std::nullopt;
    platform::Endpoint endpoint;
    endpoint.ipv6 = true;
    endpoint.address6 = *given;
    endpoint.port = port;
    return endpoint;
  }
  if (target != client_address) return std::nullopt;
  std::optional<uint32_t> ip = platform::parse_ipv4(target);
  if (!ip) return std::nullopt;
  return platform::Ipv4Endpoint{*ip, port};
}

std::optional<ExtendedAddress> parse_eprt_argument(const std::string& argument) {
  if (argument.size() < 7) return std::nullopt;
  const char delimiter = argument[0];
  if (delimiter < 33 || delimiter > 126 || argument.back() != delimiter) return std::nullopt;
  std::vector<std::string> fields;
  size_t start = 1;
  while (start < argument.size()) {
    size_t end = argument.find(delimiter, start);
    fields.push_back(argument.substr(start, end - start));
    start = end + 1;
  }
  if (fields.size() != 3 || fields[1].empty() || fields[1].size() > kExtendedAddressMax)
    return std::nullopt;
  auto digits = [](const std::string& text, size_t most) {
    return !text.empty() && text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(fields[0], 3) || !digits(fields[2], 5)) return std::nullopt;
  long port = std::stol(fields[2]);
  if (port < 1 || port > 65535) return std::nullopt;
  return ExtendedAddress{std::stoi(fields[0]), fields[1], static_cast<uint16_t>(port)};
}

bool handle_port(core::Session& s, const std::string& argument) {
  if (!logged_in(s)) {
    core::send_reply(s, kNotLoggedIn);
    return true;
  }
  if (refused_after_epsv_all(s) || refused_on_ipv6(s, "PORT")) return true;
  abort_worker(s);
  auto endpoint = parse_port_argument(argument, core::read_field(s, &core::Session::address_text),
                                      core::core_state().config.use_client_global_ip != 0);
  if (!endpoint) {
    core::send_reply(s, "500 Syntax error, command unrecognized.\r\n");
    return true;
  }
  if (!accept_data_target(s, *endpoint, "PORT")) return true;
  s.data_address = *endpoint;
  core::send_reply(s, "200 PORT command successful.\r\n");
  s.passive = 0;
  return true;
}

namespace {

// Opens the passive listener of PASV and EPSV; false when a reply has been sent.
bool open_passive_listener(core::Session& s) {
  if (s.option_flags & 1) {
    core::send_reply(s, "550 You can't use PASV.\r\n");
    core::report(s, shared::kEventRefused, "パッシブモードを拒否しました。");
    return false;
  }
  if (worker_busy(s)) abort_worker(s);
  // Only now, with the worker idle, is nothing left that could signal for an earlier
  // listen (one that outlived its own wait, say): what the events say from here on is
  // about this listen alone.
  s.passive_ready.reset();
  s.data_failed.reset();
  hand_to_worker(s, core::WorkerCommand::PassiveListen);
  if (!wait_passive_ready(s)) {
    // The worker was too slow: the listen it may still open was announced to nobody and
    // must not outlive this answer.
    abort_worker(s);
    core::send_reply(s, "451 Requested action aborted. Local error in processing.\r\n");
    return false;
  }
  s.passive = 1;
  s.passive_ready.reset();
  s.data_failed.reset();
  return true;
}

}  // namespace

bool handle_pasv(core::Session& s, const std::string&) {
  if (!logged_in(s)) {
    core::send_reply(s, kNotLoggedIn);
    return true;
  }
  if (refused_after_epsv_all(s) || refused_on_ipv6(s, "PASV") || !open_passive_listener(s))
    return true;
  const core::ServerConfig& config = core::core_state().config;
  std::string address = passive_announce_address(core::read_field(s, &core::Session::address_text),
                                                 config.use_global_ip != 0, global_ip(),
                                                 local_slot_address(s));
  address = std::string(shared::cut_text(address, 80));
  std::replace(address.begin(), address.end(), '.', ',');
  uint16_t port = s.data_address.port;
  core::send_reply(s, shared::format_bounded(100, "227 Entering Passive Mode (%s,%d,%d).\r\n",
                                             address.c_str(), port / 256, port % 256));
  return true;
}

bool handle_eprt(core::Session& s, const std::string& argument) {
  if (refused_after_epsv_all(s)) return true;
  std::optional<ExtendedAddress> parsed = parse_eprt_argument(argument);
  if (!parsed) {
    core::send_reply(s, kBadArgument);
    return true;
  }
  const bool ipv6 = ipv6_client(s);
  if (parsed->protocol != (ipv6 ? kProtocolIpv6 : kProtocolIpv4)) {
    core::send_reply(s, protocol_refusal(s));
    return true;
  }
  // Protocol 2 takes a plain IPv6 text: no zone index, no IPv4 text.
  if (ipv6 && !platform::parse_ipv6(parsed->address)) {
    core::send_reply(s, kBadArgument);
    return true;
  }
  auto endpoint = data_target(parsed->address, parsed->port,
                              core::read_field(s, &core::Session::address_text),
                              core::core_state().config.use_client_global_ip != 0);
  if (!endpoint) {
    core::send_reply(s, ipv6 ? kBadArgument : "500 Syntax error, command unrecognized.\r\n");
    return true;
  }
  if (!accept_data_target(s, *endpoint, "EPRT")) return true;
  abort_worker(s);
  s.data_address = *endpoint;
  core::send_reply(s, "200 EPRT command successful.\r\n");
  s.passive = 0;
  return true;
}

bool handle_epsv(core::Session& s, const std::string& argument) {
  if (argument.size() == 3 && std::toupper(static_cast<unsigned char>(argument[0])) == 'A' &&
      std::toupper(static_cast<unsigned char>(argument[1])) == 'L' &&
      std::toupper(static_cast<unsigned char>(argument[2])) == 'L') {
    s.epsv_all = true;
    core::send_reply(s, "200 EPSV ALL ok.\r\n");
    return true;
  }
  if (!argument.empty() && argument != (ipv6_client(s) ? "2" : "1")) {
    bool number = std::all_of(argument.begin(), argument.end(), [](char c) { return c >= '0' && c <= '9'; });
    core::send_reply(s, number && argument.size() <= 3 ? protocol_refusal(s) : kBadArgument);
    return true;
  }
  if (!open_passive_listener(s)) return true;
  core::send_reply(s, shared::format_bounded(100, "229 Entering Extended Passive Mode (|||%d|)\r\n",
                                             static_cast<int>(s.data_address.port)));
  return true;
}

void passive_listen(core::Session& s) {
  // A connection accepted earlier and never used is dropped: this worker owns it.
  core::close_session_socket(s, core::SessionSocket::Data);
  // The listen is of the control connection's family: an IPv6 client connects over IPv6.
  platform::Endpoint local{platform::kAnyAddress, next_passive_port()};
  auto control = platform::local_endpoint(s.control_socket.load());
  local.ipv6 = control && control->ipv6;
  platform::Socket listener = platform::open_tcp_socket_for(local);
  if (listener == platform::kNoSocket) {
    s.data_failed.set();
    return;
  }
  s.passive_listen_socket = listener;
  s.data_address = local;
  auto bound = platform::bind_endpoint(listener, s.data_address, true) && platform::listen_socket(listener, 1)
                   ? platform::local_endpoint(listener)
                   : std::nullopt;
  if (!bound) {
    core::close_session_socket(s, core::SessionSocket::PassiveListen);
    s.data_failed.set();
    return;
  }
  s.data_address.port = bound->port;
  s.passive_ready.set();
  s.data_socket = accept_passive_connection(s, listener);
  core::close_session_socket(s, core::SessionSocket::PassiveListen);
}

bool open_data_connection(core::Session& s) {
  if (core::core_state().config.tls.require_for_data != 0 && !s.protect_data) {
    core::close_session_socket(s, core::SessionSocket::Data);
    closing_reply(s, kMustProtect);
    core::report(s, shared::kEventRefused, "保護されていないデータ接続を拒否しました。");
    return false;
  }
  if (s.passive.load() == 1) {
    if (s.data_socket.load() != platform::kNoSocket) return true;
    closing_reply(s, kCantOpen);
    return false;
  }
  core::close_session_socket(s, core::SessionSocket::Data);
  platform::Ipv4Endpoint target = s.data_address;
  // No PORT since login; or a target no command may set (checked here once more, so that
  // no way of setting the address can skip the rule).
  const bool unset = target.ipv6 ? target.address6 == std::array<uint8_t, 16>{}
                                  : target.address == platform::kAnyAddress;
  if (unset || !data_port_allowed(target.port, own_listening_ports())) {
    closing_reply(s, kCantOpen);
    return false;
  }
  platform::Socket socket = platform::open_tcp_socket_for(target);
  if (socket == platform::kNoSocket) {
    closing_reply(s, kCantOpen);
    return false;
  }
  s.data_socket = socket;
  uint16_t source_port = core::core_state().config.source_port;
  if (source_port != 0) {
    platform::Endpoint source{platform::kAnyAddress, source_port};
    source.ipv6 = target.ipv6;
    platform::bind_endpoint(socket, source, true);
  }
  if (!platform::connect_ipv4(socket, target)) {
    core::close_session_socket(s, core::SessionSocket::Data);
    closing_reply(s, kCantOpen);
    return false;
  }
  return true;
}

bool secure_data_connection(core::Session& s) {
  platform::TlsContext* context = core::core_state().tls.get();
  if (!s.protect_data) return true;
  std::string error;
  std::unique_ptr<platform::TlsStream> stream =
      context == nullptr ? nullptr
                         : platform::TlsStream::accept(*context, s.data_socket.load(), s.id,
                                                       kDataHandshakeMs, &error);
  if (stream == nullptr) {
    core::close_session_socket(s, core::SessionSocket::Data);
    closing_reply(s, kCantOpen);
    core::report(s, shared::kEventRefused, "データ接続のTLSネゴシエーションに失敗しました。");
    return false;
  }
  if (core::core_state().config.tls.require_reuse != 0 && stream->resumed_owner() != s.id) {
    stream.reset();
    core::close_session_socket(s, core::SessionSocket::Data);
    closing_reply(s, kNotResumed);
    core::report(s, shared::kEventRefused,
                 "データ接続が制御接続のTLSセッションを再利用していないため、拒否しました。");
    return false;
  }
  core::attach_stream(s, core::SessionSocket::Data, std::move(stream));
  return true;
}

void worker_reply(core::Session& s, std::string_view text) { core::send_bytes(s, text.data(), text.size()); }

void closing_reply(core::Session& s, std::string_view text) { s.worker_closing_reply = text; }

void send_closing_reply(core::Session& s) {
  std::string text = std::move(s.worker_closing_reply);
  s.worker_closing_reply.clear();
  if (!text.empty()) worker_reply(s, text);
}

std::vector<std::string> build_local_address_slots() {
  std::vector<std::string> slots(3);
  std::vector<std::string> addresses = platform::local_ipv4_addresses();
  for (size_t i = 0; i < addresses.size(); ++i) slots[std::min<size_t>(i, 2)] = addresses[i];
  return slots;
}

}  // namespace fileservice

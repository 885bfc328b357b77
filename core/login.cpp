#include "core/login.h"

#include "core/accounts.h"
#include "core/admin_channel.h"
#include "core/reply.h"
#include "core/login_guard.h"
#include "core/messages.h"
#include "core/server.h"
#include "core/tls_commands.h"
#include "fileservice/plugin_host.h"
#include "platform/clock.h"
#include "shared/bounded_text.h"
#include "shared/pattern.h"

namespace core {

namespace {

constexpr const char* kBadSequence = "503 Bad sequence of commands.\r\n";
constexpr const char* kUnknownIdRefused = "530 cannot accept your ID\r\n";
constexpr const char* kLoggedInText = "ログインしました。";
constexpr const char* kEmailRefused = "メールアドレス[%s]を拒否しました。";

std::string fill(const char* format, const std::string& a) {
  return shared::format_bounded(kMessageBufferSize, format, a.c_str());
}

std::string fill(const char* format, const std::string& a, const std::string& b) {
  return shared::format_bounded(kMessageBufferSize, format, a.c_str(), b.c_str());
}

// Sends the reply a message hook left in the plug-ins' buffer (a copy: plug-ins may
// rewrite the buffer).
void send_hook_reply(Session& s) {
  const std::string text(s.view.message, shared::bounded_length(s.view.message, kMessageBufferSize));
  send_reply(s, text);
}

// The text becomes the status message and the reply.
void set_and_send(Session& s, const std::string& text) {
  const std::string message = bounded_message(text);
  set_message(s, message);
  send_reply(s, message);
}

bool refuse_unknown_id(Session& s, const std::string& name) {
  send_reply(s, kUnknownIdRefused);
  report(s, shared::kEventRefused, fill("登録されていないID[%s]の接続を拒否しました。", name));
  return false;
}

// An address locked out for too many wrong passwords is refused before anything else.
bool refuse_locked_address(Session& s) {
  const std::string address = read_field(s, &Session::address_text);
  if (!address_locked(address, configured_lock_rules(), platform::tick_ms())) return false;
  report(s, shared::kEventRefused,
         fill("ログインの失敗が多いため、ホスト[%s]を拒否しました。", read_field(s, &Session::host_text)));
  send_reply(s, "421 Too many login failures. Try again later.\r\n");
  return true;
}

// A wrong password counts against the address and is answered only after the delay
// (LoginFailDelay); a kick or the stop cuts the delay short.
void delay_wrong_password(Session& s) {
  const ServerConfig& config = core_state().config;
  const std::string address = read_field(s, &Session::address_text);
  if (count_login_failure(address, configured_lock_rules(), platform::tick_ms())) {
    report(s, shared::kEventRefused,
           shared::format_bounded(kMessageBufferSize,
                                  "ホスト[%s]のログイン失敗が%d回に達したため、%d秒間拒否します。",
                                  read_field(s, &Session::host_text).c_str(),
                                  config.login_fail_limit, config.login_lock_seconds));
  }
  if (config.login_fail_delay_ms > 0) s.ending.wait_for(config.login_fail_delay_ms);
}

bool any_pattern_matches(const std::vector<std::string>& patterns, const std::string& subject) {
  for (const std::string& pattern : patterns) {
    if (shared::pattern_match(pattern, subject)) return true;
  }
  return false;
}

struct LimitCounts {
  int same_host = 0;
  int same_user = 0;
};

// Counts, under the session-table lock, the sessions from this host text and under this
// user name (this session included in both).
LimitCounts count_sessions(Session& s, const std::string& name) {
  const std::string host = read_field(s, &Session::host_text);
  LimitCounts counts;
  SessionTable& table = core_state().table;
  std::lock_guard<std::mutex> hold(table.lock);
  for (Session* other : table.sessions) {
    if (s.max_per_host != 0 && read_field(*other, &Session::host_text) == host) {
      ++counts.same_host;
    }
    if (s.max_per_user != 0 && read_field(*other, &Session::user_name) == name) {
      ++counts.same_user;
    }
  }
  return counts;
}

// False (after the refusal reply) when a connection limit of the account is exceeded.
bool within_limits(Session& s, const std::string& name) {
  if (s.max_per_host == 0 && s.max_per_user == 0) return true;
  const LimitCounts counts = count_sessions(s, name);
  const char* refusal = nullptr;
  if (s.max_per_host != 0 && counts.same_host > s.max_per_host) {
    refusal = "530 Your IP is already loged in.\r\n";
  } else if (s.max_per_user != 0 && counts.same_user > s.max_per_user) {
    refusal = "530 Your ID is already loged in.\r\n";
  }
  if (refusal == nullptr) return true;
  send_reply(s, refusal);
  s.login_state = kConnected;
  return false;
}

bool login_success(Session& s) {
  s.login_state = kLoggedIn;
  s.view.login_state = kLoggedIn;
  write_field(s, &Session::current_directory,
              std::string(shared::cut_text(read_field(s, &Session::home_directory), kPathMax - 1)));
  // The hook starts from the login reply and may rewrite it; the buffer is sent.
  set_message(s, slot_reply(s, Slot::Logon230, kMessageBufferSize));
  if (fileservice::plugin_message(s, fileservice::kMessageLogin, 0, nullptr) == 2) {
    send_hook_reply(s);
    return false;
  }
  send_hook_reply(s);
  // Event 1 at USER names the user; this second one tells the Manager that the login
  // succeeded (a refused password never gets it).
  send_event(s, shared::kEventUserAccepted);
  return true;
}

// An unknown ID's account is made at PASS; another session may have made it since USER.
bool account_appeared(Session& s) {
  return account_exists(read_field(s, &Session::user_name));
}

bool pass_mail_password(Session& s, const std::string& address) {
  // The address goes into the account file and the mail's headers: it must be one line
  // that the file gives back unchanged (an empty one lacks its at sign, below).
  if (!address.empty() && !storable_account_text(address)) {
    return refuse_unknown_id(s, read_field(s, &Session::user_name));
  }
  if (refused_by_list(core_state().paths.config_file, address)) {
    send_reply(s, fill("530 Can't accept your Email Address [%s]\r\n", address));
    report(s, shared::kEventRefused, fill(kEmailRefused, address));
    return false;
  }
  if (address.find('@') == std::string::npos) {
    send_reply(s, fill("530 [%s]is not current e-mail address.\r\n", address));
    report(s, shared::kEventRefused, fill(kEmailRefused, address));
    return false;
  }
  const std::string name = read_field(s, &Session::user_name);
  if (account_appeared(s)) return refuse_unknown_id(s, name);
  write_field(s, &Session::email, address);
  write_field(s, &Session::password, generate_password());
  if (!create_account(s)) return refuse_unknown_id(s, name);
  report(s, shared::kEventAccountMailed,
         fill("ユーザー[%s]のアカウント作成完了、メール[%s]に情報を送信中", name, address));
  send_reply(s, fill("421 Now Sending mail with password.Please Check Mail(%s)\r\n", address));
  return false;
}

bool pass_make_account(Session& s, const std::string& password) {
  const std::string name = read_field(s, &Session::user_name);
  // The account must hold exactly the password given: none, or one the file would
  // change, makes no account.
  if (!storable_account_text(password) || account_appeared(s)) return refuse_unknown_id(s, name);
  write_field(s, &Session::password, password);
  if (!create_account(s)) return refuse_unknown_id(s, name);
  report(s, shared::kEventAccountCreated, fill("ユーザー[%s]のアカウントを作成しました。", name));
  return login_success(s);
}

bool pass_email(Session& s, const std::string& address) {
  if (any_pattern_matches(s.prohibited_hosts, address)) {
    report(s, shared::kEventRefused, fill(kEmailRefused, address));
    send_reply(s, "530 Illegal Email Address.\r\n");
    return false;
  }
  write_field(s, &Session::email, address);
  return login_success(s);
}

bool pass_password(Session& s, const std::string& password) {
  if (password != read_field(s, &Session::password)) {
    report(s, shared::kEventRefused, "パスワードが違うため、拒否しました。");
    delay_wrong_password(s);
    send_reply(s, "530 Illegal Password.\r\n");
    return false;
  }
  return login_success(s);
}

bool user_unknown(Session& s, const std::string& name) {
  s.unknown_id = 1;
  if (core_state().config.unknown_id_mode == UnknownIdMode::Refuse) {
    return refuse_unknown_id(s, name);
  }
  set_and_send(s, slot_reply(s, Slot::Unknown3311, kMessageBufferSize));
  s.login_state = kUserAccepted;
  s.view.login_state = kUserAccepted;
  return true;
}

bool user_known(Session& s) {
  switch (s.password_mode) {
    case kPassword:
      set_and_send(s, slot_reply(s, Slot::Known3310, kMessageBufferSize));
      break;
    case kEmailPassword:
      send_reply(s, "331 Please insert current E-Mail address.\r\n");
      break;
    default:
      return login_success(s);
  }
  s.login_state = kUserAccepted;
  s.view.login_state = kUserAccepted;
  return true;
}

}  // namespace

bool handle_user(Session& s, const std::string& argument) {
  if (s.login_state == kUserAccepted || s.login_state == kLoggedIn) {
    send_reply(s, kBadSequence);
    return false;
  }
  if (refuse_locked_address(s)) return false;
  if (!tls_allows_login(s, false)) return true;
  write_field(s, &Session::user_name, argument);
  // The name becomes part of a file path: a name that cannot be a plain file name is
  // refused like an unknown ID, whatever the unknown-ID mode, and no file is touched.
  if (!acceptable_user_name(argument)) return refuse_unknown_id(s, argument);

  s.require_tls = false;
  const bool known = load_account(s);
  if (!tls_allows_login(s, true)) return true;
  if (fileservice::plugin_message(s, fileservice::kMessageUser, 0, nullptr) == 2) {
    send_hook_reply(s);
    return false;
  }
  if (!within_limits(s, argument)) return false;

  report(s, shared::kEventUserAccepted, kLoggedInText);
  const std::string host = read_field(s, &Session::host_text);
  if (any_pattern_matches(s.prohibited_hosts, host) || s.refused_user != 0) {
    send_reply(s, "503 can't accept you or your IP.\r\n");
    s.login_state = kConnected;
    report(s, shared::kEventRefused,
           fill("受け付けられないユーザー[%s]またはホスト[%s]です。", argument, host));
    return false;
  }
  return known ? user_known(s) : user_unknown(s, argument);
}

bool handle_pass(Session& s, const std::string& argument) {
  if (s.login_state != kUserAccepted) {
    send_reply(s, kBadSequence);
    return true;
  }
  if (refuse_locked_address(s)) return false;
  if (s.unknown_id != 0) {
    if (core_state().config.unknown_id_mode == UnknownIdMode::MailPassword) {
      return pass_mail_password(s, argument);
    }
    return pass_make_account(s, argument);
  }
  if (s.password_mode == kEmailPassword) return pass_email(s, argument);
  if (s.password_mode == kPassword) return pass_password(s, argument);
  return login_success(s);
}

}  // namespace core

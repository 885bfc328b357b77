// FTP over TLS on the control connection: loading the server's key pair, AUTH, PBSZ,
// PROT and CCC, the implicit-TLS start of a session and the logins that need TLS.
#pragma once
#include <string>

#include "core/server.h"
#include "core/session.h"

namespace core {

// Loads [TLS] Certificate and PrivateKey when [TLS] Enable is set; a key pair that cannot
// be used leaves TLS off (AUTH is then answered 431) and is named in one line on
// standard error. Paths without a leading '/' are taken from the program directory.
void load_tls_context(CoreState& state);

// True when AUTH TLS can succeed: TLS is on and the key pair loaded.
bool tls_available();

bool handle_auth(Session& s, const std::string& argument);
bool handle_pbsz(Session& s, const std::string& argument);
bool handle_prot(Session& s, const std::string& argument);
bool handle_ccc(Session& s, const std::string& argument);

// The handshake of a connection accepted on the implicit-TLS port, before anything is
// sent; false when it failed (the session ends without a reply).
bool start_implicit_tls(Session& s);
// False, after the 530, when a login must come over TLS and this control connection is
// plain: [TLS] RequireForLogin before the account is read, the account's RequireTLS after.
bool tls_allows_login(Session& s, bool account_read);

}  // namespace core

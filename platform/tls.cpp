// TLS streams over OpenSSL. The socket is switched to non-blocking mode; every OpenSSL
// call runs under the stream's lock and every wait for the socket runs outside it.
#include "platform/tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <chrono>
#include <csignal>
#include <cstring>

namespace platform {
namespace {

// TLS 1.2 suites: forward-secret key exchange with AEAD ciphers only. TLS 1.3 keeps
// OpenSSL's own list (all of its suites are AEAD).
constexpr const char* kCipherList =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305:"
    "DHE-RSA-AES128-GCM-SHA256:DHE-RSA-AES256-GCM-SHA384";
constexpr unsigned char kSessionContext[] = "quorsrv";
// A data connection resumes its control connection's session, which may be hours old.
constexpr long kSessionLifetimeSeconds = 24 * 60 * 60;
constexpr size_t kOwnerBytes = 4;

SSL* as_ssl(void* p) { return static_cast<SSL*>(p); }
SSL_CTX* as_ctx(void* p) { return static_cast<SSL_CTX*>(p); }

// The first error of OpenSSL's queue as text.
std::string last_error_text() {
  unsigned long code = ERR_get_error();
  if (code == 0) return "unknown error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

void set_error(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

void write_owner(unsigned char (&bytes)[kOwnerBytes], uint32_t owner) {
  for (size_t i = 0; i < kOwnerBytes; ++i) bytes[i] = static_cast<unsigned char>(owner >> (8 * i));
}

std::optional<uint32_t> read_owner(const SSL_SESSION* session) {
  void* data = nullptr;
  size_t length = 0;
  if (session == nullptr || SSL_SESSION_get0_ticket_appdata(const_cast<SSL_SESSION*>(session),
                                                            &data, &length) != 1 ||
      length != kOwnerBytes) {
    return std::nullopt;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  uint32_t owner = 0;
  for (size_t i = 0; i < kOwnerBytes; ++i) owner |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  return owner;
}

// Stamps the stream's owner into its session unless the session already carries one (a
// resumed session keeps the stamp of the connection that made it).
void stamp_owner(SSL* ssl, uint32_t owner) {
  SSL_SESSION* session = SSL_get0_session(ssl);
  if (session == nullptr || read_owner(session)) return;
  unsigned char bytes[kOwnerBytes];
  write_owner(bytes, owner);
  SSL_SESSION_set1_ticket_appdata(session, bytes, sizeof bytes);
}

int ticket_made(SSL* ssl, void*) {
  const auto* owner = static_cast<const uint32_t*>(SSL_get_app_data(ssl));
  if (owner != nullptr) stamp_owner(ssl, *owner);
  return 1;
}

SSL_TICKET_RETURN ticket_read(SSL*, SSL_SESSION*, const unsigned char*, size_t,
                              SSL_TICKET_STATUS status, void*) {
  switch (status) {
    case SSL_TICKET_SUCCESS: return SSL_TICKET_RETURN_USE;
    case SSL_TICKET_SUCCESS_RENEW: return SSL_TICKET_RETURN_USE_RENEW;
    case SSL_TICKET_EMPTY:
    case SSL_TICKET_NO_DECRYPT: return SSL_TICKET_RETURN_IGNORE_RENEW;
    default: return SSL_TICKET_RETURN_ABORT;
  }
}

// What both sides share: versions, no compression, no renegotiation, and writes that
// may be retried from a moved buffer. A peer that vanishes without close_notify reads
// as an ordinary end of stream, as on a plain connection.
void common_settings(SSL_CTX* ctx) {
  // A write to a connection the peer has reset must fail, not stop the process.
  std::signal(SIGPIPE, SIG_IGN);
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_options(ctx, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION |
                               SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(ctx, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

bool load_key_pair(SSL_CTX* ctx, const std::string& certificate_file,
                   const std::string& key_file, std::string* error) {
  if (SSL_CTX_use_certificate_chain_file(ctx, certificate_file.c_str()) != 1) {
    set_error(error, "certificate " + certificate_file + ": " + last_error_text());
    return false;
  }
  if (SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
    set_error(error, "private key " + key_file + ": " + last_error_text());
    return false;
  }
  if (SSL_CTX_check_private_key(ctx) != 1) {
    set_error(error, "private key " + key_file + " does not match certificate " +
                         certificate_file);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<TlsContext> TlsContext::server(const std::string& certificate_file,
                                               const std::string& key_file,
                                               std::string* error) {
  ERR_clear_error();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) {
    set_error(error, last_error_text());
    return nullptr;
  }
  common_settings(ctx);
  SSL_CTX_set_options(ctx, SSL_OP_CIPHER_SERVER_PREFERENCE);
  SSL_CTX_set_cipher_list(ctx, kCipherList);
  SSL_CTX_set_session_id_context(ctx, kSessionContext, sizeof kSessionContext - 1);
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_SERVER);
  SSL_CTX_set_timeout(ctx, kSessionLifetimeSeconds);
  SSL_CTX_set_session_ticket_cb(ctx, ticket_made, ticket_read, nullptr);
  if (!load_key_pair(ctx, certificate_file, key_file, error)) {
    SSL_CTX_free(ctx);
    return nullptr;
  }
  return std::unique_ptr<TlsContext>(new TlsContext(ctx));
}

std::unique_ptr<TlsContext> TlsContext::client(bool max_version_12) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (ctx == nullptr) return nullptr;
  common_settings(ctx);
  if (max_version_12) SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  // No client cache: with one, a TLS 1.3 session that was resumed once is marked used up,
  // and every data connection of an FTP session resumes the same control session.
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
  return std::unique_ptr<TlsContext>(new TlsContext(ctx));
}

TlsContext::~TlsContext() { SSL_CTX_free(as_ctx(context_)); }

TlsStream::TlsStream(void* ssl, Socket socket, uint32_t owner)
    : ssl_(ssl), socket_(socket), owner_(owner) {
  SSL_set_app_data(as_ssl(ssl_), &owner_);
}

TlsStream::~TlsStream() { SSL_free(as_ssl(ssl_)); }

template <typename Call>
int TlsStream::run(Call call, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    bool want_read = false;
    {
      std::lock_guard<std::mutex> guard(lock_);
      ERR_clear_error();
      int result = call(as_ssl(ssl_));
      if (result > 0) return result;
      switch (SSL_get_error(as_ssl(ssl_), result)) {
        case SSL_ERROR_WANT_READ: want_read = true; break;
        case SSL_ERROR_WANT_WRITE: break;
        case SSL_ERROR_ZERO_RETURN: return 0;
        default: return -1;
      }
    }
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return -2;
      wait_ms = static_cast<int>(left.count());
    }
    int ready = want_read ? wait_readable(socket_, wait_ms) : wait_writable(socket_, wait_ms);
    if (ready == 0) return -2;
    if (ready < 0) return -1;
  }
}

namespace {

// A new connection object on a socket switched to non-blocking mode; nullptr (and the
// error said) when it cannot be set up.
SSL* new_connection_ssl(TlsContext& context, Socket socket, std::string* error) {
  SSL* ssl = SSL_new(as_ctx(context.native()));
  if (ssl == nullptr || !set_blocking(socket, false) || SSL_set_fd(ssl, socket) != 1) {
    SSL_free(ssl);
    set_error(error, "cannot set up TLS on the connection");
    return nullptr;
  }
  return ssl;
}

}  // namespace

std::unique_ptr<TlsStream> TlsStream::accept(TlsContext& context, Socket socket,
                                             uint32_t owner, int timeout_ms,
                                             std::string* error) {
  SSL* ssl = new_connection_ssl(context, socket, error);
  if (ssl == nullptr) return nullptr;
  std::unique_ptr<TlsStream> stream(new TlsStream(ssl, socket, owner));
  int result = stream->run([](SSL* s) { return SSL_accept(s); }, timeout_ms);
  if (result <= 0) {
    set_error(error, result == -2 ? "handshake timed out" : "handshake failed: " + last_error_text());
    return nullptr;
  }
  if (!SSL_session_reused(ssl)) stamp_owner(ssl, owner);
  return stream;
}

std::unique_ptr<TlsStream> TlsStream::connect(TlsContext& context, Socket socket,
                                              const TlsStream* resume_from, int timeout_ms,
                                              std::string* error) {
  SSL* ssl = new_connection_ssl(context, socket, error);
  if (ssl == nullptr) return nullptr;
  if (resume_from != nullptr) {
    SSL_SESSION* session = SSL_get1_session(as_ssl(resume_from->ssl_));
    if (session != nullptr) SSL_set_session(ssl, session);
    SSL_SESSION_free(session);
  }
  std::unique_ptr<TlsStream> stream(new TlsStream(ssl, socket, 0));
  int result = stream->run([](SSL* s) { return SSL_connect(s); }, timeout_ms);
  if (result <= 0) {
    set_error(error, result == -2 ? "handshake timed out" : "handshake failed: " + last_error_text());
    return nullptr;
  }
  return stream;
}

size_t TlsStream::send_all(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  size_t sent = 0;
  while (sent < size) {
    int chunk = static_cast<int>(std::min<size_t>(size - sent, 1 << 30));
    int n = run([&](SSL* s) { return SSL_write(s, p + sent, chunk); }, -1);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  return sent;
}

long TlsStream::recv_some(void* buffer, size_t size) { return recv_some_timeout(buffer, size, -1); }

long TlsStream::recv_some_timeout(void* buffer, size_t size, int timeout_ms) {
  int room = static_cast<int>(std::min<size_t>(size, 1 << 30));
  return run([&](SSL* s) { return SSL_read(s, buffer, room); }, timeout_ms);
}

void TlsStream::close_notify(int timeout_ms) {
  run([](SSL* s) { return SSL_shutdown(s) >= 0 ? 1 : -1; }, timeout_ms);
}

bool TlsStream::resumed() const { return SSL_session_reused(as_ssl(ssl_)) == 1; }

std::optional<uint32_t> TlsStream::resumed_owner() const {
  if (!resumed()) return std::nullopt;
  return read_owner(SSL_get0_session(as_ssl(ssl_)));
}

std::string TlsStream::version() const { return SSL_get_version(as_ssl(ssl_)); }

}  // namespace platform

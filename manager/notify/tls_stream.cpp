// STARTTLS with the toolkit's TLS socket (OpenSSL underneath): the plain connection's
// descriptor is handed over, so the dialogue goes on over the same TCP connection.
#include "manager/notify/tls_stream.h"

#include <QEventLoop>
#include <QSslConfiguration>
#include <QSslSocket>

namespace manager {

TlsStream::TlsStream(platform::Socket s, CancelEvent& cancel, int receive_bound_ms)
    : fd_(s), cancel_(cancel), bound_(receive_bound_ms) {
  // A thread the toolkit did not start gets its event dispatcher here, which the socket's
  // notifiers need even though every wait below blocks.
  QEventLoop dispatcher_for_this_thread;
  socket_ = std::make_unique<QSslSocket>();
  if (!socket_->setSocketDescriptor(fd_)) {
    platform::close_socket(fd_);
    socket_.reset();
  }
}

TlsStream::~TlsStream() {
  if (socket_) socket_->abort();  // closes the descriptor
}

std::optional<std::string> TlsStream::handshake(const TlsOptions& options) {
  if (!socket_) return std::string("ソケットエラーです。");
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  if (!options.ca_file.empty()) {
    config.addCaCertificates(QString::fromStdString(options.ca_file));
  }
  config.setPeerVerifyMode(options.verify ? QSslSocket::VerifyPeer : QSslSocket::VerifyNone);
  socket_->setSslConfiguration(config);
  socket_->setPeerVerifyName(QString::fromStdString(options.peer_name));
  socket_->startClientEncryption();
  const bool encrypted =
      cancellable_wait(fd_, cancel_, [this] { return socket_->waitForEncrypted(bound_); });
  if (encrypted) return std::nullopt;
  const QList<QSslError> errors = socket_->sslHandshakeErrors();
  const QString why = errors.isEmpty() ? socket_->errorString() : errors.first().errorString();
  return why.toStdString();
}

bool TlsStream::send(const std::string& text) {
  if (!socket_) return false;
  if (socket_->write(text.data(), static_cast<qint64>(text.size())) !=
      static_cast<qint64>(text.size()))
    return false;
  return cancellable_wait(fd_, cancel_, [this] {
    while (socket_->encryptedBytesToWrite() > 0 || socket_->bytesToWrite() > 0) {
      if (!socket_->waitForBytesWritten(bound_)) return false;
    }
    return true;
  });
}

size_t TlsStream::receive(char* buffer, size_t size) {
  if (!socket_) return 0;
  if (socket_->bytesAvailable() == 0 &&
      !cancellable_wait(fd_, cancel_, [this] { return socket_->waitForReadyRead(bound_); }))
    return 0;
  const qint64 n = socket_->read(buffer, static_cast<qint64>(size));
  return n > 0 ? static_cast<size_t>(n) : 0;
}

}  // namespace manager

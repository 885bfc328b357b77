// The control connection's line assembly, splitting and command lookup. The input reaches
// read_line partly as bytes left over from an earlier line and partly through a real
// loopback TCP connection whose client side closes after sending.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/commands.h"
#include "core/control.h"
#include "core/session.h"
#include "core/session_fault.h"
#include "fuzz/fuzz_support.h"
#include "platform/socket.h"

namespace {

// A listener on a loopback port, opened once for the whole run.
platform::Socket listener() {
  static platform::Socket socket = [] {
    platform::Socket s = platform::open_tcp_socket();
    if (s == platform::kNoSocket ||
        !platform::bind_ipv4(s, {platform::kLoopbackAddress, 0}, false) ||
        !platform::listen_socket(s, 4))
      fuzz::fail("cannot listen on loopback");
    return s;
  }();
  return socket;
}

struct Connection {
  platform::Socket client = platform::kNoSocket;
  platform::Socket server = platform::kNoSocket;
};

Connection connect_pair() {
  Connection c;
  auto local = platform::local_endpoint(listener());
  if (!local) fuzz::fail("listener has no address");
  c.client = platform::open_tcp_socket();
  if (!platform::connect_ipv4(c.client, {platform::kLoopbackAddress, local->port}, 5000))
    fuzz::fail("cannot connect on loopback");
  c.server = platform::accept_connection(listener(), nullptr);
  if (c.server == platform::kNoSocket) fuzz::fail("cannot accept on loopback");
  return c;
}

bool high_byte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

void check_line(const char (&buffer)[core::kLineBufferSize], std::string_view stream) {
  size_t length = std::strlen(buffer);  // the buffer always ends in a NUL
  FUZZ_CHECK(length < core::kLineBufferSize);
  std::string_view line(buffer, length);
  // A line holds only bytes the client sent, in the order sent.
  FUZZ_CHECK(std::search(stream.begin(), stream.end(), line.begin(), line.end()) != stream.end());

  core::SplitLine parts = core::split_line(line);
  FUZZ_CHECK(parts.word.size() <= core::kWordMax);
  FUZZ_CHECK(parts.argument.size() <= core::kArgumentMax);
  FUZZ_CHECK(parts.word.find_first_of(" \r") == std::string::npos);
  FUZZ_CHECK(parts.argument.find('\r') == std::string::npos);

  int number = core::lookup_command(parts.word);
  bool known = core::command_by_number(number) != nullptr && number != core::kCommandEmpty;
  FUZZ_CHECK(known || number == core::kCommandEmpty || number == core::kCommandUnknown);
  if (known) {
    std::string_view word = parts.word;
    if (!word.empty() && high_byte(word[0])) word.remove_prefix(1);
    FUZZ_CHECK(same_ignoring_case(word, core::command_name(number)));
  }
}

}  // namespace

// Input: one byte that says how many of the bytes come as left-over input, then the bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  size_t left_over = input.byte();
  std::string_view stream = input.rest();
  left_over = std::min(left_over, stream.size());

  Connection c = connect_pair();
  std::string_view sent = stream.substr(left_over);
  if (platform::send_all(c.client, sent.data(), sent.size()) != sent.size())
    fuzz::fail("cannot send on loopback");
  platform::shutdown_both(c.client);

  // Without telnet control bytes and NULs every line read is exactly the next stretch of
  // the stream up to its line feed, and a stretch of 512 bytes or more is refused.
  bool plain = std::none_of(stream.begin(), stream.end(),
                            [](char c) { return c == '\0' || high_byte(c); });
  std::string expected_lines;
  bool expected_fault = false;
  for (size_t start = 0; start < stream.size();) {
    size_t end = stream.find('\n', start);
    size_t length = (end == std::string_view::npos ? stream.size() : end + 1) - start;
    if (length >= core::kLineBufferSize) {
      expected_fault = true;
      break;
    }
    if (end == std::string_view::npos) break;
    expected_lines.append(stream.substr(start, length));
    start = end + 1;
  }
  std::string lines_read;
  bool faulted = false;

  {
    core::Session s;
    s.control_socket = c.server;
    s.pending_input = std::string(stream.substr(0, left_over));
    char buffer[core::kLineBufferSize];
    // Each line takes at least one byte, so the loop ends; the bound guards against a
    // reader that returns lines without consuming input.
    for (size_t lines = 0; lines <= stream.size() + 1; ++lines) {
      try {
        if (core::read_line(s, buffer) == core::ReadResult::Closed) break;
      } catch (const core::SessionFault& fault) {
        FUZZ_CHECK(fault.reply == core::kTooLongCommand);
        faulted = true;
        break;
      }
      check_line(buffer, stream);
      lines_read += buffer;
      FUZZ_CHECK(lines < stream.size() + 1);
    }
    s.control_socket = platform::kNoSocket;
  }
  if (plain) {
    FUZZ_CHECK(faulted == expected_fault);
    FUZZ_CHECK(lines_read == expected_lines);
  }
  platform::close_socket(c.server);
  platform::close_socket(c.client);
  return 0;
}

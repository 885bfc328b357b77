// The admin channel's fixed records: byte offsets, little-endian integers, cut texts.
#include "shared/admin_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace shared;
namespace off = admin_offset;

namespace {

uint32_t u32_at(const AdminEventBytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

std::string text_at(const AdminEventBytes& b, size_t at, size_t size) {
  const char* p = reinterpret_cast<const char*>(b.data() + at);
  return std::string(p, strnlen(p, size));
}

SessionSnapshot marked_snapshot() {
  SessionSnapshot s;
  s.transferring = 0x01020304;
  s.upload = 0x05060708;
  s.user_name = "user";
  s.group_name = "group";
  s.password = "secret";
  s.home_directory = "/srv/home/";
  s.current_directory = "/srv/home/pub/";
  s.email = "a@example.org";
  s.transfer_path = "/srv/home/pub/file.bin";
  s.file_size_low = 0x11121314;
  s.restart_offset_low = 0x15161718;
  s.transferred = 0x191A1B1C;
  s.connect_tick = 0x21222324;
  s.transfer_start_tick = 0x25262728;
  s.last_activity_tick = 0x292A2B2C;
  s.security = 0x2D2E2F30;
  s.host_text = "127.0.0.1";
  s.message = "ログインしました。";
  s.idle_minutes = 0x31323334;
  s.max_per_host = 0x35363738;
  s.max_per_user = 0x393A3B3C;
  s.save_credit = 0x41424344;
  s.restart_offset_high = 0x45464748;
  s.file_size_high = 0x494A4B4C;
  s.session_id = 0x51525354;
  return s;
}

TEST(AdminEventRecord, EveryFieldSitsAtItsOffsetLittleEndian) {
  AdminEvent e;
  e.session_id = 0xA1A2A3A4;
  e.type = kEventDownloadStarted;
  e.snapshot = marked_snapshot();
  AdminEventBytes b = encode_event(e);
  const size_t p = off::kPayload;
  EXPECT_EQ(b[0], 0xA4);
  EXPECT_EQ(b[3], 0xA1);
  EXPECT_EQ(u32_at(b, off::kType), 4u);
  EXPECT_EQ(b[p + 0], 0x04);  // low byte first
  EXPECT_EQ(u32_at(b, p + off::kTransferring), 0x01020304u);
  EXPECT_EQ(u32_at(b, p + off::kUpload), 0x05060708u);
  EXPECT_EQ(text_at(b, p + 0x008, 256), "user");
  EXPECT_EQ(text_at(b, p + 0x108, 256), "group");
  EXPECT_EQ(text_at(b, p + 0x208, 256), "secret");
  EXPECT_EQ(text_at(b, p + 0x308, 260), "/srv/home/");
  EXPECT_EQ(text_at(b, p + 0x40C, 260), "/srv/home/pub/");
  EXPECT_EQ(text_at(b, p + 0x510, 256), "a@example.org");
  EXPECT_EQ(text_at(b, p + 0x610, 260), "/srv/home/pub/file.bin");
  EXPECT_EQ(u32_at(b, p + 0x714), 0x11121314u);
  EXPECT_EQ(u32_at(b, p + 0x718), 0x15161718u);
  EXPECT_EQ(u32_at(b, p + 0x71C), 0x191A1B1Cu);
  EXPECT_EQ(u32_at(b, p + 0x720), 0x21222324u);
  EXPECT_EQ(u32_at(b, p + 0x724), 0x25262728u);
  EXPECT_EQ(u32_at(b, p + 0x728), 0x292A2B2Cu);
  EXPECT_EQ(u32_at(b, p + 0x72C), 0x2D2E2F30u);  // security bits
  EXPECT_EQ(text_at(b, p + 0x730, 256), "127.0.0.1");
  EXPECT_EQ(text_at(b, p + 0x830, 2048), "ログインしました。");
  EXPECT_EQ(u32_at(b, p + 0x1030), 0x31323334u);
  EXPECT_EQ(u32_at(b, p + 0x1034), 0x35363738u);
  EXPECT_EQ(u32_at(b, p + 0x1038), 0x393A3B3Cu);
  EXPECT_EQ(u32_at(b, p + 0x103C), 0x41424344u);
  EXPECT_EQ(u32_at(b, p + 0x1040), 0x45464748u);
  EXPECT_EQ(u32_at(b, p + 0x1044), 0x494A4B4Cu);
  EXPECT_EQ(u32_at(b, p + 0x1048), 0x51525354u);
  EXPECT_EQ(p + 0x1048 + 4, kAdminEventSize);
}

TEST(AdminEventRecord, UnusedBytesOfTextFieldsAreZero) {
  AdminEvent e;
  e.type = kEventStatus;
  e.snapshot.user_name = "ab";
  AdminEventBytes b = encode_event(e);
  for (size_t i = off::kPayload + off::kUserName + 2; i < off::kPayload + off::kGroupName; ++i)
    ASSERT_EQ(b[i], 0) << i;
  AdminEventBytes empty = encode_event(AdminEvent{});
  for (uint8_t byte : empty) ASSERT_EQ(byte, 0);
}

TEST(AdminEventRecord, LongTextsAreCutSoEachFieldEndsWithNul) {
  AdminEvent e;
  e.type = kEventRefused;
  e.snapshot.user_name = std::string(300, 'u');
  e.snapshot.home_directory = std::string(300, 'h');
  e.snapshot.message = std::string(3000, 'm');
  e.snapshot.group_name = "next";
  e.snapshot.current_directory = "cwd";
  e.snapshot.idle_minutes = 7;
  AdminEventBytes b = encode_event(e);
  const size_t p = off::kPayload;
  EXPECT_EQ(text_at(b, p + off::kUserName, 256), std::string(255, 'u'));
  EXPECT_EQ(b[p + off::kUserName + 255], 0);
  EXPECT_EQ(text_at(b, p + off::kGroupName, 256), "next");
  EXPECT_EQ(text_at(b, p + off::kHomeDirectory, 260), std::string(259, 'h'));
  EXPECT_EQ(text_at(b, p + off::kCurrentDirectory, 260), "cwd");
  EXPECT_EQ(text_at(b, p + off::kMessage, 2048), std::string(2047, 'm'));
  EXPECT_EQ(u32_at(b, p + off::kIdleMinutes), 7u);
  AdminEvent back = decode_event(b);
  EXPECT_EQ(back.snapshot.user_name, std::string(255, 'u'));
  EXPECT_EQ(back.snapshot.message.size(), 2047u);
}

TEST(AdminEventRecord, RoundTripKeepsEveryField) {
  AdminEvent e;
  e.session_id = 77;
  e.type = kEventProgress;
  e.snapshot = marked_snapshot();
  AdminEvent back = decode_event(encode_event(e));
  EXPECT_EQ(back.session_id, 77u);
  EXPECT_EQ(back.type, static_cast<uint32_t>(kEventProgress));
  const SessionSnapshot& a = e.snapshot;
  const SessionSnapshot& z = back.snapshot;
  EXPECT_EQ(z.transferring, a.transferring);
  EXPECT_EQ(z.upload, a.upload);
  EXPECT_EQ(z.user_name, a.user_name);
  EXPECT_EQ(z.group_name, a.group_name);
  EXPECT_EQ(z.password, a.password);
  EXPECT_EQ(z.home_directory, a.home_directory);
  EXPECT_EQ(z.current_directory, a.current_directory);
  EXPECT_EQ(z.email, a.email);
  EXPECT_EQ(z.transfer_path, a.transfer_path);
  EXPECT_EQ(z.file_size_low, a.file_size_low);
  EXPECT_EQ(z.restart_offset_low, a.restart_offset_low);
  EXPECT_EQ(z.transferred, a.transferred);
  EXPECT_EQ(z.connect_tick, a.connect_tick);
  EXPECT_EQ(z.transfer_start_tick, a.transfer_start_tick);
  EXPECT_EQ(z.last_activity_tick, a.last_activity_tick);
  EXPECT_EQ(z.security, a.security);
  EXPECT_EQ(z.host_text, a.host_text);
  EXPECT_EQ(z.message, a.message);
  EXPECT_EQ(z.idle_minutes, a.idle_minutes);
  EXPECT_EQ(z.max_per_host, a.max_per_host);
  EXPECT_EQ(z.max_per_user, a.max_per_user);
  EXPECT_EQ(z.save_credit, a.save_credit);
  EXPECT_EQ(z.restart_offset_high, a.restart_offset_high);
  EXPECT_EQ(z.file_size_high, a.file_size_high);
  EXPECT_EQ(z.session_id, a.session_id);
}

TEST(PluginTextRecord, CarriesAtMost4170BytesAtThePayload) {
  AdminEvent e;
  e.session_id = 5;
  e.type = kEventPluginText;
  e.text = std::string(5000, 't');
  AdminEventBytes b = encode_event(e);
  EXPECT_EQ(u32_at(b, off::kType), 26u);
  EXPECT_EQ(text_at(b, off::kPayload, kSnapshotSize), std::string(4170, 't'));
  EXPECT_EQ(b[off::kPayload + 4170], 0);
  EXPECT_EQ(b[off::kPayload + 4171], 0);
  EXPECT_EQ(decode_event(b).text, std::string(4170, 't'));
  e.text = "short text";
  EXPECT_EQ(decode_event(encode_event(e)).text, "short text");
}

TEST(AdminCommandRecord, CommandByteThenSessionIdAtFour) {
  AdminCommandBytes b = encode_command({2, 0x01020304});
  EXPECT_EQ(b, (AdminCommandBytes{2, 0, 0, 0, 0x04, 0x03, 0x02, 0x01}));
  AdminCommandBytes in{1, 0xFF, 0xEE, 0xDD, 0x10, 0, 0, 0x80};
  AdminCommand c = decode_command(in);  // the reserved bytes are not read
  EXPECT_EQ(c.command, 1);
  EXPECT_EQ(c.session_id, 0x80000010u);
}

}  // namespace

// The local address table. A lookup builds a fresh table from the address source and
// puts it in place under the table's lock, so readers see either the old or the new one.
#include "manager/shell/local_addresses.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>

#include "platform/netif.h"
#include "platform/thread.h"
#include "shared/bounded_text.h"

namespace manager {
namespace {

constexpr int kSlotCount = 3;
constexpr size_t kSlotChars = 19;

struct AddressTable {
  std::mutex lock;
  std::array<std::string, kSlotCount> slots;
  int last_filled = -1;
  int selected = 0;
  LocalAddressSource source;
  std::atomic<bool> busy{false};
  std::mutex thread_lock;
  platform::Thread thread;  // the background lookup, joined before the next one starts
};

AddressTable& table() {
  static AddressTable instance;
  return instance;
}

int clip_index(int index) { return std::clamp(index, 0, kSlotCount - 1); }

std::vector<std::string> read_addresses() {
  LocalAddressSource source;
  {
    std::lock_guard<std::mutex> guard(table().lock);
    source = table().source;
  }
  return source ? source() : platform::local_ipv4_addresses();
}

void fill_table(const std::vector<std::string>& addresses) {
  AddressTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  if (addresses.empty()) {
    t.slots[static_cast<size_t>(t.selected)].clear();
    return;
  }
  std::array<std::string, kSlotCount> slots;
  for (size_t i = 0; i < addresses.size(); ++i)
    slots[static_cast<size_t>(clip_index(static_cast<int>(i)))] =
        std::string(shared::cut_text(addresses[i], kSlotChars));
  t.slots = slots;
  t.last_filled = static_cast<int>(addresses.size()) - 1;
}

void run_lookup() {
  fill_table(read_addresses());
  table().busy = false;
}

}  // namespace

void lookup_local_addresses() {
  table().busy = true;
  run_lookup();
}

std::string lookup_local_addresses_in_background() {
  AddressTable& t = table();
  std::string selected_text = local_address_slot(selected_local_address());
  bool expected = false;
  if (!t.busy.compare_exchange_strong(expected, true)) return selected_text;
  std::lock_guard<std::mutex> guard(t.thread_lock);
  if (t.thread.joinable()) t.thread.join();  // the previous lookup has finished its work
  if (!t.thread.start(run_lookup)) t.busy = false;
  return selected_text;
}

std::string local_address_slot(int index) {
  std::lock_guard<std::mutex> guard(table().lock);
  return table().slots[static_cast<size_t>(clip_index(index))];
}

int last_filled_address_index() {
  std::lock_guard<std::mutex> guard(table().lock);
  return table().last_filled;
}

void select_local_address(int index) {
  std::lock_guard<std::mutex> guard(table().lock);
  table().selected = clip_index(index);
}

int selected_local_address() {
  std::lock_guard<std::mutex> guard(table().lock);
  return table().selected;
}

bool local_address_lookup_running() { return table().busy; }

void set_local_address_source(LocalAddressSource source) {
  std::lock_guard<std::mutex> guard(table().lock);
  table().source = std::move(source);
}

}  // namespace manager

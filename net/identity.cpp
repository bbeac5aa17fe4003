// The machine identity on Linux: the adapters are the network interfaces in
// the kernel's index order, each with the hardware address that sysfs shows
// (or, without sysfs, that SIOCGIFHWADDR reports for an Ethernet device).
#include "net/identity.h"

#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace orbilo {

namespace {

constexpr int kMaxAdapters = 64;
constexpr std::uint8_t kSkippedFirstByte = 0x44;

bool identity_found = false;
std::uint8_t identity_bytes[6] = {};

// The address in /sys/class/net/NAME/address when it is six bytes long.
bool read_sysfs_address(const char* name, std::uint8_t address[6]) {
  char path[64 + IF_NAMESIZE];
  std::snprintf(path, sizeof path, "/sys/class/net/%s/address", name);
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  char line[64] = {};
  const bool read = std::fgets(line, sizeof line, file) != nullptr;
  std::fclose(file);
  if (!read) return false;
  unsigned int bytes[6];
  int consumed = 0;
  if (std::sscanf(line, "%2x:%2x:%2x:%2x:%2x:%2x%n", &bytes[0], &bytes[1], &bytes[2], &bytes[3],
                  &bytes[4], &bytes[5], &consumed) != 6 ||
      (line[consumed] != '\n' && line[consumed] != '\0')) {
    return false;
  }
  for (int k = 0; k < 6; ++k) address[k] = static_cast<std::uint8_t>(bytes[k]);
  return true;
}

// The address that SIOCGIFHWADDR reports, for an Ethernet-like device.
bool read_ioctl_address(const char* name, std::uint8_t address[6]) {
  const int probe = socket(AF_INET, SOCK_DGRAM, 0);
  if (probe < 0) return false;
  ifreq request{};
  std::snprintf(request.ifr_name, sizeof request.ifr_name, "%s", name);
  const bool read = ioctl(probe, SIOCGIFHWADDR, &request) == 0 &&
                    (request.ifr_hwaddr.sa_family == ARPHRD_ETHER ||
                     request.ifr_hwaddr.sa_family == ARPHRD_IEEE802);
  close(probe);
  if (read) std::memcpy(address, request.ifr_hwaddr.sa_data, 6);
  return read;
}

// The system's adapters: every network interface with a six-byte address.
int system_adapters(AdapterAddress* adapters, int capacity) {
  struct if_nameindex* interfaces = if_nameindex();
  if (interfaces == nullptr) return -1;
  int count = 0;
  for (const struct if_nameindex* entry = interfaces; entry->if_index != 0 && count < capacity;
       ++entry) {
    AdapterAddress& adapter = adapters[count];
    adapter.index = entry->if_index;
    if (read_sysfs_address(entry->if_name, adapter.address) ||
        read_ioctl_address(entry->if_name, adapter.address)) {
      ++count;
    }
  }
  if_freenameindex(interfaces);
  return count;
}

AdapterSource adapter_source = system_adapters;

bool address_qualifies(const std::uint8_t address[6]) {
  if (address[0] == kSkippedFirstByte) return false;
  for (int k = 0; k < 6; ++k) {
    if (address[k] != 0) return true;
  }
  return false;
}

// Orders adapters by index, keeping the source's order among equal indexes.
void sort_by_index(AdapterAddress* adapters, int count) {
  for (int k = 1; k < count; ++k) {
    const AdapterAddress moving = adapters[k];
    int slot = k;
    for (; slot > 0 && adapters[slot - 1].index > moving.index; --slot) {
      adapters[slot] = adapters[slot - 1];
    }
    adapters[slot] = moving;
  }
}

}  // namespace

void identity_set_adapter_source(AdapterSource source) {
  adapter_source = source != nullptr ? source : system_adapters;
}

void adapter_init() {
  AdapterAddress adapters[kMaxAdapters] = {};
  int count = adapter_source(adapters, kMaxAdapters);
  if (count <= 0) return;
  if (count > kMaxAdapters) count = kMaxAdapters;
  sort_by_index(adapters, count);
  for (int k = 0; k < count; ++k) {
    if (address_qualifies(adapters[k].address)) {
      std::memcpy(identity_bytes, adapters[k].address, sizeof identity_bytes);
      identity_found = true;
      return;
    }
  }
}

int identity_valid() {
  return identity_found ? 1 : 0;
}

const std::uint8_t* identity_address() {
  return identity_bytes;
}

std::uint32_t identity_machine_id() {
  if (!identity_found) return 0;
  std::uint32_t id;
  std::memcpy(&id, identity_bytes + 2, sizeof id);
  return id;
}

void identity_forget() {
  identity_found = false;
  std::memset(identity_bytes, 0, sizeof identity_bytes);
}

}  // namespace orbilo

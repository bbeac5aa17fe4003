// The machine identity: the hardware address of the first network adapter
// that qualifies, found once when the library starts. The world login carries
// bytes 2 to 5 of it as the machine id.
#pragma once

#include <cstdint>

namespace orbilo {

// One adapter as a source lists it.
struct AdapterAddress {
  unsigned int index;       // the kernel's interface index; adapters are tried in its order
  std::uint8_t address[6];  // the hardware address, first byte first
};

// A source of adapters: writes at most capacity adapters to adapters and
// returns how many it wrote, or -1 when the adapters cannot be listed.
using AdapterSource = int (*)(AdapterAddress* adapters, int capacity);

// Replaces the system's adapters (the network interfaces) by source; nullptr
// restores the system's. For tests.
void identity_set_adapter_source(AdapterSource source);

// Keeps the address of the first adapter, in index order, whose address
// neither begins with 0x44 nor is all zero. Finding none leaves an earlier
// identity in place. Never fails.
void adapter_init();

// 1 once adapter_init has found an address, else 0.
int identity_valid();

// The six bytes of the identity address (all zero while there is none).
const std::uint8_t* identity_address();

// Bytes 2 to 5 of the identity address as one value, in memory order
// (00-0A-0B-0C-0D-0E gives the bytes 0B 0C 0D 0E); 0 without an identity.
std::uint32_t identity_machine_id();

// Forgets the identity, as at load. For tests.
void identity_forget();

}  // namespace orbilo

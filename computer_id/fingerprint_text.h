#pragma once

#include "hardware_inventory.h"

#include <cstdint>
#include <span>
#include <string>

namespace Lib_ComputerID {

// The fingerprint text of what a run read, keyed with appKey (whose size the caller has
// checked). Throws IDGenerationError, as the application's ID does, when the run found no
// string value at all.
std::string FingerprintText(const InventoryRecord& record, std::span<const std::uint8_t> appKey);

} // namespace Lib_ComputerID

#pragma once

namespace platform {

// Raises the soft limit of open descriptors to the hard limit. Returns the soft limit now in
// force (0 when it cannot be read, -1 when there is none).
long raiseDescriptorLimit();
// The soft limit of open descriptors in force, as raiseDescriptorLimit() returns it.
long descriptorLimit();

} // namespace platform

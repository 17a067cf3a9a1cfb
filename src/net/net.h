// Public header of src/net/: Network sessions.
#pragma once

namespace net {}  // namespace net

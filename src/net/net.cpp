// Network sessions.
#include "net/net.h"

namespace net {}  // namespace net

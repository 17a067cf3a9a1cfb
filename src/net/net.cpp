// Network sessions.
#include "net/net.h"

namespace net {

bool StartNetwork(const std::string& workingFolder) { return true; }

void StopNetwork() {}

}  // namespace net

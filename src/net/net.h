// Public header of src/net/: network sessions.
#pragma once

#include <string>

namespace net {

// Starts the network connection a netmode.ini asks for. False when it cannot; the engine then
// ends without opening its window. (Sessions themselves are not built yet: this connects nothing.)
bool StartNetwork(const std::string& workingFolder);
void StopNetwork();

}  // namespace net

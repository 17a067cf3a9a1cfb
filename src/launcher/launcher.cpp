// The launcher dialog beside a finished game.
#include "launcher/launcher.h"

namespace launcher {}  // namespace launcher

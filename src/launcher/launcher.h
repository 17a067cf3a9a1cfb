// Public header of src/launcher/: the dialog program beside a finished game.
#pragma once

namespace launcher {}  // namespace launcher

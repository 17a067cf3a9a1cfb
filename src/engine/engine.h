// Public header of src/engine/: Scene bridge and scene layer, visuals, pictures and text, sound, display, widgets and tools.
#pragma once

namespace engine {}  // namespace engine

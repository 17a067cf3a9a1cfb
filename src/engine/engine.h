// Public header of src/engine/: scene bridge and scene layer, visuals, pictures and text, sound,
// display, widgets and tools.
#pragma once

#include "engine/display.h"
#include "engine/pictures/bmp.h"
#include "engine/pictures/counters.h"
#include "engine/pictures/forms.h"
#include "engine/pictures/pcx.h"
#include "engine/pictures/sprites.h"
#include "engine/scene/camera_file.h"
#include "engine/scene/bridge.h"
#include "engine/scene/mesh_builder.h"
#include "engine/scene/renderer.h"
#include "engine/scene/scene.h"
#include "engine/sound/sounds.h"
#include "engine/sound/wav.h"
#include "engine/text/printed_text.h"
#include "engine/visuals/aspect.h"
#include "engine/visuals/ground_source.h"
#include "engine/visuals/model_3ds.h"
#include "engine/visuals/v3d.h"
#include "engine/visuals/xfile.h"
#include "engine/widgets/editor_font.h"

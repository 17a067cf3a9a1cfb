// The brain instruction table: its rows, alias routines, flag column and raw form. Calls only
// core/arena (the routine-stub region's address).
#include "brain/instruction_table.h"

#include <array>
#include <cstring>
#include <iterator>
#include <utility>

#include "core/core.h"

namespace brain {
namespace {

enum Ret : uint8_t { kInst = 0, kFunc = 1 };

struct ListedRow {
  Ret ret;
  const char* name;
  uint8_t paramCount;
};

// The rows in table order. The order is part of the contract: instruction routines are bound to
// rows by index, and name lookup takes the first match.
constexpr ListedRow kListed[] = {
    // 0-19
    {kInst, "3dbg_color_set", 3},
    {kFunc, "above_ground_level", 1},
    {kFunc, "absolute_value", 1},
    {kFunc, "abs", 1},
    {kFunc, "agl", 1},
    {kFunc, "aglevel", 1},
    {kFunc, "angle", 2},
    {kInst, "animate", 4},
    {kFunc, "animation_frame", 1},
    {kInst, "animation_frame_set", 2},
    {kFunc, "any_input", 0},
    {kInst, "attract", 3},
    {kInst, "attract_xz", 3},
    {kFunc, "background_color", 1},
    {kFunc, "between", 3},
    {kInst, "boing_x", 1},
    {kInst, "boing_y", 1},
    {kInst, "boing_z", 1},
    {kFunc, "camera_fov", 1},
    {kFunc, "camera_fov_set", 2},
    // 20-39
    {kInst, "child_pos", 5},
    {kInst, "child_rot", 5},
    {kFunc, "collision", 2},
    {kInst, "collisions_off", 1},
    {kInst, "collisions_on", 1},
    {kFunc, "collision_color", 1},
    {kFunc, "collision_list", 3},
    {kFunc, "collision_map", 2},
    {kFunc, "collision_map_set", 3},
    {kFunc, "collision_range", 3},
    {kInst, "counter_picked", 1},
    {kInst, "credits_add", 2},
    {kInst, "credits_set", 2},
    {kFunc, "credits", 1},
    {kFunc, "debug", 1},
    {kFunc, "dimension_abs", 2},
    {kFunc, "direction_xz", 2},
    {kFunc, "distance_xz", 2},
    {kFunc, "distance", 2},
    {kFunc, "divide", 2},
    // 40-59
    {kInst, "drag", 2},
    {kInst, "drag_xz", 2},
    {kInst, "drag_y", 2},
    {kFunc, "element_index", 2},
    {kFunc, "every_tics", 2},
    {kInst, "exemode", 1},
    {kInst, "exit", 1},
    {kInst, "any_input_exit", 1},
    {kInst, "par_count", 0},
    {kInst, "par_get", 1},
    {kFunc, "factor_512", 2},
    {kFunc, "first_element", 0},
    {kInst, "flash", 1},
    {kInst, "flat_scale_set", 3},
    {kInst, "flat_scale_x", 1},
    {kInst, "flat_scale_y", 1},
    {kInst, "follow", 5},
    {kInst, "frame_refresh", 1},
    {kInst, "frame_refresh_all", 0},
    {kInst, "friction", 2},
    // 60-79
    {kInst, "friction_xz", 2},
    {kInst, "friction_y", 2},
    {kFunc, "global", 1},
    {kInst, "global_add", 2},
    {kInst, "global_set", 2},
    {kInst, "gravity", 4},
    {kFunc, "ground_level", 1},
    {kFunc, "ground_slope", 1},
    {kFunc, "hide", 1},
    {kFunc, "inside_area_xz", 5},
    {kFunc, "inside_volume", 1},
    {kFunc, "interpolate", 5},
    {kFunc, "joy_b", 1},
    {kFunc, "joy1_b", 1},
    {kFunc, "joy1_x", 2},
    {kFunc, "joy1_y", 2},
    {kFunc, "joy2_b", 1},
    {kFunc, "joy2_x", 2},
    {kFunc, "joy2_y", 2},
    {kInst, "join", 2},
    // 80-99
    {kFunc, "keyboard", 1},
    {kFunc, "scancode", 0},
    {kFunc, "last_element", 0},
    {kFunc, "last_animation_frame", 1},
    {kInst, "lift", 3},
    {kInst, "light_color_set", 4},
    {kInst, "light_color_red", 1},
    {kInst, "light_color_green", 1},
    {kInst, "light_color_blue", 1},
    {kFunc, "light_intensity_set", 2},
    {kInst, "light_intensity", 1},
    {kFunc, "limit", 3},
    {kFunc, "local", 2},
    {kFunc, "local_set", 3},
    {kFunc, "multiply", 2},
    {kInst, "off", 1},
    {kInst, "on", 1},
    {kFunc, "on_list", 3},
    {kFunc, "on_range", 2},
    {kInst, "over_ground", 2},
    // 100-119
    {kInst, "over_ground_g", 3},
    {kInst, "pause", 0},
    {kInst, "play_set", 5},
    {kInst, "play_sound", 1},
    {kInst, "pocket_add", 3},
    {kInst, "pocket_set", 3},
    {kFunc, "pocket", 2},
    {kInst, "position_copy", 2},
    {kFunc, "position_x", 1},
    {kFunc, "position_y", 1},
    {kFunc, "position_z", 1},
    {kInst, "position_x_add", 2},
    {kInst, "position_y_add", 2},
    {kInst, "position_z_add", 2},
    {kInst, "position_x_set", 2},
    {kInst, "position_y_set", 2},
    {kInst, "position_z_set", 2},
    {kInst, "random_position_xz", 5},
    {kInst, "rebound_x", 1},
    {kInst, "rebound_y", 1},
    // 120-139
    {kInst, "rebound_z", 1},
    {kInst, "resume", 0},
    {kInst, "resume_x", 1},
    {kInst, "rotation_copy", 2},
    {kFunc, "rotation_x", 1},
    {kFunc, "rotation_y", 1},
    {kFunc, "rotation_z", 1},
    {kInst, "rotation_x_add", 2},
    {kInst, "rotation_y_add", 2},
    {kInst, "rotation_z_add", 2},
    {kInst, "rotation_x_set", 2},
    {kInst, "rotation_y_set", 2},
    {kInst, "rotation_z_set", 2},
    {kInst, "rotation_axis_set", 4},
    {kInst, "rotation_axis_add", 4},
    {kInst, "orientation_set", 1},
    {kInst, "local_axis", 3},
    {kInst, "samplerate_set", 2},
    {kInst, "save", 0},
    {kInst, "save_x", 1},
    // 140-159
    {kInst, "scale_set", 4},
    {kInst, "scale_x", 1},
    {kInst, "scale_y", 1},
    {kInst, "scale_z", 1},
    {kInst, "score_add", 2},
    {kInst, "score_set", 2},
    {kFunc, "score", 1},
    {kFunc, "show", 1},
    {kInst, "signal_reset", 2},
    {kInst, "signal_set", 2},
    {kFunc, "signal", 2},
    {kFunc, "sight", 4},
    {kInst, "sound_mode_set", 2},
    {kInst, "sound_rate_set", 2},
    {kFunc, "sound_status", 1},
    {kFunc, "speed", 1},
    {kFunc, "speed_lz", 1},
    {kInst, "speed_set", 2},
    {kFunc, "speed_xz", 1},
    {kInst, "speed_xz_set", 2},
    // 160-179
    {kInst, "spin_copy", 2},
    {kInst, "spin_update", 1},
    {kFunc, "spin_x", 1},
    {kFunc, "spin_y", 1},
    {kFunc, "spin_z", 1},
    {kInst, "spin_x_add", 2},
    {kInst, "spin_y_add", 2},
    {kInst, "spin_z_add", 2},
    {kInst, "spin_x_set", 2},
    {kInst, "spin_y_set", 2},
    {kInst, "spin_z_set", 2},
    {kInst, "sprite_3d_pos", 5},
    {kInst, "sprite_clip_set", 5},
    {kInst, "sprite_clip_x1", 1},
    {kInst, "sprite_clip_x2", 1},
    {kInst, "sprite_clip_y1", 1},
    {kInst, "sprite_clip_y2", 1},
    {kInst, "sprite_picked", 1},
    {kInst, "state_reset", 2},
    {kInst, "state_set", 2},
    // 180-199
    {kFunc, "state", 2},
    {kFunc, "status", 1},
    {kInst, "steer", 3},
    {kFunc, "steer_angle_to", 3},
    {kInst, "stop_sound", 1},
    {kInst, "stop_sound_system", 0},
    {kInst, "restart_sound_system", 0},
    {kInst, "stop_task", 0},
    {kFunc, "subtract", 2},
    {kFunc, "sum", 2},
    {kInst, "thrust", 2},
    {kInst, "thrust_xz", 2},
    {kFunc, "timer", 1},
    {kInst, "timer_set", 2},
    {kInst, "track", 2},
    {kInst, "track_play", 2},
    {kInst, "track_play_loop", 2},
    {kInst, "track_play_back", 2},
    {kInst, "track_play_reset", 2},
    {kInst, "track_yr", 2},
    // 200-219
    {kInst, "translucent", 2},
    {kInst, "type", 1},
    {kFunc, "velocity", 1},
    {kFunc, "velocity_xz", 1},
    {kInst, "velocity_copy", 2},
    {kInst, "velocity_set", 2},
    {kInst, "velocity_set_xz", 2},
    {kFunc, "velocity_x", 1},
    {kFunc, "velocity_y", 1},
    {kFunc, "velocity_z", 1},
    {kInst, "velocity_x_add", 2},
    {kInst, "velocity_y_add", 2},
    {kInst, "velocity_z_add", 2},
    {kInst, "velocity_x_set", 2},
    {kInst, "velocity_y_set", 2},
    {kInst, "velocity_z_set", 2},
    {kInst, "velocity_update", 1},
    {kInst, "visual_color_set", 4},
    {kInst, "visual_rgba_set", 5},
    {kInst, "visual_picked", 1},
    // 220-239
    {kFunc, "visual_picked_get", 0},
    {kFunc, "visual_picked_get_ex", 1},
    {kFunc, "visual_ray", 2},
    {kFunc, "wrap", 3},
    {kFunc, "atan_512", 1},
    {kInst, "attract_point", 5},
    {kInst, "attract_xr", 3},
    {kInst, "attract_y", 3},
    {kInst, "attract_yr", 3},
    {kInst, "attract_zr", 3},
    {kFunc, "bottom", 1},
    {kInst, "boundary_rebound", 2},
    {kInst, "ground_set", 1},
    {kInst, "clip_distance", 0},
    {kFunc, "cos_512", 1},
    {kInst, "element_id_set", 2},
    {kFunc, "element_id", 1},
    {kFunc, "execute", 1},
    {kInst, "fog_set", 2},
    {kInst, "fog_start", 0},
    // 240-259
    {kInst, "fog_end", 0},
    {kInst, "fog_color_set", 3},
    {kInst, "friction_xr", 2},
    {kInst, "friction_yr", 2},
    {kInst, "friction_zr", 2},
    {kFunc, "ground_color", 1},
    {kInst, "ground_color_rebound", 2},
    {kInst, "hearer", 1},
    {kInst, "join_pos", 2},
    {kInst, "listener", 1},
    {kInst, "mouse_on", 0},
    {kInst, "mouse_off", 0},
    {kInst, "mouse_set", 2},
    {kFunc, "mouse_x", 0},
    {kFunc, "mouse_y", 0},
    {kFunc, "mouse_click", 0},
    {kFunc, "nearest_element", 2},
    {kInst, "orient_straight", 3},
    {kInst, "orient_forward", 5},
    {kInst, "over_ground_slope", 3},
    // 260-279
    {kFunc, "random", 2},
    {kFunc, "random_element", 1},
    {kFunc, "sin_512", 1},
    {kFunc, "radius", 1},
    {kFunc, "radius_max", 1},
    {kFunc, "register", 2},
    {kFunc, "register_set", 3},
    {kFunc, "sprite_dim_x", 1},
    {kFunc, "sprite_dim_y", 1},
    {kFunc, "sqrt_512", 1},
    {kFunc, "tan_512", 1},
    {kInst, "track_record", 1},
    {kInst, "volume_rebound", 4},
    {kInst, "volume_slide", 5},
    {kInst, "volume_set", 1},
    {kInst, "year", 0},
    {kInst, "month", 0},
    {kInst, "day", 0},
    {kInst, "hour", 0},
    {kInst, "minute", 0},
    // 280-299
    {kInst, "second", 0},
    {kInst, "output_b", 2},
    {kInst, "output_w", 2},
    {kInst, "output_d", 2},
    {kInst, "input_b", 1},
    {kInst, "input_w", 1},
    {kInst, "input_d", 1},
    {kInst, "oscillate", 3},
    {kInst, "joy1_z", 2},
    {kInst, "joy2_z", 2},
    {kInst, "joy1_xr", 0},
    {kInst, "joy1_yr", 0},
    {kInst, "joy1_zr", 0},
    {kInst, "joy2_xr", 0},
    {kInst, "joy2_yr", 0},
    {kInst, "joy2_zr", 0},
    {kInst, "joy1_dir1", 0},
    {kInst, "joy1_dir2", 0},
    {kInst, "joy1_dir3", 0},
    {kInst, "joy1_dir4", 0},
    // 300-319
    {kInst, "joy2_dir1", 0},
    {kInst, "joy2_dir2", 0},
    {kInst, "joy2_dir3", 0},
    {kInst, "joy2_dir4", 0},
    {kInst, "play_task_status", 0},
    {kInst, "spline_key_add", 3},
    {kInst, "spline_key_set", 5},
    {kInst, "spline_key_remove", 2},
    {kInst, "spline", 4},
    {kInst, "spline_pos_x", 3},
    {kInst, "spline_pos_y", 3},
    {kInst, "spline_pos_z", 3},
    {kInst, "globals_sort", 2},
    {kInst, "track_record_reset", 0},
    {kInst, "push", 1},
    {kInst, "pop", 1},
    {kInst, "box_collisions_off", 1},
    {kInst, "box_collisions_on", 1},
    {kInst, "rebound", 2},
    {kInst, "rebound_yr", 2},
    // 320-339
    {kInst, "rebound_yr_factor", 1},
    {kInst, "collision_check", 2},
    {kInst, "h_part_show", 2},
    {kInst, "h_poly_collision", 3},
    {kInst, "h_cpoint_x", 1},
    {kInst, "h_cpoint_y", 1},
    {kInst, "h_cpoint_z", 1},
    {kInst, "h_cnormal_x", 1},
    {kInst, "h_cnormal_y", 1},
    {kInst, "h_cnormal_z", 1},
    {kInst, "race_lap", 1},
    {kInst, "race_lap_set", 2},
    {kInst, "race_next_checkpoint", 1},
    {kInst, "race_next_checkpoint_set", 2},
    {kInst, "race_on", 1},
    {kInst, "race_off", 1},
    {kInst, "race_position", 1},
    {kInst, "checkpoint", 2},
    {kInst, "checkpoint_add", 4},
    {kInst, "checkpoint_reset", 0},
    // 340-359
    {kInst, "checkpoint_height_set", 2},
    {kInst, "track_smooth", 3},
    {kInst, "track_yr_smooth", 3},
    {kInst, "speed_xz_limit", 2},
    {kInst, "disable", 1},
    {kInst, "enable", 1},
    {kInst, "h_animation_speed", 1},
    {kInst, "h_animation_speed_set", 2},
    {kInst, "h_animation_tick", 1},
    {kInst, "h_animation_tick_set", 2},
    {kInst, "h_animation_range_set", 3},
    {kInst, "h_animation_range_start", 1},
    {kInst, "h_animation_range_end", 1},
    {kInst, "display_mode", 0},
    {kInst, "display_mode_set", 1},
    {kInst, "max_framerate", 0},
    {kInst, "max_framerate_set", 1},
    {kInst, "h_part_set", 5},
    {kInst, "h_cpart1_set", 5},
    {kInst, "h_cpart2_set", 5},
    // 360-379
    {kInst, "vertex_uv_add", 5},
    {kInst, "vertex_uv_set", 4},
    {kInst, "env_map_update", 1},
    {kInst, "normals_optimize", 1},
    {kInst, "rendering_optimize", 1},
    {kInst, "vertices", 1},
    {kInst, "vertex_u", 2},
    {kInst, "vertex_v", 2},
    {kInst, "flats_priority_set", 1},
    {kInst, "shadow_add", 2},
    {kInst, "shadow_location_set", 3},
    {kInst, "shadow_orientation_set", 3},
    {kInst, "color_set", 3},
    {kInst, "print_num", 5},
    {kInst, "x_clone", 2},
    {kInst, "x_kill", 1},
    {kInst, "position_set", 4},
    {kInst, "x_picked", 1},
    {kInst, "x_pick_pt", 1},
    {kInst, "x_element_get", 5},
    // 380-399
    {kInst, "rotation_angle", 2},
    {kInst, "rotation_axis", 1},
    {kInst, "position", 3},
    {kInst, "vertex_pos_set", 5},
    {kInst, "vertex_pos_add", 5},
    {kInst, "vertex_pos", 3},
    {kInst, "a_create", 1},
    {kInst, "a_kill", 1},
    {kInst, "a", 2},
    {kInst, "a2", 4},
    {kInst, "a_set", 3},
    {kInst, "a2_set", 4},
    {kInst, "a_byte", 2},
    {kInst, "a_byte_set", 3},
    {kInst, "a_word", 2},
    {kInst, "a_word_set", 3},
    {kInst, "a_dword", 2},
    {kInst, "a_dword_set", 3},
    {kInst, "a_size", 1},
    {kInst, "a_load", 1},
    // 400-419
    {kInst, "a_save", 2},
    {kInst, "x_load", 2},
    {kInst, "sort_mode_set", 1},
    {kInst, "h_sort_mode_set", 2},
    {kInst, "poly_sort_mode_set", 1},
    {kInst, "antialias_set", 1},
    {kInst, "v_shadow_create", 1},
    {kInst, "v_shadow_factor", 2},
    {kInst, "v_shadow_delete", 0},
    {kInst, "v_shadow_set", 5},
    {kInst, "v_shadow_volume_add", 3},
    {kInst, "v_shadow_volume_reset", 0},
    {kInst, "v_shadow_update", 1},
    {kInst, "material_set", 5},
    {kInst, "material_apply", 1},
    {kInst, "state_change_optimize", 1},
    {kInst, "render", 0},
    {kInst, "reset", 0},
    {kInst, "filtering_set", 1},
    {kInst, "dithering_set", 1},
    // 420-439
    {kInst, "specular_set", 1},
    {kInst, "fogeffect_set", 1},
    {kInst, "background3d_set", 1},
    {kInst, "rendering_device_set", 1},
    {kInst, "sound_set", 1},
    {kInst, "sound_mixing_set", 1},
    {kInst, "clear", 0},
    {kInst, "input_process", 0},
    {kInst, "str_create", 1},
    {kInst, "str_kill", 1},
    {kInst, "print", 4},
    {kInst, "str_copy", 4},
    {kInst, "str_add", 2},
    {kInst, "font_set", 4},
    {kInst, "run", 1},
    {kInst, "run_task", 1},
    {kInst, "play", 1},
    {kInst, "play_task", 1},
    {kInst, "globals_save", 3},
    {kInst, "globals_load", 3},
    // 440-459
    {kInst, "str_comp", 3},
    {kInst, "str_len", 1},
    {kInst, "bmp_show", 1},
    {kInst, "input_box", 3},
    {kInst, "msg_box", 4},
    {kInst, "list_box", 5},
    {kInst, "file_box", 3},
    {kInst, "str_input", 1},
    {kInst, "str_input_set", 1},
    {kInst, "str_chr", 2},
    {kInst, "str_num", 3},
    {kInst, "str_val", 1},
    {kInst, "vertices_get", 2},
    {kInst, "vertices_set", 2},
    {kInst, "element", 1},
    {kInst, "element_find", 4},
    {kInst, "machine_number_set", 1},
    {kInst, "machine_number", 0},
    {kInst, "machine_status", 1},
    {kInst, "network_mismatch", 0},
    // 460-465
    {kInst, "network_mode", 0},
    {kInst, "machine_element_find", 4},
    {kInst, "machine_element", 1},
    {kInst, "host", 0},
    {kInst, "str_send", 2},
    {kInst, "str_poll", 2},
};
static_assert(std::size(kListed) == kInstructionRowCount);

// Names that share one routine, each pair given as (name, name it shares the routine with).
constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
    {"agl", "above_ground_level"},
    {"aglevel", "above_ground_level"},
    {"abs", "absolute_value"},
    {"rebound_x", "boing_x"},
    {"rebound_y", "boing_y"},
    {"rebound_z", "boing_z"},
    {"score_add", "credits_add"},
    {"score_set", "credits_set"},
    {"score", "credits"},
    {"scale_x", "flat_scale_x"},
    {"scale_y", "flat_scale_y"},
    {"joy1_b", "joy_b"},
    {"sound_rate_set", "samplerate_set"},
    {"velocity_set", "speed_set"},
    {"velocity_set_xz", "speed_xz_set"},
    {"ground_color_rebound", "boundary_rebound"},
    {"listener", "hearer"},
    {"str_kill", "a_kill"},
};

// Inclusive row ranges whose flag column is 1; every other row has 0.
constexpr std::pair<int, int> kFlagRanges[] = {
    {0, 0}, {34, 44}, {50, 67}, {69, 78}, {80, 80}, {82, 132}, {137, 247}, {249, 315},
};

constexpr int ListedIndex(std::string_view name) {
  for (int i = 0; i < kInstructionRowCount; ++i) {
    if (name == kListed[i].name) return i;
  }
  return -1;
}

constexpr bool IsNameCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

constexpr int DecimalDigits(int value) { return value >= 10 ? 1 + DecimalDigits(value / 10) : 1; }

// Length of "ret|name|nparams|flag|".
constexpr size_t TextLength(const ListedRow& row) {
  return 2 + std::string_view(row.name).size() + 1 + DecimalDigits(row.paramCount) + 3;
}

// Checks that catch a mistyped row at compile time: names well formed and unique, texts short
// enough to keep a terminating zero inside their 32 bytes, parameter counts that fit the argument
// registers, and aliases that name real rows with equal parameter counts.
constexpr bool RowsAreWellFormed() {
  for (int i = 0; i < kInstructionRowCount; ++i) {
    const std::string_view name = kListed[i].name;
    if (name.empty() || kListed[i].paramCount > kMaxCallParams) return false;
    if (TextLength(kListed[i]) >= kRawTextBytes) return false;
    for (char c : name) {
      if (!IsNameCharacter(c)) return false;
    }
    if (ListedIndex(name) != i) return false;
  }
  for (const auto& [name, sameAs] : kAliases) {
    const int a = ListedIndex(name);
    const int b = ListedIndex(sameAs);
    if (a < 0 || b < 0 || a == b || kListed[a].paramCount != kListed[b].paramCount) return false;
  }
  for (const auto& [first, last] : kFlagRanges) {
    if (first < 0 || first > last || last >= kInstructionRowCount) return false;
  }
  return true;
}
static_assert(RowsAreWellFormed(), "a listed row, alias or flag range is malformed");

constexpr std::array<InstructionRow, kInstructionRowCount> BuildRows() {
  std::array<InstructionRow, kInstructionRowCount> rows{};
  for (int i = 0; i < kInstructionRowCount; ++i) {
    uint8_t flag = 0;
    for (const auto& [first, last] : kFlagRanges) {
      if (i >= first && i <= last) flag = 1;
    }
    rows[i] = InstructionRow{kListed[i].ret, kListed[i].name, kListed[i].paramCount, flag, static_cast<uint16_t>(i)};
  }
  // Merge each alias pair into the lower id; relabelling every member keeps chains such as
  // agl = aglevel = above_ground_level in one group whatever order the pairs come in.
  for (const auto& [name, sameAs] : kAliases) {
    const uint16_t a = rows[ListedIndex(name)].routineId;
    const uint16_t b = rows[ListedIndex(sameAs)].routineId;
    const uint16_t keep = a < b ? a : b;
    for (InstructionRow& row : rows) {
      if (row.routineId == a || row.routineId == b) row.routineId = keep;
    }
  }
  return rows;
}

constexpr std::array<InstructionRow, kInstructionRowCount> kRows = BuildRows();

uint32_t StubBase() {
  return core::Arena::kGuestBase + core::Describe(core::Region::kRoutineStubs).offset;
}

}  // namespace

const InstructionRow* InstructionRowAt(int row) {
  if (row < 0 || row >= kInstructionRowCount) return nullptr;
  return &kRows[row];
}

int RowOfName(std::string_view name) {
  for (int i = 0; i < kInstructionRowCount; ++i) {
    if (name == kRows[i].name) return i;
  }
  return -1;
}

uint32_t RoutineAddress(int row) {
  if (row < 0 || row >= kInstructionRowCount) return 0;
  return StubBase() + kRoutineStubBytes * kRows[row].routineId;
}

int RowOfRoutineAddress(uint32_t address) {
  const uint32_t base = StubBase();
  if (address < base) return -1;
  const uint32_t offset = address - base;
  if (offset % kRoutineStubBytes != 0) return -1;
  const uint32_t id = offset / kRoutineStubBytes;
  // An id is the index of its routine's first row, so the slot is in use exactly when that row
  // carries its own index.
  if (id >= static_cast<uint32_t>(kInstructionRowCount) || kRows[id].routineId != id) return -1;
  return static_cast<int>(id);
}

std::string RowText(int row) {
  if (row < 0 || row >= kInstructionRowCount) return {};
  const InstructionRow& r = kRows[row];
  std::string text;
  text += static_cast<char>('0' + r.ret);
  text += '|';
  text += r.name;
  text += '|';
  text += std::to_string(r.paramCount);
  text += '|';
  text += static_cast<char>('0' + r.flag);
  text += '|';
  return text;
}

bool WriteRawInstructionTable(uint8_t* out, size_t capacity) {
  if (out == nullptr || capacity < kRawTableBytes) return false;
  std::memset(out, 0, kRawTableBytes);
  auto putRow = [](uint8_t* at, std::string_view text, uint32_t routine) {
    std::memcpy(at, text.data(), text.size());
    for (int i = 0; i < 4; ++i) at[kRawTextBytes + i] = static_cast<uint8_t>(routine >> (8 * i));
  };
  for (int i = 0; i < kInstructionRowCount; ++i) putRow(out + i * kRawRowBytes, RowText(i), RoutineAddress(i));
  putRow(out + kInstructionRowCount * kRawRowBytes, "END", 0);
  return true;
}

}  // namespace brain

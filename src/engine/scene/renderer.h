// The scene layer's renderer: draws scenes through viewports with OpenGL 3.3 core, and the CPU back
// surface (the 2D layer) under them. The only engine code that calls GL (through libepoxy).
//
// Order of calls: Open once a GL context is current (the frame buffer of the platform's GL context
// bound); per displayed frame BeginFrame, DrawSurface, then for each camera ClearDepth and Render
// for each root scene it shows; Close before the context goes. GL objects for meshes and pictures
// are made the first time they are drawn and kept by pointer until Forget or Close: a caller that
// frees a mesh or picture that was drawn calls Forget first (ReleaseAll at the end of a play).
//
// Drawing follows the scene's rules: back faces culled (a face whose vertices run
// counter-clockwise on screen is front-facing), z-buffered; per-vertex lighting for every quality
// but 128 (unlit) and 64 (edges only): colour = vertex colour x min(1, ambient + sum of light
// colour x max(0, n.L) x a), then x texture; metal meshes (specular power > 0) add light colour x
// max(0, n.h)^power. A light lights only the tree it is in, and not when its frame is hidden.
// Textures: mip-mapped, linear; decal transparency drops texels of colour (0, 0, 0). Translucent
// vertices (alpha < 255) blend after the opaque faces, back to front by object. Fog: linear in view
// depth between the root's fog start and end, towards its fog colour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/scene/scene.h"

namespace engine {
namespace scene {

class Renderer {
 public:
  Renderer();
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Compiles the programs and makes the shared buffers. False with a message without a current
  // GL 3.3 context.
  bool Open(std::string* error);
  // Deletes every GL object made; safe when not open.
  void Close();
  bool IsOpen() const;

  // Starts a frame of `width` x `height` pixels into the bound frame buffer.
  void BeginFrame(int width, int height);
  // Fills the whole frame with the back surface: `height` rows of `width` pixels, `pitch` bytes
  // apart, the top row first; 16 bits per pixel (5-6-5) or 32 (0x00RRGGBB). Clears the depth.
  // Only rows that differ from the last surface drawn into the same layer are converted and
  // uploaded again: layer 0 is the back surface under the camera passes, layer 1 the surface of the
  // 2D pass over them.
  void DrawSurface(const uint8_t* pixels, int bitsPerPixel, int pitch, int width, int height, int layer = 0);
  // Reads the top-left `width` x `height` pixels of the frame drawn so far into a surface of that
  // layout, each channel narrowed to its nearest 5- or 6-bit step in 16-bit surfaces (the inverse
  // of DrawSurface's widening). False when not open or the frame is smaller.
  bool ReadSurface(uint8_t* pixels, int bitsPerPixel, int pitch, int width, int height);
  // Clears the depth buffer inside the viewport's rectangle only.
  void ClearDepth(const Viewport& viewport);
  // Draws the shown frames of the tree under `root` as the viewport's camera sees them, clipped to
  // the viewport, with the root's settings and lights.
  void Render(const Scene& scene, int32_t root, const Viewport& viewport);

  // Drops the GL objects made for a mesh or a picture.
  void Forget(const MeshBuilder* mesh);
  void Forget(const Picture* picture);
  // Drops every mesh and picture object (programs and shared buffers stay).
  void ReleaseAll();
  // GL objects alive now (programs, buffers, vertex arrays, textures, frame buffers), for leak checks.
  size_t LiveObjects() const;
  // Waits until GL has carried out everything asked of it so far (for timing).
  void Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace scene
}  // namespace engine

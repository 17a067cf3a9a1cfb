// The scene layer's GL renderer: the programs, the GL objects of meshes and pictures, and the
// drawing of scenes and of the back surface. Calls GL (through libepoxy), GLM and the scene graph.
#include "engine/scene/renderer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <unordered_map>
#include <vector>

#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/mat3x3.hpp>
#include <glm/vec4.hpp>

#include "engine/pictures/bmp.h"
#include "engine/scene/shaders.h"

namespace engine {
namespace scene {
namespace {

constexpr int kMaxLights = kShaderMaxLights;
enum LightKind : int { kKindFixed = 0, kKindPoint = 1, kKindSpot = 2 };

// The variants of the mesh program, by feature bits.
enum Variant : int { kFog = 1, kDropBlack = 2, kSpecular = 4, kVariants = 8 };

// Uniform locations of one mesh program (-1 where its variant has no such uniform).
struct MeshUniforms {
  GLint projection = -1;
  GLint lit = -1, chrome = -1, specularPower = -1;
  GLint ambient = -1, lightCount = -1, lightKind = -1, lightColour = -1, lightPosition = -1, lightVector = -1,
        lightShape = -1;
  GLint texture = -1;
  GLint fogColour = -1, fogStart = -1, fogEnd = -1;
};

struct MeshProgram {
  GLuint program = 0;
  MeshUniforms u;
  uint64_t pass = 0;  // the Render call whose settings it holds
};

// The GL side of one mesh: its distinct vertices and the faces as indices into them, the faces
// with any translucent vertex after the opaque ones so that each pass draws one range. Sharing
// vertices lets GL shade each once, where the builder keeps three per face.
struct MeshObject {
  GLuint vertexArray = 0;
  GLuint buffer = 0;
  GLuint indexBuffer = 0;
  GLenum indexType = GL_UNSIGNED_SHORT;
  GLsizei opaqueIndices = 0;
  GLsizei translucentIndices = 0;
  size_t sourceVertices = 0;  // the mesh's vertex count when uploaded
};

// A vertex compared byte for byte, to find the ones a mesh repeats.
struct VertexKey {
  MeshVertex v;
  bool operator==(const VertexKey& other) const { return std::memcmp(&v, &other.v, sizeof v) == 0; }
};
static_assert(sizeof(MeshVertex) == 36, "vertices are compared and hashed as their bytes, without padding");
struct VertexKeyHash {
  size_t operator()(const VertexKey& key) const {
    uint32_t words[sizeof(MeshVertex) / 4];
    std::memcpy(words, &key.v, sizeof words);
    uint64_t h = 14695981039346656037ull;
    for (uint32_t w : words) h = (h ^ w) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

struct TextureObject {
  GLuint texture = 0;
  int32_t width = 0, height = 0;
};

// The lights of one root as the shader takes them (view space).
struct ShaderLights {
  int count = 0;
  int kind[kMaxLights] = {};
  glm::vec3 colour[kMaxLights] = {};
  glm::vec3 position[kMaxLights] = {};
  glm::vec3 vector[kMaxLights] = {};
  glm::vec4 shape[kMaxLights] = {};
};

// A parallel-point light: one direction and attenuation per object, from the object's origin.
struct ParallelLight {
  int slot = 0;
  glm::vec3 position{0.0f};  // view space
  float linear = 0.0f, range = 0.0f;
};

// One mesh or decal of a frame to draw this pass.
struct DrawItem {
  const MeshBuilder* mesh = nullptr;  // null: the frame's decal
  const Decal* decal = nullptr;
  glm::mat4 modelView{1.0f};
  float depth = 0.0f;  // view depth of the frame's origin
};

// What the vertex shader takes per object, as instanced attributes: the model-view matrix (4
// columns at locations 4 to 7) and the normal matrix (3 columns at 8 to 10).
struct InstanceData {
  float modelView[16];
  float normalMatrix[9];
};
static_assert(sizeof(InstanceData) == 100, "instances are read by GL with this stride");
constexpr GLuint kModelViewAttribute = 4;
constexpr GLuint kNormalMatrixAttribute = 8;

// Consecutive draw items that one instanced draw shows: the same mesh (or decal picture) drawn with
// the same winding, in the same pass, and without per-object uniforms. Their instances are
// `instances` entries of the pass's instance buffer from `firstInstance`.
struct DrawRun {
  const DrawItem* item = nullptr;  // the first of the run
  bool translucentPass = false;
  bool mirrored = false;
  bool batchable = true;
  GLint firstInstance = 0;
  GLsizei instances = 0;
};

bool Lit(const MeshBuilder& mesh) { return mesh.quality != kQualityWireframe && mesh.quality != kQualityUnlitFlat; }

float Attenuation(float linear, float range, float distance) {
  if (distance > range) return 0.0f;
  const float d = linear * distance;
  return d <= 0.0f ? 1.0f : std::min(1.0f, 1.0f / d);
}

bool Translucent(const MeshVertex& v) { return (v.rgba >> 24) < 255u; }

GLuint Compile(GLenum type, const std::string& header, const char* body, std::string* error) {
  const GLuint shader = glCreateShader(type);
  const char* sources[2] = {header.c_str(), body};
  glShaderSource(shader, 2, sources, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok == GL_TRUE) return shader;
  char log[1024] = {};
  glGetShaderInfoLog(shader, sizeof log, nullptr, log);
  *error = std::string("cannot compile a shader: ") + log;
  glDeleteShader(shader);
  return 0;
}

// A linked program, or 0 with a message. The shaders go once linked: only the program counts.
GLuint Link(const std::string& header, const char* vertexSource, const char* fragmentSource, std::string* error) {
  const GLuint vertex = Compile(GL_VERTEX_SHADER, header, vertexSource, error);
  if (vertex == 0) return 0;
  const GLuint fragment = Compile(GL_FRAGMENT_SHADER, header, fragmentSource, error);
  if (fragment == 0) {
    glDeleteShader(vertex);
    return 0;
  }
  const GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  glDetachShader(program, vertex);
  glDetachShader(program, fragment);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok == GL_TRUE) return program;
  char log[1024] = {};
  glGetProgramInfoLog(program, sizeof log, nullptr, log);
  *error = std::string("cannot link a program: ") + log;
  glDeleteProgram(program);
  return 0;
}

}  // namespace

// A CPU surface shown through a texture: the texture, a frame buffer that reads it for the copy
// into the frame, and the bytes it now shows (rows packed, the top row first, 0 bits before any),
// so that rows equal to them are not converted or uploaded again.
struct SurfaceLayer {
  GLuint texture = 0;
  GLuint framebuffer = 0;
  int width = 0, height = 0;
  int bits = 0;
  std::vector<uint8_t> rgba;
  std::vector<uint8_t> source;
};

struct Renderer::State {
  bool open = false;
  size_t live = 0;
  MeshProgram programs[kVariants];
  int current = -1;   // the variant in use
  uint64_t pass = 0;  // counts Render calls
  // What the programs take per Render call.
  glm::mat4 projection{1.0f};
  glm::vec3 ambient{0.0f};
  SceneSettings settings;
  GLuint whiteTexture = 0;
  // The back surface under the camera passes, and the surface of the 2D pass over them.
  SurfaceLayer layers[2];
  std::vector<uint8_t> readBack;  // RGBA rows of the frame, the bottom row first
  std::vector<uint8_t> expand565;  // RGBA of each 5-6-5 value
  int frameWidth = 0, frameHeight = 0;
  std::unordered_map<const MeshBuilder*, MeshObject> meshes;
  std::unordered_map<const Picture*, TextureObject> textures;

  // Kept between frames so that drawing does not allocate.
  std::vector<DrawItem> items;
  std::vector<DrawItem> translucent;
  std::vector<int32_t> stack;
  std::vector<MeshVertex> staging;
  std::vector<uint32_t> indices;
  std::vector<uint16_t> shortIndices;
  std::unordered_map<VertexKey, uint32_t, VertexKeyHash> distinct;
  MeshObject quad;  // the decal square
  std::vector<ParallelLight> parallel;
  ShaderLights lights;
  GLuint instanceBuffer = 0;  // refilled by each Render call
  std::vector<InstanceData> instances;
  std::vector<DrawRun> runs;

  GLuint NewBuffer() {
    GLuint name = 0;
    glGenBuffers(1, &name);
    ++live;
    return name;
  }
  GLuint NewVertexArray() {
    GLuint name = 0;
    glGenVertexArrays(1, &name);
    ++live;
    return name;
  }
  GLuint NewTexture() {
    GLuint name = 0;
    glGenTextures(1, &name);
    ++live;
    return name;
  }
  void DeleteBuffer(GLuint* name) {
    if (*name == 0) return;
    glDeleteBuffers(1, name);
    *name = 0;
    --live;
  }
  void DeleteVertexArray(GLuint* name) {
    if (*name == 0) return;
    glDeleteVertexArrays(1, name);
    *name = 0;
    --live;
  }
  void DeleteTexture(GLuint* name) {
    if (*name == 0) return;
    glDeleteTextures(1, name);
    *name = 0;
    --live;
  }
  void DeleteProgram(GLuint* name) {
    if (*name == 0) return;
    glDeleteProgram(*name);
    *name = 0;
    --live;
  }

  void DeleteMesh(MeshObject* object) {
    DeleteVertexArray(&object->vertexArray);
    DeleteBuffer(&object->buffer);
    DeleteBuffer(&object->indexBuffer);
  }

  const MeshObject& Upload(const MeshBuilder& mesh);
  GLuint TextureOf(const Picture* picture);
  // Switches to a variant's program, bringing it up to date with this Render call's settings.
  const MeshUniforms& Use(int variant);
  void SetParallelLights(const glm::vec3& origin);
  // Adds the item's instance, to the last run when it can be drawn with it.
  void AddToRuns(const DrawItem& item, bool translucentPass);
  void DrawMeshRun(const DrawRun& run);
  void DrawDecalRun(const DrawRun& run);
  // Points the object's instanced attributes at the run's instances and draws them.
  void DrawInstances(const MeshObject& object, const DrawRun& run, GLsizei first, GLsizei count);
};

// Vertex data goes up once per mesh pointer; a mesh whose vertex count changed since is uploaded
// again rather than drawn from buffers of the wrong size.
const MeshObject& Renderer::State::Upload(const MeshBuilder& mesh) {
  MeshObject& object = meshes[&mesh];
  const std::vector<MeshVertex>& vertices = mesh.Vertices();
  if (object.buffer != 0 && object.sourceVertices == vertices.size()) return object;

  staging.clear();
  indices.clear();
  distinct.clear();
  indices.reserve(vertices.size());
  const size_t faces = vertices.size() / 3;
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t f = 0; f < faces; ++f) {
      const MeshVertex* v = &vertices[f * 3];
      const bool translucent = Translucent(v[0]) || Translucent(v[1]) || Translucent(v[2]);
      if (translucent != (pass == 1)) continue;
      for (int corner = 0; corner < 3; ++corner) {
        const auto [at, added] = distinct.try_emplace(VertexKey{v[corner]}, static_cast<uint32_t>(staging.size()));
        if (added) staging.push_back(v[corner]);
        indices.push_back(at->second);
      }
    }
    if (pass == 0) object.opaqueIndices = static_cast<GLsizei>(indices.size());
  }
  object.translucentIndices = static_cast<GLsizei>(indices.size()) - object.opaqueIndices;
  object.sourceVertices = vertices.size();
  if (distinct.size() > 4096) distinct = {};  // a big mesh's table is not kept for the small ones

  if (object.buffer == 0) {
    object.vertexArray = NewVertexArray();
    object.buffer = NewBuffer();
    object.indexBuffer = NewBuffer();
    glBindVertexArray(object.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, object.buffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, object.indexBuffer);
    constexpr GLsizei kStride = sizeof(MeshVertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kStride,
                          reinterpret_cast<const void*>(offsetof(MeshVertex, position)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, kStride, reinterpret_cast<const void*>(offsetof(MeshVertex, normal)));
    // 0xAARRGGBB in memory is B, G, R, A: GL's BGRA attribute order reads it as it is.
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, kStride,
                          reinterpret_cast<const void*>(offsetof(MeshVertex, rgba)));
    glEnableVertexAttribArray(3);
    glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, kStride, reinterpret_cast<const void*>(offsetof(MeshVertex, uv)));
    // The per-object columns: pointed into the instance buffer by each draw.
    for (GLuint column = 0; column < 7; ++column) {
      glEnableVertexAttribArray(kModelViewAttribute + column);
      glVertexAttribDivisor(kModelViewAttribute + column, 1);
    }
  } else {
    glBindVertexArray(object.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, object.buffer);
  }
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(staging.size() * sizeof(MeshVertex)), staging.data(),
               GL_STATIC_DRAW);
  if (staging.size() <= 0xFFFF) {
    shortIndices.assign(indices.begin(), indices.end());
    object.indexType = GL_UNSIGNED_SHORT;
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(shortIndices.size() * sizeof(uint16_t)),
                 shortIndices.data(), GL_STATIC_DRAW);
  } else {
    object.indexType = GL_UNSIGNED_INT;
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(uint32_t)), indices.data(),
                 GL_STATIC_DRAW);
  }
  return object;
}

// A picture's texture, made at its first use; white for a picture with no pixels, or fewer bytes
// than its size says (nothing is read past its end).
GLuint Renderer::State::TextureOf(const Picture* picture) {
  if (picture == nullptr || picture->width <= 0 || picture->height <= 0 ||
      picture->rgba.size() < static_cast<size_t>(picture->width) * static_cast<size_t>(picture->height) * 4) {
    return whiteTexture;
  }
  TextureObject& object = textures[picture];
  if (object.texture != 0 && object.width == picture->width && object.height == picture->height) return object.texture;
  if (object.texture == 0) object.texture = NewTexture();
  object.width = picture->width;
  object.height = picture->height;
  glBindTexture(GL_TEXTURE_2D, object.texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  // Rows go up as they are, the top row first: v = 0 is the picture's top.
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, picture->width, picture->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               picture->rgba.data());
  glGenerateMipmap(GL_TEXTURE_2D);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  return object.texture;
}

const MeshUniforms& Renderer::State::Use(int variant) {
  MeshProgram& program = programs[variant];
  const MeshUniforms& u = program.u;
  if (current != variant) {
    glUseProgram(program.program);
    current = variant;
  }
  if (program.pass == pass) return u;
  program.pass = pass;
  glUniformMatrix4fv(u.projection, 1, GL_FALSE, glm::value_ptr(projection));
  glUniform3fv(u.ambient, 1, glm::value_ptr(ambient));
  glUniform3fv(u.fogColour, 1, glm::value_ptr(settings.fogColour));
  glUniform1f(u.fogStart, settings.fogStart);
  glUniform1f(u.fogEnd, settings.fogEnd);
  glUniform1i(u.lightCount, lights.count);
  glUniform1iv(u.lightKind, kMaxLights, lights.kind);
  glUniform3fv(u.lightColour, kMaxLights, glm::value_ptr(lights.colour[0]));
  glUniform3fv(u.lightPosition, kMaxLights, glm::value_ptr(lights.position[0]));
  glUniform3fv(u.lightVector, kMaxLights, glm::value_ptr(lights.vector[0]));
  glUniform4fv(u.lightShape, kMaxLights, glm::value_ptr(lights.shape[0]));
  return u;
}

// Parallel-point lights shine on the whole object along the line from its origin to the light.
void Renderer::State::SetParallelLights(const glm::vec3& origin) {
  for (const ParallelLight& light : parallel) {
    const glm::vec3 offset = light.position - origin;
    const float distance = glm::length(offset);
    lights.vector[light.slot] = distance > 0.0f ? offset / distance : glm::vec3(0.0f);
    lights.shape[light.slot] = glm::vec4(Attenuation(light.linear, light.range, distance), 0.0f, 0.0f, 0.0f);
  }
  const MeshUniforms& u = programs[current].u;
  glUniform3fv(u.lightVector, kMaxLights, glm::value_ptr(lights.vector[0]));
  glUniform4fv(u.lightShape, kMaxLights, glm::value_ptr(lights.shape[0]));
}

void Renderer::State::AddToRuns(const DrawItem& item, bool translucentPass) {
  InstanceData instance;
  bool mirrored = false;
  bool batchable = true;
  if (item.mesh != nullptr) {
    const glm::mat3 linear(item.modelView);
    const glm::mat3 normalMatrix = glm::inverseTranspose(linear);
    std::memcpy(instance.modelView, glm::value_ptr(item.modelView), sizeof instance.modelView);
    std::memcpy(instance.normalMatrix, glm::value_ptr(normalMatrix), sizeof instance.normalMatrix);
    mirrored = glm::determinant(linear) < 0.0f;
    // Parallel-point lights shine from each object's own origin: a uniform per object.
    batchable = parallel.empty() || !Lit(*item.mesh);
  } else {
    // A decal stands at its frame's origin, facing the camera, at its own size.
    const glm::mat4 modelView = glm::scale(glm::translate(glm::mat4(1.0f), glm::vec3(item.modelView[3])),
                                           glm::vec3(item.decal->size, 1.0f));
    const glm::mat3 identity(1.0f);
    std::memcpy(instance.modelView, glm::value_ptr(modelView), sizeof instance.modelView);
    std::memcpy(instance.normalMatrix, glm::value_ptr(identity), sizeof instance.normalMatrix);
  }
  if (!runs.empty()) {
    DrawRun& last = runs.back();
    const DrawItem& other = *last.item;
    const bool same = item.mesh != nullptr ? other.mesh == item.mesh
                                           : other.mesh == nullptr && other.decal->picture == item.decal->picture &&
                                                 other.decal->transparency == item.decal->transparency;
    if (same && batchable && last.batchable && last.translucentPass == translucentPass && last.mirrored == mirrored) {
      ++last.instances;
      instances.push_back(instance);
      return;
    }
  }
  runs.push_back(DrawRun{&item, translucentPass, mirrored, batchable, static_cast<GLint>(instances.size()), 1});
  instances.push_back(instance);
}

void Renderer::State::DrawInstances(const MeshObject& object, const DrawRun& run, GLsizei first, GLsizei count) {
  glBindVertexArray(object.vertexArray);
  glBindBuffer(GL_ARRAY_BUFFER, instanceBuffer);
  constexpr GLsizei kStride = sizeof(InstanceData);
  const size_t base = static_cast<size_t>(run.firstInstance) * sizeof(InstanceData);
  for (GLuint column = 0; column < 4; ++column) {
    glVertexAttribPointer(kModelViewAttribute + column, 4, GL_FLOAT, GL_FALSE, kStride,
                          reinterpret_cast<const void*>(base + offsetof(InstanceData, modelView) + column * 16));
  }
  for (GLuint column = 0; column < 3; ++column) {
    glVertexAttribPointer(kNormalMatrixAttribute + column, 3, GL_FLOAT, GL_FALSE, kStride,
                          reinterpret_cast<const void*>(base + offsetof(InstanceData, normalMatrix) + column * 12));
  }
  const size_t size = object.indexType == GL_UNSIGNED_SHORT ? sizeof(uint16_t) : sizeof(uint32_t);
  glDrawElementsInstanced(GL_TRIANGLES, count, object.indexType,
                          reinterpret_cast<const void*>(static_cast<size_t>(first) * size), run.instances);
}

void Renderer::State::DrawMeshRun(const DrawRun& run) {
  const DrawItem& item = *run.item;
  const MeshBuilder& mesh = *item.mesh;
  const MeshObject& object = Upload(mesh);
  const GLsizei count = run.translucentPass ? object.translucentIndices : object.opaqueIndices;
  if (count == 0) return;
  const GLsizei first = run.translucentPass ? object.opaqueIndices : 0;

  const bool wireframe = mesh.quality == kQualityWireframe;
  const bool lit = Lit(mesh);
  const GLuint texture = TextureOf(mesh.texture);
  const int variant = (settings.fogEnabled ? kFog : 0) |
                      (mesh.decalTransparency && texture != whiteTexture ? kDropBlack : 0) |
                      (lit && mesh.specularPower > 0.0f ? kSpecular : 0);
  const MeshUniforms& u = Use(variant);
  // A mirroring transform turns the winding on screen round: its outside still faces the camera.
  glFrontFace(run.mirrored ? GL_CW : GL_CCW);
  glUniform1i(u.lit, lit ? 1 : 0);
  glUniform1i(u.chrome, mesh.chromeWraps.empty() ? 0 : 1);
  if ((variant & kSpecular) != 0) glUniform1f(u.specularPower, mesh.specularPower);
  if (lit && !parallel.empty()) SetParallelLights(glm::vec3(item.modelView[3]));
  glBindTexture(GL_TEXTURE_2D, texture);

  if (wireframe) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  DrawInstances(object, run, first, count);
  if (wireframe) glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void Renderer::State::DrawDecalRun(const DrawRun& run) {
  const Decal& decal = *run.item->decal;
  const GLuint texture = TextureOf(decal.picture);
  const int variant = (settings.fogEnabled ? kFog : 0) | (decal.transparency && texture != whiteTexture ? kDropBlack : 0);
  const MeshUniforms& u = Use(variant);
  glUniform1i(u.lit, 0);
  glUniform1i(u.chrome, 0);
  glFrontFace(GL_CCW);
  glBindTexture(GL_TEXTURE_2D, texture);
  DrawInstances(quad, run, 0, quad.opaqueIndices);
}

Renderer::Renderer() : state_(std::make_unique<State>()) {}

Renderer::~Renderer() { Close(); }

bool Renderer::IsOpen() const { return state_->open; }

bool Renderer::Open(std::string* error) {
  if (state_->open) return true;
  State& s = *state_;
  const GLubyte* version = glGetString(GL_VERSION);
  if (version == nullptr || !epoxy_is_desktop_gl() || epoxy_gl_version() < 33) {
    *error = "an OpenGL 3.3 context is not current";
    return false;
  }
  for (int variant = 0; variant < kVariants; ++variant) {
    std::string header = "#version 330 core\n";
    if ((variant & kFog) != 0) header += "#define FOG 1\n";
    if ((variant & kDropBlack) != 0) header += "#define DROP_BLACK 1\n";
    if ((variant & kSpecular) != 0) header += "#define SPECULAR 1\n";
    const GLuint program = Link(header, kMeshVertexShader, kMeshFragmentShader, error);
    if (program == 0) {
      for (MeshProgram& made : s.programs) s.DeleteProgram(&made.program);
      return false;
    }
    ++s.live;
    MeshProgram& made = s.programs[variant];
    made.program = program;
    made.pass = 0;
    MeshUniforms& u = made.u;
    u.projection = glGetUniformLocation(program, "uProjection");
    u.lit = glGetUniformLocation(program, "uLit");
    u.chrome = glGetUniformLocation(program, "uChrome");
    u.specularPower = glGetUniformLocation(program, "uSpecularPower");
    u.ambient = glGetUniformLocation(program, "uAmbient");
    u.lightCount = glGetUniformLocation(program, "uLightCount");
    u.lightKind = glGetUniformLocation(program, "uLightKind");
    u.lightColour = glGetUniformLocation(program, "uLightColour");
    u.lightPosition = glGetUniformLocation(program, "uLightPosition");
    u.lightVector = glGetUniformLocation(program, "uLightVector");
    u.lightShape = glGetUniformLocation(program, "uLightShape");
    u.texture = glGetUniformLocation(program, "uTexture");
    u.fogColour = glGetUniformLocation(program, "uFogColour");
    u.fogStart = glGetUniformLocation(program, "uFogStart");
    u.fogEnd = glGetUniformLocation(program, "uFogEnd");
    glUseProgram(program);
    glUniform1i(u.texture, 0);
  }
  glUseProgram(0);


  // The decal square, centred, facing the camera; v = 0 at its top.
  const MeshVertex corners[4] = {
      {{-0.5f, -0.5f, 0.0f}, {0.0f, 0.0f, -1.0f}, 0xFFFFFFFFu, {0.0f, 1.0f}},
      {{0.5f, -0.5f, 0.0f}, {0.0f, 0.0f, -1.0f}, 0xFFFFFFFFu, {1.0f, 1.0f}},
      {{0.5f, 0.5f, 0.0f}, {0.0f, 0.0f, -1.0f}, 0xFFFFFFFFu, {1.0f, 0.0f}},
      {{-0.5f, 0.5f, 0.0f}, {0.0f, 0.0f, -1.0f}, 0xFFFFFFFFu, {0.0f, 0.0f}},
  };
  MeshBuilder quad;
  quad.AddFace(corners[0], corners[1], corners[2]);
  quad.AddFace(corners[0], corners[2], corners[3]);
  s.instanceBuffer = s.NewBuffer();
  s.quad = s.Upload(quad);
  s.meshes.erase(&quad);
  glBindVertexArray(0);

  const uint8_t white[4] = {255, 255, 255, 255};
  s.whiteTexture = s.NewTexture();
  glBindTexture(GL_TEXTURE_2D, s.whiteTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

  for (SurfaceLayer& layer : s.layers) {
    layer.texture = s.NewTexture();
    glBindTexture(GL_TEXTURE_2D, layer.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // A 1 x 1 image until the first surface, so that the frame buffer is complete from the start.
    const uint8_t black[4] = {0, 0, 0, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, black);
    layer.width = layer.height = 1;
    layer.bits = 0;
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &layer.framebuffer);
    ++s.live;
    GLint read = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, layer.framebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, layer.texture, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
  }

  // A channel of n bits with value c is c / (2^n - 1) of full scale, rounded to 8 bits.
  s.expand565.resize(65536 * 4);
  for (uint32_t v = 0; v < 65536; ++v) {
    s.expand565[v * 4] = static_cast<uint8_t>(((v >> 11) * 255 + 15) / 31);
    s.expand565[v * 4 + 1] = static_cast<uint8_t>((((v >> 5) & 63) * 255 + 31) / 63);
    s.expand565[v * 4 + 2] = static_cast<uint8_t>(((v & 31) * 255 + 15) / 31);
    s.expand565[v * 4 + 3] = 255;
  }
  s.open = true;
  return true;
}

void Renderer::Close() {
  State& s = *state_;
  if (!s.open) return;
  ReleaseAll();
  for (SurfaceLayer& layer : s.layers) {
    if (layer.framebuffer != 0) {
      glDeleteFramebuffers(1, &layer.framebuffer);
      layer.framebuffer = 0;
      --s.live;
    }
    s.DeleteTexture(&layer.texture);
    layer = SurfaceLayer{};
  }
  s.DeleteTexture(&s.whiteTexture);
  s.DeleteMesh(&s.quad);
  s.DeleteBuffer(&s.instanceBuffer);
  for (MeshProgram& program : s.programs) s.DeleteProgram(&program.program);
  s.open = false;
}

void Renderer::BeginFrame(int width, int height) {
  state_->frameWidth = width;
  state_->frameHeight = height;
}

void Renderer::DrawSurface(const uint8_t* pixels, int bitsPerPixel, int pitch, int width, int height, int layerIndex) {
  State& s = *state_;
  if (!s.open) return;
  SurfaceLayer& layer = s.layers[layerIndex == 0 ? 0 : 1];
  const int bytesPerPixel = bitsPerPixel / 8;
  const bool usable = pixels != nullptr && (bitsPerPixel == 16 || bitsPerPixel == 32) && width > 0 && height > 0 &&
                      pitch >= width * bytesPerPixel;
  glDisable(GL_SCISSOR_TEST);
  if (usable) {
    const size_t w = static_cast<size_t>(width);
    const size_t rowBytes = w * static_cast<size_t>(bytesPerPixel);
    const auto sourceRow = [&](int y) { return pixels + static_cast<size_t>(y) * static_cast<size_t>(pitch); };
    // Only the band of rows that differ from the last surface is converted and uploaded: a 2D layer
    // that did not change costs one comparison, and one that changed in a few rows only those.
    int firstChanged = 0, lastChanged = height - 1;
    if (layer.bits == bitsPerPixel && layer.width == width && layer.height == height) {
      const uint8_t* kept = layer.source.data();
      while (firstChanged < height &&
             std::memcmp(sourceRow(firstChanged), kept + static_cast<size_t>(firstChanged) * rowBytes, rowBytes) == 0) {
        ++firstChanged;
      }
      while (lastChanged > firstChanged &&
             std::memcmp(sourceRow(lastChanged), kept + static_cast<size_t>(lastChanged) * rowBytes, rowBytes) == 0) {
        --lastChanged;
      }
    } else {
      layer.source.resize(rowBytes * static_cast<size_t>(height));
      layer.rgba.resize(w * static_cast<size_t>(height) * 4);
      glBindTexture(GL_TEXTURE_2D, layer.texture);
      if (width != layer.width || height != layer.height) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        layer.width = width;
        layer.height = height;
      }
      layer.bits = bitsPerPixel;
    }
    if (firstChanged <= lastChanged) {
      // Widened here to the frame's own RGBA, bottom row first: GL then copies it into the frame
      // as it is, without running a shader over every pixel.
      for (int y = firstChanged; y <= lastChanged; ++y) {
        const uint8_t* row = sourceRow(y);
        std::memcpy(layer.source.data() + static_cast<size_t>(y) * rowBytes, row, rowBytes);
        uint8_t* out = layer.rgba.data() + static_cast<size_t>(height - 1 - y) * w * 4;
        if (bitsPerPixel == 16) {
          for (size_t x = 0; x < w; ++x, out += 4) {
            uint16_t v = 0;
            std::memcpy(&v, row + x * 2, 2);
            std::memcpy(out, &s.expand565[v * 4u], 4);
          }
        } else if constexpr (std::endian::native == std::endian::little) {
          // 0x00RRGGBB read as a word is B, G, R, 0 in memory; R, G, B, 255 is 0xFFBBGGRR.
          for (size_t x = 0; x < w; ++x, out += 4) {
            uint32_t v = 0;
            std::memcpy(&v, row + x * 4, 4);
            v = (v >> 16 & 0xFFu) | (v & 0xFF00u) | (v & 0xFFu) << 16 | 0xFF000000u;
            std::memcpy(out, &v, 4);
          }
        } else {
          for (size_t x = 0; x < w; ++x, out += 4) {
            uint32_t v = 0;
            std::memcpy(&v, row + x * 4, 4);
            out[0] = static_cast<uint8_t>(v >> 16);
            out[1] = static_cast<uint8_t>(v >> 8);
            out[2] = static_cast<uint8_t>(v);
            out[3] = 255;
          }
        }
      }
      const int bottom = height - 1 - lastChanged;
      const int rows = lastChanged - firstChanged + 1;
      glBindTexture(GL_TEXTURE_2D, layer.texture);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
      glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, bottom, width, rows, GL_RGBA, GL_UNSIGNED_BYTE,
                      layer.rgba.data() + static_cast<size_t>(bottom) * w * 4);
    }

    GLint read = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, layer.framebuffer);
    const int frameWidth = s.frameWidth > 0 ? s.frameWidth : width;
    const int frameHeight = s.frameHeight > 0 ? s.frameHeight : height;
    glBlitFramebuffer(0, 0, width, height, 0, 0, frameWidth, frameHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
  }
  glDepthMask(GL_TRUE);
  glClear(GL_DEPTH_BUFFER_BIT);
  glFlush();
}

bool Renderer::ReadSurface(uint8_t* pixels, int bitsPerPixel, int pitch, int width, int height) {
  State& s = *state_;
  const bool usable = s.open && pixels != nullptr && (bitsPerPixel == 16 || bitsPerPixel == 32) && width > 0 &&
                      height > 0 && width <= s.frameWidth && height <= s.frameHeight &&
                      pitch >= width * (bitsPerPixel / 8);
  if (!usable) return false;
  const size_t w = static_cast<size_t>(width);
  s.readBack.resize(w * static_cast<size_t>(height) * 4);
  GLint read = 0, draw = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(draw));
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, s.readBack.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
  // An 8-bit channel c goes back to n bits as the nearest step, (c (2^n - 1) + 127) / 255, which
  // undoes the widening of DrawSurface exactly.
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = s.readBack.data() + static_cast<size_t>(height - 1 - y) * w * 4;
    uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(pitch);
    for (size_t x = 0; x < w; ++x, in += 4) {
      if (bitsPerPixel == 16) {
        const auto v = static_cast<uint16_t>((in[0] * 31u + 127u) / 255u << 11 | (in[1] * 63u + 127u) / 255u << 5 |
                                             (in[2] * 31u + 127u) / 255u);
        std::memcpy(row + x * 2, &v, 2);
      } else {
        const uint32_t v = static_cast<uint32_t>(in[0]) << 16 | static_cast<uint32_t>(in[1]) << 8 | in[2];
        std::memcpy(row + x * 4, &v, 4);
      }
    }
  }
  return true;
}

void Renderer::ClearDepth(const Viewport& viewport) {
  State& s = *state_;
  if (!s.open || viewport.width <= 0 || viewport.height <= 0) return;
  glEnable(GL_SCISSOR_TEST);
  glScissor(viewport.x, s.frameHeight - viewport.y - viewport.height, viewport.width, viewport.height);
  glDepthMask(GL_TRUE);
  glClear(GL_DEPTH_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
}

void Renderer::Render(const Scene& scene, int32_t root, const Viewport& viewport) {
  State& s = *state_;
  if (!s.open || !scene.Valid(root) || !scene.Valid(viewport.camera) || viewport.width <= 0 || viewport.height <= 0) {
    return;
  }
  // The camera's scale is taken out, as the viewport's point transforms and picking do.
  const glm::mat4 view = ViewMatrix(scene, viewport.camera);
  const SceneSettings& settings = scene.At(root).settings;

  // One walk of the shown tree gathers its lights and what to draw, in tree order.
  s.items.clear();
  s.translucent.clear();
  s.parallel.clear();
  s.lights = ShaderLights{};
  glm::vec3 ambient(0.0f);
  s.stack.assign(1, root);
  while (!s.stack.empty()) {
    const int32_t id = s.stack.back();
    s.stack.pop_back();
    const Frame& frame = scene.At(id);
    if (frame.traversal == kTraversalHidden) continue;
    for (auto child = frame.children.rbegin(); child != frame.children.rend(); ++child) s.stack.push_back(*child);
    const bool hasLight = frame.light != kNone && static_cast<size_t>(frame.light) < scene.LightCount();
    if (!hasLight && frame.meshes.empty() && !frame.decal) continue;

    const glm::mat4 modelView = view * scene.WorldMatrix(id);
    if (hasLight) {
      const Light& light = scene.LightAt(frame.light);
      if (light.type == kLightAmbient) {
        ambient += light.colour;
      } else if (s.lights.count < kMaxLights) {  // lights beyond the shader's slots are ignored
        const int slot = s.lights.count++;
        const glm::vec3 origin(modelView[3]);
        glm::vec3 direction = glm::mat3(modelView) * glm::vec3(0.0f, 0.0f, 1.0f);
        const float length = glm::length(direction);
        direction = length > 0.0f ? direction / length : glm::vec3(0.0f, 0.0f, 1.0f);
        s.lights.colour[slot] = light.colour;
        s.lights.position[slot] = origin;
        switch (light.type) {
          case kLightDirectional:
            s.lights.kind[slot] = kKindFixed;
            s.lights.vector[slot] = -direction;
            s.lights.shape[slot] = glm::vec4(1.0f, 0.0f, 0.0f, 0.0f);
            break;
          case kLightParallelPoint:
            s.lights.kind[slot] = kKindFixed;
            s.parallel.push_back(ParallelLight{slot, origin, light.linear, light.range});
            break;
          case kLightSpot:
            s.lights.kind[slot] = kKindSpot;
            s.lights.vector[slot] = direction;
            s.lights.shape[slot] = glm::vec4(light.linear, light.range, light.umbra * 0.5f, light.penumbra * 0.5f);
            break;
          default:
            s.lights.kind[slot] = kKindPoint;
            s.lights.shape[slot] = glm::vec4(light.linear, light.range, 0.0f, 0.0f);
            break;
        }
      }
    }
    const float depth = modelView[3].z;
    for (const MeshBuilder* mesh : frame.meshes) {
      if (mesh != nullptr && mesh->FaceCount() > 0) s.items.push_back(DrawItem{mesh, nullptr, modelView, depth});
    }
    if (frame.decal && frame.decal->picture != nullptr) {
      s.items.push_back(DrawItem{nullptr, &*frame.decal, modelView, depth});
    }
  }

  const auto farFirst = [](const DrawItem& a, const DrawItem& b) { return a.depth > b.depth; };
  if (settings.sortMode == kSortBackToFront) std::stable_sort(s.items.begin(), s.items.end(), farFirst);

  const int bottom = s.frameHeight - viewport.y - viewport.height;
  glViewport(viewport.x, bottom, viewport.width, viewport.height);
  glEnable(GL_SCISSOR_TEST);
  glScissor(viewport.x, bottom, viewport.width, viewport.height);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDepthMask(GL_TRUE);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glDisable(GL_BLEND);
  glActiveTexture(GL_TEXTURE0);

  // The programs take these when first used in this call.
  ++s.pass;
  s.current = -1;
  s.projection = viewport.Projection();
  s.ambient = ambient;
  s.settings = settings;

  // Every object's matrices go up in one buffer; consecutive copies of a mesh then draw as one
  // instanced call, the translucent ones after the opaque, back to front by object.
  s.instances.clear();
  s.runs.clear();
  for (const DrawItem& item : s.items) {
    if (item.mesh != nullptr) {
      const MeshObject& object = s.Upload(*item.mesh);
      if (object.translucentIndices > 0) s.translucent.push_back(item);
      if (object.opaqueIndices == 0) continue;
    }
    s.AddToRuns(item, false);
  }
  std::stable_sort(s.translucent.begin(), s.translucent.end(), farFirst);
  for (const DrawItem& item : s.translucent) s.AddToRuns(item, true);
  glBindBuffer(GL_ARRAY_BUFFER, s.instanceBuffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(s.instances.size() * sizeof(InstanceData)),
               s.instances.data(), GL_STREAM_DRAW);

  bool blending = false;
  for (const DrawRun& run : s.runs) {
    if (run.translucentPass && !blending) {
      blending = true;
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      glDepthMask(GL_FALSE);
    }
    if (run.item->mesh != nullptr) {
      s.DrawMeshRun(run);
    } else {
      s.DrawDecalRun(run);
    }
  }
  if (blending) {
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
  }

  // Presenting blits and clears through the same state: leave none of ours switched on.
  glFrontFace(GL_CCW);
  glDisable(GL_SCISSOR_TEST);
  glBindVertexArray(0);
  // Hands the pass to GL now: a rasteriser working beside this thread starts on it while the next
  // pass is built.
  glFlush();
}

void Renderer::Forget(const MeshBuilder* mesh) {
  State& s = *state_;
  const auto found = s.meshes.find(mesh);
  if (found == s.meshes.end()) return;
  s.DeleteMesh(&found->second);
  s.meshes.erase(found);
}

void Renderer::Forget(const Picture* picture) {
  State& s = *state_;
  const auto found = s.textures.find(picture);
  if (found == s.textures.end()) return;
  s.DeleteTexture(&found->second.texture);
  s.textures.erase(found);
}

void Renderer::ReleaseAll() {
  State& s = *state_;
  for (auto& [mesh, object] : s.meshes) s.DeleteMesh(&object);
  s.meshes.clear();
  for (auto& [picture, object] : s.textures) s.DeleteTexture(&object.texture);
  s.textures.clear();
}

size_t Renderer::LiveObjects() const { return state_->live; }

void Renderer::Finish() {
  if (state_->open) glFinish();
}

}  // namespace scene
}  // namespace engine

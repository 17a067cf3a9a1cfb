// Model files through Assimp: runs the importer, in a child process, with the file's own handedness
// and copies its scene into the plain structures of model_import.h. Calls Assimp and POSIX.
#include "platform/model_import.h"

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

namespace platform {

namespace {

// Assimp's .x reader turns the file into right-handed space itself (mirroring z and reversing
// every face) and flips v. Those three steps are their own inverses, so running them once more as
// post-processing gives back the file's own coordinates, winding and texture coordinates.
// Polygons are cut into triangles here rather than by Assimp's step, which stops the process on an
// assertion for some damaged meshes.
// A file that keeps the importer busy this long is given up: damaged compressed files can make it
// allocate and clear gigabytes for most of a minute before it refuses them.
constexpr int kImportTimeoutMs = 15000;

constexpr unsigned kImportFlags =
    aiProcess_MakeLeftHanded | aiProcess_FlipWindingOrder | aiProcess_FlipUVs | aiProcess_ValidateDataStructure;

void CopyMatrix(const aiMatrix4x4& m, float* out) {
  for (int column = 0; column < 4; ++column) {
    for (int row = 0; row < 4; ++row) out[column * 4 + row] = m[row][column];
  }
}

void CopyNodes(const aiNode* node, int32_t parent, ImportedModel* model) {
  // Iterative, so a deeply nested file cannot exhaust the stack.
  std::vector<std::pair<const aiNode*, int32_t>> pending{{node, parent}};
  while (!pending.empty()) {
    const auto [current, parentIndex] = pending.back();
    pending.pop_back();
    const int32_t index = static_cast<int32_t>(model->nodes.size());
    ImportedNode& copy = model->nodes.emplace_back();
    copy.name.assign(current->mName.C_Str(), current->mName.length);
    copy.parent = parentIndex;
    CopyMatrix(current->mTransformation, copy.transform);
    for (unsigned i = 0; i < current->mNumMeshes; ++i) copy.meshes.push_back(current->mMeshes[i]);
    // Pushed in reverse so that children keep the file's order.
    for (unsigned i = current->mNumChildren; i-- > 0;) {
      if (current->mChildren[i] != nullptr) pending.emplace_back(current->mChildren[i], index);
    }
  }
}

ImportedMesh CopyMesh(const aiMesh& mesh) {
  ImportedMesh copy;
  copy.name.assign(mesh.mName.C_Str(), mesh.mName.length);
  copy.material = mesh.mMaterialIndex;
  const unsigned count = mesh.mNumVertices;
  copy.positions.reserve(size_t{count} * 3);
  for (unsigned i = 0; i < count; ++i) {
    copy.positions.insert(copy.positions.end(), {mesh.mVertices[i].x, mesh.mVertices[i].y, mesh.mVertices[i].z});
  }
  if (mesh.mNormals != nullptr) {
    copy.normals.reserve(size_t{count} * 3);
    for (unsigned i = 0; i < count; ++i) {
      copy.normals.insert(copy.normals.end(), {mesh.mNormals[i].x, mesh.mNormals[i].y, mesh.mNormals[i].z});
    }
  }
  if (mesh.mColors[0] != nullptr) {
    copy.colours.reserve(size_t{count} * 4);
    for (unsigned i = 0; i < count; ++i) {
      const aiColor4D& c = mesh.mColors[0][i];
      copy.colours.insert(copy.colours.end(), {c.r, c.g, c.b, c.a});
    }
  }
  if (mesh.mTextureCoords[0] != nullptr) {
    copy.uvs.reserve(size_t{count} * 2);
    for (unsigned i = 0; i < count; ++i) {
      copy.uvs.insert(copy.uvs.end(), {mesh.mTextureCoords[0][i].x, mesh.mTextureCoords[0][i].y});
    }
  }
  copy.triangles.reserve(size_t{mesh.mNumFaces} * 3);
  for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
    const aiFace& face = mesh.mFaces[f];
    if (face.mIndices == nullptr || face.mNumIndices < 3) continue;  // points and lines
    bool inside = true;
    for (unsigned k = 0; k < face.mNumIndices; ++k) inside = inside && face.mIndices[k] < count;
    if (!inside) continue;
    // A fan from the first corner: the faces of these files are convex, and every triangle keeps
    // the polygon's winding.
    for (unsigned k = 1; k + 1 < face.mNumIndices; ++k) {
      copy.triangles.insert(copy.triangles.end(), {face.mIndices[0], face.mIndices[k], face.mIndices[k + 1]});
    }
  }
  return copy;
}

ImportedMaterial CopyMaterial(const aiMaterial& material) {
  ImportedMaterial copy;
  aiColor4D diffuse;
  if (material.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == aiReturn_SUCCESS) {
    copy.diffuse[0] = diffuse.r;
    copy.diffuse[1] = diffuse.g;
    copy.diffuse[2] = diffuse.b;
    copy.diffuse[3] = diffuse.a;
  }
  aiString texture;
  if (material.GetTexture(aiTextureType_DIFFUSE, 0, &texture) == aiReturn_SUCCESS) {
    copy.texture.assign(texture.C_Str(), texture.length);
  }
  float power = 0.0f;
  if (material.Get(AI_MATKEY_SHININESS, power) == aiReturn_SUCCESS) copy.specularPower = power;
  return copy;
}

ImportedAnimation CopyAnimation(const aiAnimation& animation) {
  ImportedAnimation copy;
  copy.name.assign(animation.mName.C_Str(), animation.mName.length);
  copy.duration = animation.mDuration;
  copy.ticksPerSecond = animation.mTicksPerSecond;
  for (unsigned c = 0; c < animation.mNumChannels; ++c) {
    const aiNodeAnim* channel = animation.mChannels[c];
    if (channel == nullptr) continue;
    ImportedChannel& out = copy.channels.emplace_back();
    out.node.assign(channel->mNodeName.C_Str(), channel->mNodeName.length);
    for (unsigned k = 0; k < channel->mNumPositionKeys; ++k) {
      const aiVectorKey& key = channel->mPositionKeys[k];
      out.positions.push_back({key.mTime, {key.mValue.x, key.mValue.y, key.mValue.z}});
    }
    for (unsigned k = 0; k < channel->mNumRotationKeys; ++k) {
      const aiQuatKey& key = channel->mRotationKeys[k];
      out.rotations.push_back({key.mTime, {key.mValue.w, key.mValue.x, key.mValue.y, key.mValue.z}});
    }
    for (unsigned k = 0; k < channel->mNumScalingKeys; ++k) {
      const aiVectorKey& key = channel->mScalingKeys[k];
      out.scales.push_back({key.mTime, {key.mValue.x, key.mValue.y, key.mValue.z}});
    }
  }
  return copy;
}

bool ImportInThisProcess(const std::string& path, ImportedModel* out, std::string* error) {
  *out = ImportedModel{};
  error->clear();
  // No logger is ever created, so Assimp's messages go to its null logger; only the error text
  // of a refused file is kept.
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(path, kImportFlags);
  if (scene == nullptr) {
    *error = importer.GetErrorString();
    if (error->empty()) *error = "the model file could not be read";
    return false;
  }
  if (scene->mRootNode == nullptr || scene->mNumMeshes == 0 || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0) {
    *error = "the model file holds no mesh";
    return false;
  }
  ImportedModel model;
  CopyNodes(scene->mRootNode, -1, &model);
  size_t triangles = 0;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    model.meshes.push_back(scene->mMeshes[m] != nullptr ? CopyMesh(*scene->mMeshes[m]) : ImportedMesh{});
    triangles += model.meshes.back().triangles.size();
  }
  if (triangles == 0) {
    *error = "the model file holds no triangle";
    return false;
  }
  for (unsigned m = 0; m < scene->mNumMaterials; ++m) {
    model.materials.push_back(scene->mMaterials[m] != nullptr ? CopyMaterial(*scene->mMaterials[m])
                                                              : ImportedMaterial{});
  }
  if (model.materials.empty()) model.materials.emplace_back();
  // Indices into the tables are checked here once, so that no user has to.
  for (ImportedMesh& mesh : model.meshes) {
    if (mesh.material >= model.materials.size()) mesh.material = 0;
  }
  for (ImportedNode& node : model.nodes) {
    std::erase_if(node.meshes, [&](uint32_t mesh) { return mesh >= model.meshes.size(); });
  }
  for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
    if (scene->mAnimations[a] != nullptr) model.animations.push_back(CopyAnimation(*scene->mAnimations[a]));
  }
  *out = std::move(model);
  return true;
}

// [SECTION] The model's bytes between the importing child and its parent

class Writer {
 public:
  void U32(uint32_t value) { Raw(&value, sizeof value); }
  void F64(double value) { Raw(&value, sizeof value); }
  void Text(const std::string& text) {
    U32(static_cast<uint32_t>(text.size()));
    Raw(text.data(), text.size());
  }
  template <typename T>
  void List(const std::vector<T>& values) {
    U32(static_cast<uint32_t>(values.size()));
    Raw(values.data(), values.size() * sizeof(T));
  }
  void Raw(const void* data, size_t size) { bytes.append(static_cast<const char*>(data), size); }
  std::string bytes;
};

// Reads what Writer wrote; every count is checked against the bytes left, so a short message
// fails instead of reading past its end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool U32(uint32_t* value) { return Raw(value, sizeof *value); }
  bool F64(double* value) { return Raw(value, sizeof *value); }
  bool Text(std::string* text) {
    uint32_t size = 0;
    if (!U32(&size) || size > bytes_.size() - at_) return false;
    text->assign(bytes_.data() + at_, size);
    at_ += size;
    return true;
  }
  template <typename T>
  bool List(std::vector<T>* values) {
    uint32_t count = 0;
    if (!U32(&count) || count > (bytes_.size() - at_) / sizeof(T)) return false;
    values->resize(count);
    return Raw(values->data(), size_t{count} * sizeof(T));
  }
  bool Raw(void* data, size_t size) {
    if (size > bytes_.size() - at_) return false;
    if (size > 0) std::memcpy(data, bytes_.data() + at_, size);
    at_ += size;
    return true;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

std::string Serialise(const ImportedModel& model) {
  Writer w;
  w.U32(static_cast<uint32_t>(model.nodes.size()));
  for (const ImportedNode& node : model.nodes) {
    w.Text(node.name);
    w.U32(static_cast<uint32_t>(node.parent));
    w.Raw(node.transform, sizeof node.transform);
    w.List(node.meshes);
  }
  w.U32(static_cast<uint32_t>(model.meshes.size()));
  for (const ImportedMesh& mesh : model.meshes) {
    w.Text(mesh.name);
    w.List(mesh.positions);
    w.List(mesh.normals);
    w.List(mesh.colours);
    w.List(mesh.uvs);
    w.List(mesh.triangles);
    w.U32(mesh.material);
  }
  w.U32(static_cast<uint32_t>(model.materials.size()));
  for (const ImportedMaterial& material : model.materials) {
    w.Raw(material.diffuse, sizeof material.diffuse);
    w.Text(material.texture);
    w.Raw(&material.specularPower, sizeof material.specularPower);
  }
  w.U32(static_cast<uint32_t>(model.animations.size()));
  for (const ImportedAnimation& animation : model.animations) {
    w.Text(animation.name);
    w.F64(animation.duration);
    w.F64(animation.ticksPerSecond);
    w.U32(static_cast<uint32_t>(animation.channels.size()));
    for (const ImportedChannel& channel : animation.channels) {
      w.Text(channel.node);
      w.List(channel.positions);
      w.List(channel.rotations);
      w.List(channel.scales);
    }
  }
  return std::move(w.bytes);
}

// Counts are held to what the remaining bytes could hold before anything is allocated.
bool Deserialise(std::string_view bytes, ImportedModel* model) {
  Reader r(bytes);
  uint32_t count = 0;
  if (!r.U32(&count) || count > bytes.size()) return false;
  model->nodes.resize(count);
  for (ImportedNode& node : model->nodes) {
    uint32_t parent = 0;
    if (!r.Text(&node.name) || !r.U32(&parent) || !r.Raw(node.transform, sizeof node.transform) ||
        !r.List(&node.meshes)) {
      return false;
    }
    node.parent = static_cast<int32_t>(parent);
  }
  if (!r.U32(&count) || count > bytes.size()) return false;
  model->meshes.resize(count);
  for (ImportedMesh& mesh : model->meshes) {
    if (!r.Text(&mesh.name) || !r.List(&mesh.positions) || !r.List(&mesh.normals) || !r.List(&mesh.colours) ||
        !r.List(&mesh.uvs) || !r.List(&mesh.triangles) || !r.U32(&mesh.material)) {
      return false;
    }
  }
  if (!r.U32(&count) || count > bytes.size()) return false;
  model->materials.resize(count);
  for (ImportedMaterial& material : model->materials) {
    if (!r.Raw(material.diffuse, sizeof material.diffuse) || !r.Text(&material.texture) ||
        !r.Raw(&material.specularPower, sizeof material.specularPower)) {
      return false;
    }
  }
  if (!r.U32(&count) || count > bytes.size()) return false;
  model->animations.resize(count);
  for (ImportedAnimation& animation : model->animations) {
    if (!r.Text(&animation.name) || !r.F64(&animation.duration) || !r.F64(&animation.ticksPerSecond) ||
        !r.U32(&count) || count > bytes.size()) {
      return false;
    }
    animation.channels.resize(count);
    for (ImportedChannel& channel : animation.channels) {
      if (!r.Text(&channel.node) || !r.List(&channel.positions) || !r.List(&channel.rotations) ||
          !r.List(&channel.scales)) {
        return false;
      }
    }
  }
  return r.AtEnd();
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

// [SECTION] ImportModelFile

bool ImportModelFile(const std::string& path, ImportedModel* out, std::string* error) {
  *out = ImportedModel{};
  error->clear();
  // Assimp's readers trust the counts and indices of the files they read, and some damaged files
  // crash them. The import runs in a child process, which hands the plain model back through a
  // pipe: a crash there is a refused file here.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::string("cannot start the model importer: ") + std::strerror(errno);
    return false;
  }
  const pid_t child = fork();
  if (child < 0) {
    *error = std::string("cannot start the model importer: ") + std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    close(fds[0]);
    ImportedModel model;
    std::string message;
    const bool imported = ImportInThisProcess(path, &model, &message);
    const bool sent = WriteAll(fds[1], imported ? "1" + Serialise(model) : "0" + message);
    // _exit: the parent's exit handlers and buffered output are not the child's to run.
    _exit(sent ? 0 : 1);
  }
  close(fds[1]);
  std::string reply;
  bool timedOut = false;
  char buffer[65536];
  for (;;) {
    pollfd wait{fds[0], POLLIN, 0};
    const int ready = poll(&wait, 1, kImportTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timedOut = true;
      break;
    }
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    reply.append(buffer, static_cast<size_t>(got));
  }
  close(fds[0]);
  if (timedOut) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut) {
    *error = "the model importer did not finish reading the file";
    return false;
  }
  if (WIFSIGNALED(status)) {
    *error = "the model importer crashed on the file (signal " + std::to_string(WTERMSIG(status)) + ")";
    return false;
  }
  if (reply.empty() || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "the model importer failed on the file without an answer";
    return false;
  }
  if (reply[0] == '0') {
    *error = reply.substr(1);
    return false;
  }
  ImportedModel model;
  if (!Deserialise(std::string_view(reply).substr(1), &model)) {
    *error = "the model importer's answer is damaged";
    return false;
  }
  *out = std::move(model);
  return true;
}

bool ModelImportCache::Import(const std::string& path, ImportedModel* out, std::string* error) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return ImportModelFile(path, out, error);
  const int64_t modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  const auto found = entries_.find(path);
  if (found != entries_.end() && found->second.size == info.st_size && found->second.modified == modified) {
    error->clear();
    *out = found->second.model;
    return true;
  }
  if (!ImportModelFile(path, out, error)) {
    if (found != entries_.end()) entries_.erase(found);
    return false;
  }
  entries_[path] = Entry{static_cast<int64_t>(info.st_size), modified, *out};
  return true;
}

}  // namespace platform

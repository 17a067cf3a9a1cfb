// Model files through Assimp: runs the importer with the file's own handedness and copies its scene
// into the plain structures of model_import.h. Calls Assimp.
#include "platform/model_import.h"

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <utility>

namespace platform {

namespace {

// Assimp's .x reader turns the file into right-handed space itself (mirroring z and reversing
// every face) and flips v. Those three steps are their own inverses, so running them once more as
// post-processing gives back the file's own coordinates, winding and texture coordinates.
// Polygons are cut into triangles here rather than by Assimp's step, which stops the process on an
// assertion for some damaged meshes.
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

}  // namespace

bool ImportModelFile(const std::string& path, ImportedModel* out, std::string* error) {
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

}  // namespace platform

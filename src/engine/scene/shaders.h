// The renderer's GLSL 330 core sources: the mesh program (per-vertex lighting, texture, fog). Text
// only; the renderer compiles them.
#pragma once

namespace engine {
namespace scene {

// Lights reach the shader in view space. Kind 0 has a fixed vector towards the light and a fixed
// attenuation in shape.x (directional and parallel-point lights, worked out on the CPU); kind 1 is
// a point light, kind 2 a spot. Shape: linear, range, umbra / 2, penumbra / 2 (radians).
inline constexpr int kShaderMaxLights = 8;

// Each program is built from these bodies behind "#version 330 core" and the defines of its
// variant: FOG (linear fog), DROP_BLACK (texels of colour (0, 0, 0) are not drawn) and SPECULAR
// (metal highlights). A variant without a feature leaves its work out altogether, which a
// software rasteriser would otherwise do for every pixel. The object transforms come as instanced
// attributes (locations 4 to 10), so that copies of one mesh are drawn by one call.
inline constexpr const char* kMeshVertexShader = R"(
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColour;
layout(location = 3) in vec2 aUv;
// Per object (one per instance): model to view space, and its inverse transpose for normals.
layout(location = 4) in mat4 aModelView;
layout(location = 8) in mat3 aNormalMatrix;

uniform mat4 uProjection;
uniform int uLit;
uniform int uChrome;
uniform vec3 uAmbient;
uniform int uLightCount;
uniform int uLightKind[8];
uniform vec3 uLightColour[8];
uniform vec3 uLightPosition[8];
uniform vec3 uLightVector[8];
uniform vec4 uLightShape[8];

out vec4 vColour;
out vec2 vUv;
#ifdef SPECULAR
uniform float uSpecularPower;
out vec3 vSpecular;
#endif
#ifdef FOG
out float vDepth;
#endif

float Attenuation(float linear, float range, float distance) {
  if (distance > range) return 0.0;
  float d = linear * distance;
  return d <= 0.0 ? 1.0 : min(1.0, 1.0 / d);
}

void main() {
  vec4 position = aModelView * vec4(aPosition, 1.0);
  gl_Position = uProjection * position;
#ifdef FOG
  vDepth = position.z;
#endif
  vec3 n = aNormalMatrix * aNormal;
  float length2 = dot(n, n);
  n = length2 > 0.0 ? n * inversesqrt(length2) : n;
  vUv = uChrome != 0 ? vec2(n.x * 0.5 + 0.5, 0.5 - n.y * 0.5) : aUv;
#ifdef SPECULAR
  vSpecular = vec3(0.0);
  vec3 toEye = normalize(-position.xyz);
#endif
  if (uLit == 0) {
    vColour = aColour;
    return;
  }
  vec3 light = uAmbient;
  for (int i = 0; i < uLightCount; ++i) {
    vec3 l;
    float a;
    if (uLightKind[i] == 0) {
      l = uLightVector[i];
      a = uLightShape[i].x;
    } else {
      vec3 offset = uLightPosition[i] - position.xyz;
      float distance = length(offset);
      l = distance > 0.0 ? offset / distance : vec3(0.0);
      a = Attenuation(uLightShape[i].x, uLightShape[i].y, distance);
      if (uLightKind[i] == 2) {
        float angle = acos(clamp(dot(-l, uLightVector[i]), -1.0, 1.0));
        float inner = uLightShape[i].z;
        float outer = uLightShape[i].w;
        if (angle > inner) a *= outer > inner ? clamp((outer - angle) / (outer - inner), 0.0, 1.0) : 0.0;
      }
    }
    float diffuse = max(0.0, dot(n, l));
    light += uLightColour[i] * diffuse * a;
#ifdef SPECULAR
    if (diffuse > 0.0) {
      float highlight = max(0.0, dot(n, normalize(l + toEye)));
      vSpecular += uLightColour[i] * pow(highlight, uSpecularPower) * a;
    }
#endif
  }
  vColour = vec4(aColour.rgb * min(light, vec3(1.0)), aColour.a);
}
)";

inline constexpr const char* kMeshFragmentShader = R"(
in vec4 vColour;
in vec2 vUv;
#ifdef SPECULAR
in vec3 vSpecular;
#endif
#ifdef FOG
in float vDepth;
uniform vec3 uFogColour;
uniform float uFogStart;
uniform float uFogEnd;
#endif
uniform sampler2D uTexture;

out vec4 fragColour;

void main() {
  vec4 texel = texture(uTexture, vUv);
#ifdef DROP_BLACK
  if (max(texel.r, max(texel.g, texel.b)) < 0.5 / 255.0) discard;
#endif
  vec4 colour = vColour * texel;
#ifdef SPECULAR
  colour.rgb = min(colour.rgb + vSpecular, vec3(1.0));
#endif
#ifdef FOG
  float f = uFogEnd > uFogStart ? clamp((uFogEnd - vDepth) / (uFogEnd - uFogStart), 0.0, 1.0)
                                : (vDepth < uFogEnd ? 1.0 : 0.0);
  colour.rgb = mix(uFogColour, colour.rgb, f);
#endif
  fragColour = colour;
}
)";

}  // namespace scene
}  // namespace engine

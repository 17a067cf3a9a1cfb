// AVI files written by tests: one uncompressed video stream of 24-bit bottom-up rows, with its
// index, as a capture program writes it. Frame n's pixels come from a function of (n, x, y).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace testing_support {

struct Rgb8 {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb8&) const = default;
};

namespace avi_detail {

inline void Le(std::string* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

inline std::string Chunk(const std::string& id, const std::string& body) {
  std::string out = id;
  Le(&out, static_cast<uint32_t>(body.size()), 4);
  out += body;
  if (body.size() % 2 != 0) out.push_back('\0');
  return out;
}

inline std::string List(const std::string& type, const std::string& body) {
  return Chunk("LIST", type + body);
}

}  // namespace avi_detail

// `frames` frames of width x height at `fps` frames a second.
inline std::string RawAvi(int width, int height, int fps, int frames,
                          const std::function<Rgb8(int frame, int x, int y)>& pixel) {
  using avi_detail::Chunk;
  using avi_detail::Le;
  using avi_detail::List;
  const uint32_t pitch = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t frameBytes = pitch * static_cast<uint32_t>(height);

  std::string avih;
  Le(&avih, 1000000u / static_cast<uint32_t>(fps), 4);  // microseconds a frame
  Le(&avih, frameBytes * static_cast<uint32_t>(fps), 4);
  Le(&avih, 0, 4);
  Le(&avih, 0x10, 4);  // has an index
  Le(&avih, static_cast<uint32_t>(frames), 4);
  Le(&avih, 0, 4);
  Le(&avih, 1, 4);  // streams
  Le(&avih, frameBytes, 4);
  Le(&avih, static_cast<uint32_t>(width), 4);
  Le(&avih, static_cast<uint32_t>(height), 4);
  avih.append(16, '\0');

  std::string strh = "vids";
  strh += "DIB ";
  Le(&strh, 0, 4);   // flags
  Le(&strh, 0, 4);   // priority, language
  Le(&strh, 0, 4);   // initial frames
  Le(&strh, 1, 4);   // scale
  Le(&strh, static_cast<uint32_t>(fps), 4);  // rate: fps / 1
  Le(&strh, 0, 4);   // start
  Le(&strh, static_cast<uint32_t>(frames), 4);
  Le(&strh, frameBytes, 4);
  Le(&strh, 0xFFFFFFFFu, 4);  // quality
  Le(&strh, 0, 4);            // sample size
  Le(&strh, 0, 4);
  Le(&strh, static_cast<uint32_t>(width) | static_cast<uint32_t>(height) << 16, 4);

  std::string strf;  // BITMAPINFOHEADER: a positive height is bottom-up
  Le(&strf, 40, 4);
  Le(&strf, static_cast<uint32_t>(width), 4);
  Le(&strf, static_cast<uint32_t>(height), 4);
  Le(&strf, 1, 2);
  Le(&strf, 24, 2);
  Le(&strf, 0, 4);  // no compression
  Le(&strf, frameBytes, 4);
  strf.append(16, '\0');

  const std::string hdrl = List("hdrl", Chunk("avih", avih) + List("strl", Chunk("strh", strh) + Chunk("strf", strf)));

  std::string movi;
  std::string index;
  for (int n = 0; n < frames; ++n) {
    std::string rows;
    for (int y = height - 1; y >= 0; --y) {
      for (int x = 0; x < width; ++x) {
        const Rgb8 p = pixel(n, x, y);
        rows.push_back(static_cast<char>(p.b));
        rows.push_back(static_cast<char>(p.g));
        rows.push_back(static_cast<char>(p.r));
      }
      rows.append(pitch - static_cast<uint32_t>(width) * 3, '\0');
    }
    index += "00db";
    Le(&index, 0x10, 4);  // key frame
    Le(&index, static_cast<uint32_t>(4 + movi.size()), 4);  // from the "movi" tag
    Le(&index, frameBytes, 4);
    movi += Chunk("00db", rows);
  }
  const std::string body = "AVI " + hdrl + List("movi", movi) + Chunk("idx1", index);
  return Chunk("RIFF", body);
}

}  // namespace testing_support

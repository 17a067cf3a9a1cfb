// The null audio, network transport and video back ends. Calls only the C++ library.
#include <algorithm>
#include <cstdio>

#include "platform/null.h"

namespace platform {
namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Numbers(Vec3 v) { return Number(v.x) + " " + Number(v.y) + " " + Number(v.z); }

}  // namespace

// [SECTION] Audio

bool NullAudio::Open(int sampleRate, std::string* error) {
  log.Add("Open " + std::to_string(sampleRate));
  Close();
  if (!deviceAvailable || sampleRate <= 0) {
    *error = "no sound device";
    return false;
  }
  sampleRate_ = sampleRate;
  listener_ = Listener{};
  return true;
}

void NullAudio::Close() {
  if (sampleRate_ == 0) return;
  log.Add("Close");
  sampleRate_ = 0;
  sources_.clear();
  buffers_.clear();
}

AudioBuffer NullAudio::CreateBuffer(const PcmFormat& format, const void* data, size_t bytes) {
  const bool valid = IsOpen() && format.sampleRate > 0 && (format.bitsPerSample == 8 || format.bitsPerSample == 16) &&
                     (format.channels == 1 || format.channels == 2) && data != nullptr && bytes > 0 &&
                     bytes % static_cast<size_t>(format.bitsPerSample / 8 * format.channels) == 0;
  const AudioBuffer buffer = valid ? nextHandle_++ : 0;
  if (valid) buffers_[buffer] = Buffer{format, bytes};
  log.Add("CreateBuffer " + std::to_string(buffer) + " " + std::to_string(format.sampleRate) + " " +
          std::to_string(format.bitsPerSample) + " " + std::to_string(format.channels) + " " + std::to_string(bytes));
  return buffer;
}

void NullAudio::DeleteBuffer(AudioBuffer buffer) {
  log.Add("DeleteBuffer " + std::to_string(buffer));
  if (buffers_.erase(buffer) == 0) return;
  for (auto& [handle, source] : sources_) {
    if (source.buffer != buffer) continue;
    source.playing = false;
    source.buffer = 0;
  }
}

AudioSource NullAudio::CreateSource() {
  if (!IsOpen()) {
    log.Add("CreateSource 0");
    return 0;
  }
  const AudioSource source = nextHandle_++;
  sources_[source] = Source{};
  log.Add("CreateSource " + std::to_string(source));
  return source;
}

void NullAudio::DeleteSource(AudioSource source) {
  log.Add("DeleteSource " + std::to_string(source));
  sources_.erase(source);
}

NullAudio::Source* NullAudio::Live(AudioSource source) {
  const auto found = sources_.find(source);
  return found == sources_.end() ? nullptr : &found->second;
}

void NullAudio::SetBuffer(AudioSource source, AudioBuffer buffer) {
  log.Add("SetBuffer " + std::to_string(source) + " " + std::to_string(buffer));
  Source* s = Live(source);
  if (s == nullptr || (buffer != 0 && buffers_.count(buffer) == 0)) return;
  s->playing = false;
  s->buffer = buffer;
}

void NullAudio::SetPosition(AudioSource source, Vec3 position) {
  log.Add("SetPosition " + std::to_string(source) + " " + Numbers(position));
  if (Source* s = Live(source)) s->position = position;
}

void NullAudio::SetVelocity(AudioSource source, Vec3 velocity) {
  log.Add("SetVelocity " + std::to_string(source) + " " + Numbers(velocity));
  if (Source* s = Live(source)) s->velocity = velocity;
}

void NullAudio::SetGain(AudioSource source, float gain) {
  log.Add("SetGain " + std::to_string(source) + " " + Number(gain));
  if (Source* s = Live(source); s != nullptr && gain >= 0) s->gain = gain;
}

void NullAudio::SetPitch(AudioSource source, float pitch) {
  log.Add("SetPitch " + std::to_string(source) + " " + Number(pitch));
  if (Source* s = Live(source); s != nullptr && pitch > 0) s->pitch = pitch;
}

void NullAudio::SetLooping(AudioSource source, bool looping) {
  log.Add("SetLooping " + std::to_string(source) + (looping ? " 1" : " 0"));
  if (Source* s = Live(source)) s->looping = looping;
}

void NullAudio::SetDistances(AudioSource source, float minimum, float maximum) {
  log.Add("SetDistances " + std::to_string(source) + " " + Number(minimum) + " " + Number(maximum));
  Source* s = Live(source);
  if (s == nullptr || !(minimum > 0) || !(maximum >= minimum)) return;
  s->minDistance = minimum;
  s->maxDistance = maximum;
}

void NullAudio::SetRelative(AudioSource source, bool relative) {
  log.Add("SetRelative " + std::to_string(source) + (relative ? " 1" : " 0"));
  if (Source* s = Live(source)) s->relative = relative;
}

void NullAudio::Play(AudioSource source) {
  log.Add("Play " + std::to_string(source));
  // A source without a buffer has nothing to play and stays stopped.
  if (Source* s = Live(source)) s->playing = s->buffer != 0;
}

void NullAudio::Stop(AudioSource source) {
  log.Add("Stop " + std::to_string(source));
  if (Source* s = Live(source)) s->playing = false;
}

bool NullAudio::IsPlaying(AudioSource source) const {
  const Source* s = FindSource(source);
  return s != nullptr && s->playing;
}

void NullAudio::SetListener(Vec3 position, Vec3 velocity, Vec3 forward, Vec3 up) {
  log.Add("SetListener " + Numbers(position) + " " + Numbers(velocity) + " " + Numbers(forward) + " " + Numbers(up));
  if (!IsOpen()) return;
  listener_.position = position;
  listener_.velocity = velocity;
  listener_.forward = forward;
  listener_.up = up;
}

void NullAudio::SetMasterGain(float gain) {
  log.Add("SetMasterGain " + Number(gain));
  if (IsOpen() && gain >= 0) listener_.gain = gain;
}

void NullAudio::SetDopplerFactor(float factor) {
  log.Add("SetDopplerFactor " + Number(factor));
  if (IsOpen() && factor >= 0) listener_.doppler = factor;
}

void NullAudio::SetRolloffFactor(float factor) {
  log.Add("SetRolloffFactor " + Number(factor));
  if (IsOpen() && factor >= 0) listener_.rolloff = factor;
}

void NullAudio::Defer() { log.Add("Defer"); }
void NullAudio::Commit() { log.Add("Commit"); }

void NullAudio::Finish(AudioSource source) {
  if (Source* s = Live(source); s != nullptr && !s->looping) s->playing = false;
}

const NullAudio::Buffer* NullAudio::FindBuffer(AudioBuffer buffer) const {
  const auto found = buffers_.find(buffer);
  return found == buffers_.end() ? nullptr : &found->second;
}

const NullAudio::Source* NullAudio::FindSource(AudioSource source) const {
  const auto found = sources_.find(source);
  return found == sources_.end() ? nullptr : &found->second;
}

// [SECTION] Network transport

bool NullTransport::Host(const std::string& session, uint16_t port, int maxPeers, std::string* error) {
  log.Add("Host " + session + " " + std::to_string(port) + " " + std::to_string(maxPeers));
  Leave();
  if (session.empty() || port == 0 || maxPeers < 1) {
    *error = "a session needs a name, a port and room for one peer";
    return false;
  }
  local_ = kHostPeer;
  return true;
}

bool NullTransport::Join(const std::string& session, const std::string& address, uint16_t port, std::string* error) {
  log.Add("Join " + session + " " + (address.empty() ? "*" : address) + " " + std::to_string(port));
  Leave();
  if (session.empty() || port == 0) {
    *error = "a session needs a name and a port";
    return false;
  }
  local_ = kJoinedPeer;
  return true;
}

void NullTransport::Leave() {
  if (local_ == 0) return;
  log.Add("Leave");
  local_ = 0;
  peers_.clear();
  incoming_.clear();
}

bool NullTransport::Send(PeerId peer, Delivery delivery, const void* data, size_t bytes) {
  log.Add("Send " + std::to_string(peer) + (delivery == Delivery::kReliable ? " reliable " : " unreliable ") +
          std::to_string(bytes));
  const bool known = peer == kAllPeers || std::find(peers_.begin(), peers_.end(), peer) != peers_.end();
  if (local_ == 0 || !known || data == nullptr || bytes == 0) return false;
  const auto* first = static_cast<const uint8_t*>(data);
  sent_.push_back(Sent{peer, delivery, std::vector<uint8_t>(first, first + bytes)});
  return true;
}

void NullTransport::Poll(std::vector<TransportEvent>* out) {
  if (incoming_.empty()) return;
  log.Add("Poll " + std::to_string(incoming_.size()));
  while (!incoming_.empty()) {
    TransportEvent& e = incoming_.front();
    const auto known = std::find(peers_.begin(), peers_.end(), e.peer);
    if (e.kind == TransportEvent::Kind::kConnected && known == peers_.end()) peers_.push_back(e.peer);
    if (e.kind == TransportEvent::Kind::kDisconnected && known != peers_.end()) peers_.erase(known);
    out->push_back(std::move(e));
    incoming_.pop_front();
  }
}

void NullTransport::Receive(TransportEvent event) { incoming_.push_back(std::move(event)); }

// [SECTION] Video

bool NullVideo::Open(const std::string& path, std::string* error) {
  log.Add("Open " + path);
  open_ = false;
  if (clip.width <= 0 || clip.height <= 0) {
    *error = path + ": no video decoder";
    return false;
  }
  open_ = true;
  atEnd_ = false;
  next_ = 0;
  return true;
}

void NullVideo::Close() {
  if (!open_) return;
  log.Add("Close");
  open_ = false;
}

bool NullVideo::DecodeFrame(std::vector<uint8_t>* rgb) {
  if (!open_ || atEnd_) return false;
  if (next_ >= clip.frames) {
    log.Add("Decode end");
    atEnd_ = true;
    return false;
  }
  log.Add("Decode " + std::to_string(next_));
  rgb->assign(static_cast<size_t>(clip.width) * static_cast<size_t>(clip.height) * 3, static_cast<uint8_t>(next_ % 256));
  ++next_;
  return true;
}

}  // namespace platform

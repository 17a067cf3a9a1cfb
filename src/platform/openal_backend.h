// The OpenAL Soft back end of the audio service, made by the platform factory. Nothing outside
// src/platform/ includes this; the OpenAL headers stay inside openal_audio.cpp.
#pragma once

#include <memory>

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/options.h"

namespace platform {

// How the back end reaches OpenAL Soft, decided by the options before the library's first call
// (it reads its environment and configuration only then, once per process):
// - with options.audioOutPath on the virtual clock: a loopback device mixed as the clock moves
//   (sampleRate / 4500 frames per clock unit), written to that file as 16-bit stereo WAV; the
//   file holds every device session of the process back to back, silence between them;
// - with options.audioOutPath on the real clock: the library's "wave" driver, through a
//   configuration file in the temporary folder; the driver writes the file of the last session;
// - headless without it: the library's "null" driver, unless ALSOFT_DRIVERS names one;
// - otherwise the system's default output device.
std::unique_ptr<Audio> MakeOpenAlAudio(const Options& options, Clock* clock);

}  // namespace platform

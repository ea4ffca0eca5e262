#pragma once

namespace vantiro {

// The audio output libmpv should use when VANTIRO_AUDIO_OUTPUT names one (mpv's
// "ao" values, e.g. "null": the test suite runs every window without a sound
// device that way); nullptr for libmpv's own choice.
const char* chosenAudioOutput();

// ALSA's library prints its errors ("cannot find card '0'", "Unknown PCM
// default") on standard error while libmpv probes for a sound device; on a
// machine without one that is noise in the user's terminal. Installs a silent
// error handler in the ALSA library libmpv loaded, if it did.
void silenceAlsaErrors();

}  // namespace vantiro

#include "player/audio_quiet.h"

#include <dlfcn.h>

#include <cstdlib>

namespace vantiro {
namespace {

extern "C" void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using SetAlsaErrorHandler = int (*)(AlsaErrorHandler);

}  // namespace

const char* chosenAudioOutput() {
    const char* output = std::getenv("VANTIRO_AUDIO_OUTPUT");
    return output && *output ? output : nullptr;
}

void silenceAlsaErrors() {
    // Only an ALSA library already in the process (libmpv links it) is touched;
    // none is loaded for this.
    void* alsa = ::dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!alsa) return;
    auto setHandler = reinterpret_cast<SetAlsaErrorHandler>(::dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler) setHandler(&ignoreAlsaError);
    ::dlclose(alsa);
}

}  // namespace vantiro

#pragma once

#include <functional>
#include <string>

namespace platform::gtk {

// OpenAL Soft picks its output once, at the first OpenAL call, and without a sound device
// opening the default output fails. The windowed game therefore decides before that call:
// the default output where a device opens, otherwise the null output (it plays silently).
enum class SoundOutput {
    Default,    // a device opened
    UserChoice, // ALSOFT_DRIVERS was already set; left alone
    Silent,     // no device: ALSOFT_DRIVERS=null
};

// Opens and closes the default output in a short-lived child process, so that this
// process's OpenAL stays untouched. True when a device opened.
bool defaultSoundDeviceOpens();

// Chooses the output (setting ALSOFT_DRIVERS for Silent) and returns the choice. `note`
// receives the one line to tell the player, empty when there is nothing to say.
SoundOutput chooseSoundOutput(std::string* note, const std::function<bool()>& probe = defaultSoundDeviceOpens);

} // namespace platform::gtk

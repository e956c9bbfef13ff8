#include "platform/backend/gtk/SoundOutput.h"

#include <AL/alc.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform::gtk {

bool defaultSoundDeviceOpens()
{
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // OpenAL's own complaints about a missing device are not the player's concern.
        int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        ALCdevice* device = alcOpenDevice(nullptr);
        bool opened = device != nullptr;
        if (device)
            alcCloseDevice(device);
        _exit(opened ? 0 : 1);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

SoundOutput chooseSoundOutput(std::string* note, const std::function<bool()>& probe)
{
    if (note)
        note->clear();
    const char* drivers = std::getenv("ALSOFT_DRIVERS");
    if (drivers && *drivers)
        return SoundOutput::UserChoice;
    if (probe())
        return SoundOutput::Default;
    setenv("ALSOFT_DRIVERS", "null", 1);
    if (note)
        *note = "no sound output device found; playing without sound";
    return SoundOutput::Silent;
}

} // namespace platform::gtk

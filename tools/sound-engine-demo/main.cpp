// sound-engine-demo FILE...: loads each file as a sound effect and plays them one after
// another, each to its end. The engine's own messages appear as it prints them.

#include "sound/OpenALObject.h"
#include "sound/SoundEngine.h"
#include "sound/SoundEngineEffect.h"
#include "sound/SoundEngineInternal.h"

#include <AL/al.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// How long the effect's sample data lasts, from its buffer.
double durationSeconds(ALuint buffer)
{
    ALint size = 0, bits = 0, channels = 0, frequency = 0;
    alGetBufferi(buffer, AL_SIZE, &size);
    alGetBufferi(buffer, AL_BITS, &bits);
    alGetBufferi(buffer, AL_CHANNELS, &channels);
    alGetBufferi(buffer, AL_FREQUENCY, &frequency);
    alGetError();
    if (bits <= 0 || channels <= 0 || frequency <= 0)
        return 0.0;
    return static_cast<double>(size) / (bits / 8 * channels) / frequency;
}

void waitForEnd(SoundEngineEffectID id)
{
    SoundEngineEffect* effect = SoundEngineDeviceObject()->GetEffectMap()->Get(id);
    // The mixer runs in real time; a second of grace covers its latency.
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration<double>(durationSeconds(effect->GetLoopBufferID()) + 1.0);
    for (;;) {
        ALint state = AL_STOPPED;
        alGetSourcei(id, AL_SOURCE_STATE, &state);
        alGetError();
        if (state != AL_PLAYING || std::chrono::steady_clock::now() > deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s FILE...\n"
                     "Loads each audio file (WAV, AIFF, CAF) as a sound effect and plays\n"
                     "them one after another. Without a sound card, run it with\n"
                     "ALSOFT_DRIVERS=null.\n",
                     argv[0]);
        return 2;
    }
    // Everything goes to standard output in the order it happens.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    SoundEngineStatus status = SoundEngine_Initialize(44100.0f);
    if (status != 0) {
        std::printf("initialize status %d\n", status);
        SoundEngineShutDown();
        return 1;
    }

    bool allLoaded = true;
    std::vector<SoundEngineEffectID> loaded;
    for (int i = 1; i < argc; ++i) {
        SoundEngineEffectID id = 0;
        status = SoundEngine_LoadEffect(argv[i], &id);
        std::printf("load %s status %d id %u\n", argv[i], status, id);
        if (status == 0)
            loaded.push_back(id);
        else
            allLoaded = false;
    }

    for (SoundEngineEffectID id : loaded) {
        status = SoundEngine_StartEffect(id);
        std::printf("play %u status %d\n", id, status);
        if (status == 0)
            waitForEnd(id);
    }

    SoundEngineShutDown();
    return allLoaded ? 0 : 1;
}

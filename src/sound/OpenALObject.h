#pragma once

#include "sound/SoundEngine.h"
#include "sound/SoundEngineEffectMap.h"

#include <AL/alc.h>

#include <memory>

// The engine's device object: the OpenAL output device and context, and every loaded
// effect by id.
class OpenALObject final {
public:
    // inMixerOutputRate in Hz; 0.0 leaves the mixer at its own rate.
    explicit OpenALObject(float inMixerOutputRate);
    ~OpenALObject(); // tears down what Teardown has not
    OpenALObject(const OpenALObject&) = delete;
    OpenALObject& operator=(const OpenALObject&) = delete;

    SoundEngineStatus Initialize();
    // Creates one plain effect from the file and registers it under its id.
    SoundEngineStatus LoadEffect(const char* inPath, SoundEngineEffectID* outEffectID);
    // Destroys every effect, the map, the context and the device.
    void Teardown();

    // Pauses the device when none of the effects sounds (ALC_SOFT_pause_device) and lets
    // the context go; returns whether it rests now.
    bool RestOutputIfSilent();
    // Makes the context again and resumes a resting device; returns whether it was resting.
    bool WakeOutput();

    float GetMixerOutputRate() const { return mMixerOutputRate; }
    ALCcontext* GetContext() const { return mContext; }
    ALCdevice* GetDevice() const { return mDevice; }
    SoundEngineEffectMap* GetEffectMap() const { return mEffectMap.get(); }

private:
    void ReleaseContext();
    void RemakeContext();

    float mMixerOutputRate{0.0f};
    ALCint mAttributes[5]{};
    ALCcontext* mContext{nullptr};
    // While resting: no context (OpenAL Soft's keeps mixing state for 256 voices, 8 MB),
    // and what its sources and listener need when it is made again.
    bool mContextReleased{false};
    float mListenerPosition[3]{};
    ALCdevice* mDevice{nullptr};
    std::unique_ptr<SoundEngineEffectMap> mEffectMap;
    bool mResting{false};
};

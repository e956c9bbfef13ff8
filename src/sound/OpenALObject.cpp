#include "sound/OpenALObject.h"

#include "sound/SoundEngineEffect.h"
#include "sound/SoundEngineInternal.h"
#include "sound/SoundEngineMessages.h"

#include <AL/al.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

OpenALObject::OpenALObject(float inMixerOutputRate)
    : mMixerOutputRate{inMixerOutputRate},
      mEffectMap{std::make_unique<SoundEngineEffectMap>()}
{
}

OpenALObject::~OpenALObject()
{
    Teardown();
}

SoundEngineStatus OpenALObject::Initialize()
{
    // Device and context calls report through ALC's error state. (alGetError needs a current
    // context; OpenAL Soft answers AL_INVALID_OPERATION without one, which would fail every
    // first initialisation.) A stale device-less error is dropped so it is not blamed on
    // this open.
    alcGetError(nullptr);
    mDevice = alcOpenDevice(nullptr);
    if (ALCenum error = alcGetError(mDevice); error != ALC_NO_ERROR) {
        SoundEnginePrintHex("Error opening output device", error);
        return error;
    }
    if (!mDevice)
        return kSoundEngineErrDeviceNotFound;

    // No effect sends: the engine uses none, and each of OpenAL Soft's 256 voices would keep
    // mixing buffers for them (about 0.8 MB resident for nothing).
    ALCint* attributes = mAttributes;
    attributes[0] = ALC_MAX_AUXILIARY_SENDS;
    if (mMixerOutputRate != 0.0f) {
        if (auto setRate = SoundEngineMixerOutputRateProc())
            setRate(static_cast<ALdouble>(mMixerOutputRate));
        // The portable way to ask for a rate. One no int holds, or below 1 Hz, is left to
        // the mixer rather than passed on.
        const double rate = std::round(static_cast<double>(mMixerOutputRate));
        if (std::isfinite(rate) && rate >= 1.0 && rate <= static_cast<double>(std::numeric_limits<ALCint>::max())) {
            attributes[2] = ALC_FREQUENCY;
            attributes[3] = static_cast<ALCint>(rate);
        }
    }

    mContext = alcCreateContext(mDevice, attributes);
    ALCenum error = alcGetError(mDevice);
    if (error == ALC_NO_ERROR && !mContext)
        error = ALC_INVALID_CONTEXT;
    if (error != ALC_NO_ERROR) {
        SoundEnginePrintHex("Error creating OpenAL context", error);
        return error;
    }

    alcMakeContextCurrent(mContext);
    if (ALCenum error = alcGetError(mDevice); error != ALC_NO_ERROR) {
        SoundEnginePrintHex("Error setting current OpenAL context", error);
        return error;
    }
    return 0;
}

SoundEngineStatus OpenALObject::LoadEffect(const char* inPath, SoundEngineEffectID* outEffectID)
{
    auto effect = std::make_unique<SoundEngineEffect>(inPath, nullptr, nullptr, false);
    SoundEngineStatus result = effect->AttachFilesToSource();
    if (result != 0)
        return result; // the effect, its source and any buffer go with it
    SoundEngineEffectID id = effect->GetEffectID();
    if (outEffectID)
        *outEffectID = id;
    SoundEngineEffect* registered = effect.release();
    mEffectMap->Add(id, &registered);
    return 0;
}

bool OpenALObject::RestOutputIfSilent()
{
    if (mResting)
        return true;
    if (!mDevice || !mContext || !mEffectMap || !alcIsExtensionPresent(mDevice, "ALC_SOFT_pause_device"))
        return false;
    // The wave-file writer rewinds into its own header on a pause, and a file wakes nobody.
    const ALCchar* name = alcGetString(mDevice, ALC_ALL_DEVICES_SPECIFIER);
    if (name && std::string_view(name) == "Wave File Writer")
        return false;
    for (size_t i = 0; i < mEffectMap->Size(); ++i) {
        SoundEngineEffect* effect = mEffectMap->GetEffectByIndex(i);
        ALint state = AL_STOPPED;
        alGetSourcei(effect->GetEffectID(), AL_SOURCE_STATE, &state);
        // A looping start's thread may not have begun playing yet.
        if (state == AL_PLAYING || effect->RunningPlaybackThreads() > 0)
            return false;
    }
    auto pause = reinterpret_cast<LPALCDEVICEPAUSESOFT>(alcGetProcAddress(mDevice, "alcDevicePauseSOFT"));
    if (!pause)
        return false;
    pause(mDevice);
    mResting = alcGetError(mDevice) == ALC_NO_ERROR;
    if (mResting)
        ReleaseContext();
    return mResting;
}

bool OpenALObject::WakeOutput()
{
    if (!mResting)
        return false;
    mResting = false;
    RemakeContext();
    if (auto resume = reinterpret_cast<LPALCDEVICERESUMESOFT>(alcGetProcAddress(mDevice, "alcDeviceResumeSOFT")))
        resume(mDevice);
    return true;
}

void OpenALObject::ReleaseContext()
{
    // Buffers belong to the device and stay; sources and the listener go with the context.
    alGetListener3f(AL_POSITION, &mListenerPosition[0], &mListenerPosition[1], &mListenerPosition[2]);
    alGetError();
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(mContext);
    alcGetError(mDevice);
    mContext = nullptr;
    mContextReleased = true;
}

void OpenALObject::RemakeContext()
{
    if (!mContextReleased)
        return;
    mContextReleased = false;
    mContext = alcCreateContext(mDevice, mAttributes);
    if (ALCenum error = alcGetError(mDevice); error != ALC_NO_ERROR || !mContext) {
        SoundEnginePrintHex("Error creating OpenAL context", error != ALC_NO_ERROR ? error : ALC_INVALID_CONTEXT);
        return; // effect starts then fail with OpenAL's error, as without a device
    }
    alcMakeContextCurrent(mContext);

    // Effect ids are source names, and a new context names its sources 1, 2, 3...: making as
    // many as the highest id and deleting the unused ones gives every effect its own back.
    ALuint highest = 0;
    for (size_t i = 0; i < mEffectMap->Size(); ++i)
        highest = std::max(highest, mEffectMap->GetEffectByIndex(i)->GetEffectID());
    std::vector<ALuint> made(highest);
    if (highest > 0)
        alGenSources(static_cast<ALsizei>(highest), made.data());
    for (ALuint name : made)
        if (!mEffectMap->Get(name))
            alDeleteSources(1, &name);
    for (size_t i = 0; i < mEffectMap->Size(); ++i) {
        SoundEngineEffect* effect = mEffectMap->GetEffectByIndex(i);
        if (std::find(made.begin(), made.end(), effect->GetEffectID()) == made.end())
            SoundEnginePrintHex("Error making the effect's source again", effect->GetEffectID());
        else if (!effect->IsLooping())
            alSourcei(effect->GetEffectID(), AL_BUFFER, static_cast<ALint>(effect->GetLoopBufferID()));
    }
    alListener3f(AL_POSITION, mListenerPosition[0], mListenerPosition[1], mListenerPosition[2]);
    alGetError();
}

void OpenALObject::Teardown()
{
    // Deleting the effects' buffers needs a context.
    RemakeContext();
    if (mEffectMap) {
        while (!mEffectMap->Empty()) {
            SoundEngineEffect* effect = mEffectMap->GetEffectByIndex(0);
            mEffectMap->Remove(effect->GetEffectID());
            delete effect;
        }
        mEffectMap.reset();
    }
    if (mContext) {
        if (alcGetCurrentContext() == mContext)
            alcMakeContextCurrent(nullptr);
        alcDestroyContext(mContext);
        mContext = nullptr;
    }
    mResting = false;
    mContextReleased = false;
    if (mDevice) {
        alcCloseDevice(mDevice);
        mDevice = nullptr;
    }
}

#include "sound/OpenALObject.h"

#include "sound/SoundEngineEffect.h"
#include "sound/SoundEngineInternal.h"
#include "sound/SoundEngineMessages.h"

#include <AL/al.h>
#include <AL/alext.h>

#include <cmath>
#include <limits>
#include <string_view>

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
    ALCint attributes[5] = {ALC_MAX_AUXILIARY_SENDS, 0, 0, 0, 0};
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
        ALint state = AL_STOPPED;
        alGetSourcei(mEffectMap->GetEffectByIndex(i)->GetEffectID(), AL_SOURCE_STATE, &state);
        if (state == AL_PLAYING)
            return false;
    }
    auto pause = reinterpret_cast<LPALCDEVICEPAUSESOFT>(alcGetProcAddress(mDevice, "alcDevicePauseSOFT"));
    if (!pause)
        return false;
    pause(mDevice);
    mResting = alcGetError(mDevice) == ALC_NO_ERROR;
    return mResting;
}

bool OpenALObject::WakeOutput()
{
    if (!mResting)
        return false;
    mResting = false;
    if (auto resume = reinterpret_cast<LPALCDEVICERESUMESOFT>(alcGetProcAddress(mDevice, "alcDeviceResumeSOFT")))
        resume(mDevice);
    return true;
}

void OpenALObject::Teardown()
{
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
    if (mDevice) {
        alcCloseDevice(mDevice);
        mDevice = nullptr;
    }
}

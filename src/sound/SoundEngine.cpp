#include "sound/SoundEngine.h"

#include "sound/BackgroundTrackMgr.h"
#include "sound/OpenALObject.h"
#include "sound/SoundEngineEffect.h"
#include "sound/SoundEngineInternal.h"

#include <AL/alc.h>

#include <atomic>
#include <memory>

namespace {

std::unique_ptr<OpenALObject> sOpenALObject;
std::unique_ptr<BackgroundTrackMgr> sBackgroundTrackMgr;
std::atomic<alcMixerOutputRateProcPtr> sMixerOutputRateProc{nullptr};
SoundEngineWakeHandler sWakeHandler{nullptr};
void* sWakeContext{nullptr};

} // namespace

alcMixerOutputRateProcPtr SoundEngineMixerOutputRateProc()
{
    alcMixerOutputRateProcPtr proc = sMixerOutputRateProc.load(std::memory_order_acquire);
    if (!proc) {
        proc = reinterpret_cast<alcMixerOutputRateProcPtr>(alcGetProcAddress(nullptr, "alcMixerOutputRate"));
        sMixerOutputRateProc.store(proc, std::memory_order_release);
    }
    return proc;
}

OpenALObject* SoundEngineDeviceObject()
{
    return sOpenALObject.get();
}

BackgroundTrackMgr* SoundEngineBackgroundTrackMgr()
{
    return sBackgroundTrackMgr.get();
}

void SoundEngineShutDown()
{
    if (sOpenALObject) {
        sOpenALObject->Teardown();
        sOpenALObject.reset();
    }
    if (sBackgroundTrackMgr) {
        sBackgroundTrackMgr->Teardown();
        sBackgroundTrackMgr.reset();
    }
}

SoundEngineStatus SoundEngine_Initialize(float inMixerOutputRate)
{
    SoundEngineShutDown();
    sOpenALObject = std::make_unique<OpenALObject>(inMixerOutputRate);
    sBackgroundTrackMgr = std::make_unique<BackgroundTrackMgr>();
    // The new object stays in place even when it could not open the device.
    return sOpenALObject->Initialize();
}

namespace {

// Every call that needs OpenAL wakes a resting output first (a resting one has no context).
void WakeForUse()
{
    if (sOpenALObject->WakeOutput() && sWakeHandler)
        sWakeHandler(sWakeContext);
}

} // namespace

SoundEngineStatus SoundEngine_LoadEffect(const char* inPath, SoundEngineEffectID* outEffectID)
{
    if (!sOpenALObject) {
        sOpenALObject = std::make_unique<OpenALObject>(0.0f);
        if (SoundEngineStatus result = sOpenALObject->Initialize(); result != 0)
            return result;
    }
    WakeForUse();
    return sOpenALObject->LoadEffect(inPath, outEffectID);
}

SoundEngineStatus SoundEngine_StartEffect(SoundEngineEffectID inEffectID)
{
    if (!sOpenALObject)
        return kSoundEngineErrNotInitialized;
    SoundEngineEffectMap* map = sOpenALObject->GetEffectMap();
    SoundEngineEffect* effect = map ? map->Get(inEffectID) : nullptr;
    if (!effect)
        return kSoundEngineErrInvalidID;
    WakeForUse();
    return effect->Start();
}

bool SoundEngine_RestOutputIfSilent()
{
    return sOpenALObject && sOpenALObject->RestOutputIfSilent();
}

void SoundEngine_SetOutputWakeHandler(SoundEngineWakeHandler handler, void* context)
{
    sWakeHandler = handler;
    sWakeContext = context;
}

SoundEngineStatus SoundEngine_SetListenerPosition(float inX, float inY, float inZ)
{
    if (!sOpenALObject)
        return kSoundEngineErrNotInitialized;
    WakeForUse();
    alListener3f(AL_POSITION, inX, inY, inZ);
    return alGetError();
}

#pragma once
// The engine's module state, for the tools and tests that must look behind the four
// functions (and tear the engine down cleanly, which the game never does).

#include <AL/al.h>

class OpenALObject;
class BackgroundTrackMgr;

using alcMixerOutputRateProcPtr = ALvoid (*)(const ALdouble);

// The "alcMixerOutputRate" extension function: looked up while it is still missing, then
// kept for the life of the process. Null where OpenAL has no such extension.
alcMixerOutputRateProcPtr SoundEngineMixerOutputRateProc();

// The current device object and background-track manager, or null.
OpenALObject* SoundEngineDeviceObject();
BackgroundTrackMgr* SoundEngineBackgroundTrackMgr();

// Tears everything down and returns the engine to its empty state.
void SoundEngineShutDown();

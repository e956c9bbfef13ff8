#pragma once
// The sound engine: four plain functions that play short sound effects through OpenAL.
// Every function returns a status: 0 for success, 1 to 5 for the engine's own conditions
// below, any other value an OpenAL error code or an audio-file service code passed through
// unchanged. Causes are also printed to standard output. Use from one thread.

#include <cstdint>

using SoundEngineStatus = int32_t;
using SoundEngineEffectID = uint32_t; // the effect's OpenAL source name; 0 means no effect

enum : SoundEngineStatus {
    kSoundEngineNoError = 0,
    kSoundEngineErrNotInitialized = 1,    // no device object yet
    kSoundEngineErrInvalidID = 2,         // no effect with this id
    kSoundEngineErrFileNotFound = 3,      // the path cannot be turned into a file URL
    kSoundEngineErrInvalidFileFormat = 4, // sample format not supported
    kSoundEngineErrDeviceNotFound = 5,    // no output device was opened
};

// Tears down whatever the engine held (every effect id becomes invalid) and opens the output
// device again. mixerOutputRate is in Hz; 0.0 leaves the mixer at its own rate.
SoundEngineStatus SoundEngine_Initialize(float mixerOutputRate);

// Loads a whole audio file as a new effect and writes its id to *outEffectID. On failure
// nothing is written. Initialises the engine (mixer rate left alone) when nothing has yet.
SoundEngineStatus SoundEngine_LoadEffect(const char* inPath, SoundEngineEffectID* outEffectID);

// Plays the effect from its beginning, restarting it if it still sounds.
SoundEngineStatus SoundEngine_StartEffect(SoundEngineEffectID inEffectID);

SoundEngineStatus SoundEngine_SetListenerPosition(float inX, float inY, float inZ);

// -- Resting the output. An open output mixes silence many times a second even when no effect
// sounds, which keeps the process (and the machine) awake, and its context holds mixing
// state for every voice. A host that wants quiet while nothing sounds calls
// SoundEngine_RestOutputIfSilent from time to time; the next start, load or listener move
// wakes the output first (and calls the wake handler, so the host knows to check again).
// Outputs without OpenAL Soft's pause extension never rest.

// Rests the output when no effect sounds. Returns whether the output rests now.
bool SoundEngine_RestOutputIfSilent();
// Called (on the thread that starts the effect) each time a start wakes a resting output.
using SoundEngineWakeHandler = void (*)(void* context);
void SoundEngine_SetOutputWakeHandler(SoundEngineWakeHandler handler, void* context);

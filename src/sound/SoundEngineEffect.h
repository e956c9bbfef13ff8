#pragma once

#include "platform/device/AudioFile.h"
#include "sound/SoundEngine.h"

#include <AL/al.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class OpenALThread;

// One sound effect: an OpenAL source and up to three sample buffers (attack, loop, decay),
// each loaded whole from an audio file. The effect's id is its source name.
class SoundEngineEffect final {
public:
    // The paths are not copied: they must stay valid until AttachFilesToSource returns.
    SoundEngineEffect(const char* inLoopPath, const char* inAttackPath, const char* inDecayPath,
                      unsigned char inDoLoop);
    // Waits for the playback threads of earlier looping starts to stand down, then deletes
    // the source and the buffers and frees the sample data.
    ~SoundEngineEffect();
    SoundEngineEffect(const SoundEngineEffect&) = delete;
    SoundEngineEffect& operator=(const SoundEngineEffect&) = delete;

    // Loads one whole file into a new buffer. On failure *outData is freed and null, and the
    // file is closed; a buffer generated before the failure stays generated. Where OpenAL
    // would copy the data anyway (no "alBufferDataStatic") and can map its buffers, the file
    // is read straight into the buffer's storage and *outData stays null.
    SoundEngineStatus LoadFileData(const char* inFilePath, std::unique_ptr<std::byte[]>& outData, uint32_t& outDataSize,
                                   ALuint& outBufferID);
    SoundEngineStatus AttachFilesToSource();
    // Plays from the beginning; a looping effect plays its attack part once, then its loop.
    SoundEngineStatus Start();
    // Unqueues every buffer queued on the source.
    SoundEngineStatus ClearSourceBuffers();
    // The looping start's playback thread; inArgs comes from Start. Always returns 0.
    static int PlaybackProc(void* inArgs);

    ALuint GetEffectID() const { return mSourceID; }
    ALuint GetAttackBufferID() const { return mAttackBufferID; }
    ALuint GetLoopBufferID() const { return mLoopBufferID; }
    ALuint GetDecayBufferID() const { return mDecayBufferID; }
    uint32_t GetLoopDataSize() const { return mLoopDataSize; }
    uint32_t GetAttackDataSize() const { return mAttackDataSize; }
    uint32_t GetDecayDataSize() const { return mDecayDataSize; }
    // Null when the samples went straight into OpenAL's own storage (see LoadFileData).
    const std::byte* GetLoopData() const { return mLoopData.get(); }
    bool IsLooping() const { return mIsLooping; }
    // The thread object of the last looping start. It frees itself when its thread ends, so
    // this only tells whether one was made; never dereference it.
    const OpenALThread* GetPlaybackThread() const { return mPlaybackThread; }
    // Playback threads of looping starts that have not yet ended.
    int RunningPlaybackThreads();

private:
    SoundEngineStatus StartLooping(std::unique_lock<std::mutex>& inStartLock);
    void PlayLooping(uint32_t inGeneration);

    ALuint mSourceID{0};
    ALuint mAttackBufferID{0};
    ALuint mLoopBufferID{0};
    ALuint mDecayBufferID{0};
    const char* mLoopPath{nullptr};
    const char* mAttackPath{nullptr};
    const char* mDecayPath{nullptr};
    std::unique_ptr<std::byte[]> mLoopData;
    std::unique_ptr<std::byte[]> mAttackData;
    std::unique_ptr<std::byte[]> mDecayData;
    uint32_t mLoopDataSize{0};
    uint32_t mAttackDataSize{0};
    uint32_t mDecayDataSize{0};
    bool mIsLooping{false};
    OpenALThread* mPlaybackThread{nullptr};

    // Looping starts and their playback threads. Each start takes the next generation under
    // the lock; a thread acts on the source only while its generation is the current one,
    // and only under the lock, so an older thread can never touch a newer start's queue.
    std::mutex mLoopLock;
    std::condition_variable mLoopThreadEnded;
    uint32_t mGeneration{0};
    int mRunningLoopThreads{0};
};

// Opens an audio file by path. 3 when the path makes no file URL (nothing printed).
SoundEngineStatus OpenFile(const char* inFilePath, std::unique_ptr<platform::AudioFile>& outFile);

// Opens the file and reads its data format and audio data byte count.
SoundEngineStatus LoadFileDataInfo(const char* inFilePath, std::unique_ptr<platform::AudioFile>& outFile,
                                   platform::AudioStreamDescription& outFormat, uint64_t& outDataSize);

// Attaches the data to the buffer through the "alBufferDataStatic" extension when OpenAL has
// it (the buffer then plays from the caller's memory), and otherwise uploads a copy with
// alBufferData so the effect is heard. Errors are left in OpenAL's error state.
void alBufferDataStaticProc(ALuint inBufferID, ALenum inFormat, const ALvoid* inData, ALsizei inSize,
                            ALsizei inFrequency);

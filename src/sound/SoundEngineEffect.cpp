#include "sound/SoundEngineEffect.h"

#include "sound/OpenALThread.h"
#include "sound/SoundEngineMessages.h"

#include <AL/alc.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <pthread.h>
#include <thread>

namespace {

using alBufferDataStaticProcPtr = ALvoid (*)(ALint, ALenum, const ALvoid*, ALsizei, ALsizei);

// OpenAL Soft's buffer mapping ("AL_SOFTX_map_buffer" in 1.19, not in its headers): the
// buffer's own storage is made first and the file is read straight into it.
using ALbitfieldSOFT = unsigned int;
constexpr ALbitfieldSOFT kMapReadBit = 0x1;
constexpr ALbitfieldSOFT kMapWriteBit = 0x2;
using alBufferStorageProcPtr = void(AL_APIENTRY*)(ALuint, ALenum, const ALvoid*, ALsizei, ALsizei, ALbitfieldSOFT);
using alMapBufferProcPtr = void*(AL_APIENTRY*)(ALuint, ALsizei, ALsizei, ALbitfieldSOFT);
using alUnmapBufferProcPtr = void(AL_APIENTRY*)(ALuint);

struct BufferMapping {
    alBufferStorageProcPtr storage{nullptr};
    alMapBufferProcPtr map{nullptr};
    alUnmapBufferProcPtr unmap{nullptr};
};

// The mapping functions of the current context's OpenAL, or null where it has none. The
// functions are looked up once; whether the context offers them is asked each time (cheap
// next to reading a file).
const BufferMapping* CurrentBufferMapping()
{
    static const BufferMapping sMapping = [] {
        BufferMapping mapping;
        mapping.storage = reinterpret_cast<alBufferStorageProcPtr>(alGetProcAddress("alBufferStorageSOFT"));
        mapping.map = reinterpret_cast<alMapBufferProcPtr>(alGetProcAddress("alMapBufferSOFT"));
        mapping.unmap = reinterpret_cast<alUnmapBufferProcPtr>(alGetProcAddress("alUnmapBufferSOFT"));
        return mapping;
    }();
    if (!sMapping.storage || !sMapping.map || !sMapping.unmap)
        return nullptr;
    const bool offered = alIsExtensionPresent("AL_SOFTX_map_buffer") || alIsExtensionPresent("AL_SOFT_map_buffer");
    alGetError(); // no context: the answer is no, and the error is not the caller's
    return offered ? &sMapping : nullptr;
}

// "alBufferDataStatic": looked up until found, then kept for the life of the process.
alBufferDataStaticProcPtr StaticBufferProc()
{
    static std::atomic<alBufferDataStaticProcPtr> sStaticProc{nullptr};
    alBufferDataStaticProcPtr proc = sStaticProc.load(std::memory_order_acquire);
    if (!proc) {
        proc = reinterpret_cast<alBufferDataStaticProcPtr>(alcGetProcAddress(nullptr, "alBufferDataStatic"));
        sStaticProc.store(proc, std::memory_order_release);
    }
    return proc;
}

// OpenAL's 8-bit formats are unsigned; signed 8-bit data (AIFF, CAF) played as it is would
// be heard as loud noise.
bool NeedsSignFlip(const platform::AudioStreamDescription& inFormat)
{
    return inFormat.formatID == platform::kAudioFormatLinearPCM && inFormat.bitsPerChannel == 8 &&
           (inFormat.formatFlags & platform::kAudioFormatFlagIsSignedInteger) != 0;
}

void FlipSigns(std::byte* ioData, uint32_t inSize)
{
    for (uint32_t i = 0; i < inSize; ++i)
        ioData[i] ^= std::byte{0x80};
}

// The playback thread's poll interval. OpenAL Soft marks buffers processed once per mixer
// update (about 20 ms), so a quarter millisecond keeps the switch to looping close to the
// end of the attack part without spinning a core.
constexpr auto kLoopPollInterval = std::chrono::microseconds{250};

// What a looping start hands its playback thread.
struct LoopingStart {
    SoundEngineEffect* effect;
    uint32_t generation;
};

ALsizei FrequencyFromSampleRate(double inSampleRate)
{
    // Truncation, as OpenAL takes whole hertz; a rate no int can hold becomes 0, which
    // OpenAL refuses with its own error.
    if (!std::isfinite(inSampleRate) || inSampleRate < 0.0 || inSampleRate >= 2147483648.0)
        return 0;
    return static_cast<ALsizei>(inSampleRate);
}

ALenum OpenALFormat(const platform::AudioStreamDescription& inFormat)
{
    if (inFormat.formatID == platform::kAudioFormatLinearPCM) {
        if (inFormat.channelsPerFrame == 1 && inFormat.bitsPerChannel == 8)
            return AL_FORMAT_MONO8;
        if (inFormat.channelsPerFrame == 2 && inFormat.bitsPerChannel == 8)
            return AL_FORMAT_STEREO8;
        if (inFormat.channelsPerFrame == 1 && inFormat.bitsPerChannel == 16)
            return AL_FORMAT_MONO16;
        if (inFormat.channelsPerFrame == 2 && inFormat.bitsPerChannel == 16)
            return AL_FORMAT_STEREO16;
    }
    // No OpenAL format has this value: attaching fails with OpenAL's own error.
    return 4;
}

} // namespace

SoundEngineStatus OpenFile(const char* inFilePath, std::unique_ptr<platform::AudioFile>& outFile)
{
    auto url = platform::AudioFileURL::fromFileSystemPath(inFilePath, inFilePath ? std::strlen(inFilePath) : 0);
    if (!url)
        return kSoundEngineErrFileNotFound;
    SoundEngineStatus result = platform::AudioFile::open(*url, outFile);
    if (result != 0)
        SoundEnginePrintDecimal("Error opening file", result);
    return result;
}

SoundEngineStatus LoadFileDataInfo(const char* inFilePath, std::unique_ptr<platform::AudioFile>& outFile,
                                   platform::AudioStreamDescription& outFormat, uint64_t& outDataSize)
{
    SoundEngineStatus result = OpenFile(inFilePath, outFile);
    if (result != 0) {
        SoundEnginePrintDecimal("Error opening file", result);
        return result;
    }
    result = outFile->dataFormat(outFormat);
    if (result != 0) {
        SoundEnginePrintDecimal("Error getting file format", result);
        return result;
    }
    result = outFile->audioDataByteCount(outDataSize);
    if (result != 0)
        SoundEnginePrintDecimal("Error getting file data size", result);
    return result;
}

void alBufferDataStaticProc(ALuint inBufferID, ALenum inFormat, const ALvoid* inData, ALsizei inSize,
                            ALsizei inFrequency)
{
    if (alBufferDataStaticProcPtr proc = StaticBufferProc()) {
        proc(static_cast<ALint>(inBufferID), inFormat, inData, inSize, inFrequency);
        return;
    }
    // Without the extension (OpenAL Soft has none) OpenAL keeps its own copy; attaching
    // nothing would leave the effect silent.
    alBufferData(inBufferID, inFormat, inData, inSize, inFrequency);
}

SoundEngineEffect::SoundEngineEffect(const char* inLoopPath, const char* inAttackPath, const char* inDecayPath,
                                     unsigned char inDoLoop)
    : mLoopPath{inLoopPath},
      mAttackPath{inAttackPath},
      mDecayPath{inDecayPath},
      mIsLooping{inDoLoop != 0}
{
    alGenSources(1, &mSourceID);
}

SoundEngineEffect::~SoundEngineEffect()
{
    {
        // A newer generation tells every waiting playback thread to stand down; they all end
        // before the source and this object go away.
        std::unique_lock lock{mLoopLock};
        ++mGeneration;
        mLoopThreadEnded.wait(lock, [this] { return mRunningLoopThreads == 0; });
    }
    alDeleteSources(1, &mSourceID);
    // The buffers are detached once their source is gone; deleting them here keeps a
    // statically attached buffer from outliving the memory it plays from.
    for (ALuint buffer : {mAttackBufferID, mLoopBufferID, mDecayBufferID})
        if (buffer != 0)
            alDeleteBuffers(1, &buffer);
    alGetError();
}

int SoundEngineEffect::RunningPlaybackThreads()
{
    std::lock_guard lock{mLoopLock};
    return mRunningLoopThreads;
}

namespace {

// LoadFileData's way without a copy. False when it does not apply (or gave up before
// reading), leaving the general path to do everything; true with outResult set otherwise.
bool ReadIntoMappedBuffer(platform::AudioFile& inFile, const platform::AudioStreamDescription& inFormat,
                          uint64_t inByteCount, uint32_t& outDataSize, ALuint& outBufferID,
                          SoundEngineStatus& outResult)
{
    // Only where the data would otherwise be copied (no "alBufferDataStatic"), and only for
    // data OpenAL takes as it is: every refusal and its message stay with the general path,
    // in its order (a read error before a format error before an OpenAL one).
    const bool bigEndian = (inFormat.formatFlags & platform::kAudioFormatFlagIsBigEndian) != 0;
    if ((inFormat.formatID != platform::kAudioFormatLinearPCM || bigEndian) && inFormat.bitsPerChannel > 8)
        return false;
    const ALenum alFormat = OpenALFormat(inFormat);
    const ALsizei frequency = FrequencyFromSampleRate(inFormat.sampleRate);
    if (alFormat == 4 || frequency <= 0 || inByteCount == 0 || StaticBufferProc())
        return false;
    const BufferMapping* mapping = CurrentBufferMapping();
    if (!mapping)
        return false;

    const auto size = static_cast<ALsizei>(inByteCount);
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    if (alGetError() != AL_NO_ERROR)
        return false; // the general path generates again and reports it
    // Any trouble making or mapping the storage: the general path uploads a copy instead,
    // and meets (and reports) the same OpenAL error if there is one.
    auto giveUp = [&](bool mapped) {
        if (mapped)
            mapping->unmap(buffer);
        alDeleteBuffers(1, &buffer);
        alGetError();
    };
    // Readable too, so that what OpenAL holds can be checked.
    mapping->storage(buffer, alFormat, nullptr, size, frequency, kMapReadBit | kMapWriteBit);
    if (alGetError() != AL_NO_ERROR) {
        giveUp(false);
        return false;
    }
    auto* samples = static_cast<std::byte*>(mapping->map(buffer, 0, size, kMapWriteBit));
    if (alGetError() != AL_NO_ERROR || !samples) {
        giveUp(samples != nullptr);
        return false;
    }

    uint32_t read = static_cast<uint32_t>(inByteCount);
    SoundEngineStatus result = inFile.readBytes(0, read, samples);
    outDataSize = read;
    if (result != 0) {
        // As on the general path: no buffer is left behind by a file that cannot be read.
        giveUp(true);
        SoundEnginePrintDecimal("Error reading file data", result);
        outResult = result;
        return true;
    }
    if (read != inByteCount) {
        giveUp(true);
        return false;
    }
    if (NeedsSignFlip(inFormat))
        FlipSigns(samples, read);
    mapping->unmap(buffer);
    outBufferID = buffer;
    if (ALenum error = alGetError(); error != AL_NO_ERROR) {
        SoundEnginePrintHex("Error attaching data to buffer\n", error);
        outResult = error;
        return true;
    }
    outResult = 0;
    return true;
}

} // namespace

SoundEngineStatus SoundEngineEffect::LoadFileData(const char* inFilePath, std::unique_ptr<std::byte[]>& outData,
                                                  uint32_t& outDataSize, ALuint& outBufferID)
{
    std::unique_ptr<platform::AudioFile> file;
    platform::AudioStreamDescription format{};
    uint64_t byteCount = 0;
    // Every failure closes the file (file's destructor) and frees the block.
    auto fail = [&](SoundEngineStatus status) {
        file.reset();
        outData.reset();
        return status;
    };

    SoundEngineStatus result = LoadFileDataInfo(inFilePath, file, format, byteCount);
    if (result != 0) {
        SoundEnginePrintDecimal("Error loading file info", result);
        return fail(result);
    }

    if (ReadIntoMappedBuffer(*file, format, byteCount, outDataSize, outBufferID, result)) {
        outData.reset();
        return result != 0 ? fail(result) : 0;
    }

    // The service caps byteCount well below 4 GiB, so it fits the 32-bit size.
    outData.reset(new (std::nothrow) std::byte[byteCount > 0 ? byteCount : 1]);
    if (!outData) {
        SoundEnginePrintDecimal("Error reading file data", platform::kAudioFileTooLargeError);
        return fail(platform::kAudioFileTooLargeError);
    }
    outDataSize = static_cast<uint32_t>(byteCount);
    result = file->readBytes(0, outDataSize, outData.get());
    if (result != 0) {
        SoundEnginePrintDecimal("Error reading file data", result);
        return fail(result);
    }

    const bool bigEndian = (format.formatFlags & platform::kAudioFormatFlagIsBigEndian) != 0;
    if ((format.formatID != platform::kAudioFormatLinearPCM || bigEndian) && format.bitsPerChannel > 8)
        return fail(kSoundEngineErrInvalidFileFormat);

    if (NeedsSignFlip(format))
        FlipSigns(outData.get(), outDataSize);

    alGenBuffers(1, &outBufferID);
    if (ALenum error = alGetError(); error != AL_NO_ERROR) {
        SoundEnginePrintHex("Error generating buffer\n", error);
        return fail(error);
    }

    alBufferDataStaticProc(outBufferID, OpenALFormat(format), outData.get(), static_cast<ALsizei>(outDataSize),
                           FrequencyFromSampleRate(format.sampleRate));
    if (ALenum error = alGetError(); error != AL_NO_ERROR) {
        SoundEnginePrintHex("Error attaching data to buffer\n", error);
        return fail(error);
    }
    return 0;
}

SoundEngineStatus SoundEngineEffect::AttachFilesToSource()
{
    SoundEngineStatus result = 0;
    if (mAttackPath) {
        result = LoadFileData(mAttackPath, mAttackData, mAttackDataSize, mAttackBufferID);
        if (result != 0) {
            SoundEnginePrintDecimal("Error loading attack file info", result);
            return result;
        }
    }

    result = LoadFileData(mLoopPath, mLoopData, mLoopDataSize, mLoopBufferID);
    if (result != 0) {
        SoundEnginePrintDecimal("Error loading looping file info", result);
        return result;
    }

    // A looping effect has its buffers queued at each start instead.
    if (!mIsLooping) {
        alSourcei(mSourceID, AL_BUFFER, static_cast<ALint>(mLoopBufferID));
        if (ALenum error = alGetError(); error != AL_NO_ERROR) {
            SoundEnginePrintHex("Error attaching file data to effect", error);
            return error;
        }
    }

    if (mDecayPath) {
        result = LoadFileData(mDecayPath, mDecayData, mDecayDataSize, mDecayBufferID);
        if (result != 0) {
            SoundEnginePrintDecimal("Error loading decay file info", result);
            return result;
        }
    }
    return 0;
}

SoundEngineStatus SoundEngineEffect::Start()
{
    // The lock only serves looping starts; a plain start stays at two OpenAL calls.
    std::unique_lock<std::mutex> startLock;
    if (mIsLooping) {
        startLock = std::unique_lock{mLoopLock};
        ++mGeneration; // from here on, older playback threads stand down
    }

    alSourceStop(mSourceID);
    if (ALenum error = alGetError(); error != AL_NO_ERROR) {
        SoundEnginePrintHex("Error stopping source", error);
        return error;
    }

    if (mIsLooping)
        return StartLooping(startLock);

    alSourcePlay(mSourceID);
    return alGetError();
}

SoundEngineStatus SoundEngineEffect::StartLooping(std::unique_lock<std::mutex>& inStartLock)
{
    // The thread object is made first so that it takes this (calling) thread's priority as
    // its base; it is handed over to its own thread only when everything is queued.
    auto thread =
        std::make_unique<OpenALThread>(&SoundEngineEffect::PlaybackProc, nullptr, kPlaybackThreadPriority, false, true);

    // OpenAL refuses to unqueue from a looping source, and the previous start's thread left
    // it looping: without this, a looping effect could be started only once.
    alSourcei(mSourceID, AL_LOOPING, AL_FALSE);
    alGetError();

    SoundEngineStatus result = ClearSourceBuffers();
    if (result != 0) {
        SoundEnginePrintDecimal("Error clearing buffers", result);
        return result;
    }

    if (mAttackBufferID != 0) {
        alSourceQueueBuffers(mSourceID, 1, &mAttackBufferID);
        if (ALenum error = alGetError(); error != AL_NO_ERROR) {
            SoundEnginePrintHex("Error queueing buffers for attack", error);
            return error;
        }
        alSourcei(mSourceID, AL_LOOPING, AL_FALSE);
        alGetError();
    }

    alSourceQueueBuffers(mSourceID, 1, &mLoopBufferID);
    if (ALenum error = alGetError(); error != AL_NO_ERROR) {
        SoundEnginePrintHex("Error queueing looping buffer", error);
        return error;
    }

    auto* start = new LoopingStart{this, mGeneration};
    thread->SetThreadParameter(start);
    mPlaybackThread = thread.get();
    ++mRunningLoopThreads;
    inStartLock.unlock();

    // From Start on the thread object belongs to its thread (or to Start when no thread
    // could be made). Failures are printed by Start, not returned.
    if (thread.release()->Start() != 0) {
        delete start;
        std::lock_guard lock{mLoopLock};
        --mRunningLoopThreads;
        mLoopThreadEnded.notify_all();
    }
    return 0;
}

SoundEngineStatus SoundEngineEffect::ClearSourceBuffers()
{
    ALint queued = 0;
    alGetSourcei(mSourceID, AL_BUFFERS_QUEUED, &queued);
    if (ALenum error = alGetError(); error != AL_NO_ERROR) {
        SoundEnginePrintHex("Error getting OpenAL queued buffer size", error);
        return error;
    }
    if (queued <= 0)
        return 0;
    // At most the three buffers an effect has; the names themselves are not needed.
    ALuint scratch[8];
    ALint remaining = queued;
    while (remaining > 0) {
        ALsizei count = remaining < 8 ? remaining : 8;
        alSourceUnqueueBuffers(mSourceID, count, scratch);
        if (ALenum error = alGetError(); error != AL_NO_ERROR) {
            // OpenAL counts no buffer of a never-played source as processed and will not unqueue
            // them (a restart before the previous start's thread began playing). The source is
            // stopped here, so detaching every buffer at once does the same job.
            alSourcei(mSourceID, AL_BUFFER, 0);
            if (alGetError() == AL_NO_ERROR)
                return 0;
            SoundEnginePrintHex("Error unqueueing buffers from source", error);
            return error;
        }
        remaining -= count;
    }
    return 0;
}

int SoundEngineEffect::PlaybackProc(void* inArgs)
{
    auto* start = static_cast<LoopingStart*>(inArgs);
    SoundEngineEffect* effect = start->effect;
    uint32_t generation = start->generation;
    delete start;

    effect->PlayLooping(generation);

    // Notified under the lock: the effect's destructor cannot return (and free the lock)
    // before this thread has let go of it.
    std::lock_guard lock{effect->mLoopLock};
    --effect->mRunningLoopThreads;
    effect->mLoopThreadEnded.notify_all();
    return 0;
}

void SoundEngineEffect::PlayLooping(uint32_t inGeneration)
{
    {
        std::lock_guard lock{mLoopLock};
        if (inGeneration != mGeneration)
            return;
        alSourcePlay(mSourceID);
        if (ALenum error = alGetError(); error != AL_NO_ERROR) {
            SoundEnginePrintHex("Error starting effect playback", error);
            return;
        }
        if (mAttackBufferID == 0) {
            alSourcei(mSourceID, AL_LOOPING, AL_TRUE);
            alGetError();
            return;
        }
    }

    for (;;) {
        {
            std::lock_guard lock{mLoopLock};
            if (inGeneration != mGeneration)
                return; // a newer start or the teardown took over the source
            ALint processed = 0;
            alGetSourcei(mSourceID, AL_BUFFERS_PROCESSED, &processed);
            if (ALenum error = alGetError(); error != AL_NO_ERROR) {
                SoundEnginePrintHex("Error getting processed buffer number", error);
                return;
            }
            if (processed >= 1) {
                ALuint attack = 0;
                alSourceUnqueueBuffers(mSourceID, 1, &attack);
                if (ALenum error = alGetError(); error != AL_NO_ERROR) {
                    SoundEnginePrintHex("Error unqueueing buffers from source", error);
                    return;
                }
                alSourcei(mSourceID, AL_LOOPING, AL_TRUE);
                alGetError();
                return;
            }
            ALint state = AL_PLAYING;
            alGetSourcei(mSourceID, AL_SOURCE_STATE, &state);
            alGetError();
            if (state != AL_PLAYING && state != AL_PAUSED)
                return; // stopped by someone else: nothing left to wait for
        }
        std::this_thread::sleep_for(kLoopPollInterval);
    }
}

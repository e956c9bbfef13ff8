// Loading effects: the printed causes and statuses, which formats are taken, what OpenAL
// gets, and untrusted files.

#include "SoundTestSupport.h"

#include "sound/OpenALObject.h"
#include "sound/SoundEngine.h"
#include "sound/SoundEngineEffect.h"
#include "sound/SoundEngineInternal.h"

#include <AL/al.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstddef>
#include <vector>

using namespace soundtest;

namespace {

class SoundEngineLoadTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(SoundEngine_Initialize(44100), 0); }
    void TearDown() override
    {
        SoundEngineShutDown();
        EXPECT_EQ(platform::AudioFile::openFileCount(), 0) << "a file was left open";
    }

    // Loads through the engine; returns the status and fills the printed text.
    SoundEngineStatus load(const std::string& path, SoundEngineEffectID& id, std::string& printed)
    {
        StdoutCapture out;
        SoundEngineStatus status = SoundEngine_LoadEffect(path.c_str(), &id);
        printed = out.text();
        return status;
    }

    SoundEngineEffect* effect(SoundEngineEffectID id) { return SoundEngineDeviceObject()->GetEffectMap()->Get(id); }

    static ALint bufferValue(ALuint buffer, ALenum what)
    {
        ALint value = -1;
        alGetBufferi(buffer, what, &value);
        return value;
    }

    // The sample bytes OpenAL holds for an effect's loop buffer: read back through OpenAL
    // where the engine read the file into the buffer itself, else the block it handed over.
    static std::vector<std::byte> heldBytes(const SoundEngineEffect& effect)
    {
        const uint32_t size = effect.GetLoopDataSize();
        if (const std::byte* block = effect.GetLoopData())
            return {block, block + size};
        using MapProc = void*(AL_APIENTRY*)(ALuint, ALsizei, ALsizei, unsigned int);
        using UnmapProc = void(AL_APIENTRY*)(ALuint);
        auto map = reinterpret_cast<MapProc>(alGetProcAddress("alMapBufferSOFT"));
        auto unmap = reinterpret_cast<UnmapProc>(alGetProcAddress("alUnmapBufferSOFT"));
        if (!map || !unmap)
            return {};
        // OpenAL maps no buffer that a source holds.
        const ALuint buffer = effect.GetLoopBufferID();
        alSourcei(effect.GetEffectID(), AL_BUFFER, 0);
        std::vector<std::byte> held;
        if (auto* bytes = static_cast<const std::byte*>(map(buffer, 0, static_cast<ALsizei>(size), 0x1 /* read */))) {
            held.assign(bytes, bytes + size);
            unmap(buffer);
        }
        alSourcei(effect.GetEffectID(), AL_BUFFER, static_cast<ALint>(buffer));
        return held;
    }

    TempDir mDir;
};

TEST_F(SoundEngineLoadTest, AMissingFilePrintsOpeningTwiceThenTheLoadersWithOneCode)
{
    SoundEngineEffectID id = 42;
    std::string printed;
    SoundEngineStatus status = load(mDir.path("nowhere.wav"), id, printed);
    EXPECT_EQ(status, platform::kAudioFileNotFoundError);
    EXPECT_EQ(printed, "Error opening file: -2\n"
                       "Error opening file: -2\n"
                       "Error loading file info: -2\n"
                       "Error loading looping file info: -2\n");
    EXPECT_EQ(id, 42u);
    EXPECT_TRUE(SoundEngineDeviceObject()->GetEffectMap()->Empty());
}

TEST_F(SoundEngineLoadTest, APathThatMakesNoFileUrlGives3WithOpeningPrintedOnce)
{
    for (const char* path : {"", static_cast<const char*>(nullptr)}) {
        SoundEngineEffectID id = 42;
        StdoutCapture out;
        SoundEngineStatus status = SoundEngine_LoadEffect(path, &id);
        EXPECT_EQ(status, kSoundEngineErrFileNotFound);
        EXPECT_EQ(out.text(), "Error opening file: 3\n"
                              "Error loading file info: 3\n"
                              "Error loading looping file info: 3\n");
        EXPECT_EQ(id, 42u);
    }
    std::string tooLong(5000, 'a');
    SoundEngineEffectID id = 0;
    std::string printed;
    EXPECT_EQ(load(tooLong, id, printed), kSoundEngineErrFileNotFound);
}

TEST_F(SoundEngineLoadTest, EightBitLoadsInEitherByteOrderAndSixteenBitBigEndianIsRefusedWith4)
{
    struct Case {
        const char* name;
        int format;
        int channels;
        ALint bits;
    };
    for (const Case& c : {Case{"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8},
                          Case{"s8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, 8},
                          Case{"s8.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_S8, 1, 8},
                          Case{"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 16},
                          Case{"sowt.aifc", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 1, 16}}) {
        SCOPED_TRACE(c.name);
        std::string path = mDir.path(c.name);
        ASSERT_TRUE(writeSound(path, c.format, c.channels, 11025, sine(500, c.channels, 300, 11025)));
        SoundEngineEffectID id = 0;
        std::string printed;
        ASSERT_EQ(load(path, id, printed), 0);
        EXPECT_EQ(printed, "");
        ALuint buffer = effect(id)->GetLoopBufferID();
        EXPECT_EQ(bufferValue(buffer, AL_BITS), c.bits);
        EXPECT_EQ(bufferValue(buffer, AL_CHANNELS), c.channels);
        EXPECT_EQ(bufferValue(buffer, AL_SIZE), 500 * c.channels * c.bits / 8);
        EXPECT_EQ(SoundEngine_StartEffect(id), 0);
    }

    for (const char* name : {"s16.aiff", "rifx.wav", "s16.caf"}) {
        SCOPED_TRACE(name);
        std::string path = mDir.path(name);
        int container = std::string(name).ends_with("aiff")  ? SF_FORMAT_AIFF
                        : std::string(name).ends_with("caf") ? SF_FORMAT_CAF
                                                             : SF_FORMAT_WAV;
        ASSERT_TRUE(writeSound(path, container | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 1, 11025, sine(500, 1, 300, 11025)));
        SoundEngineEffectID id = 9;
        std::string printed;
        EXPECT_EQ(load(path, id, printed), kSoundEngineErrInvalidFileFormat);
        EXPECT_EQ(printed, "Error loading looping file info: 4\n");
        EXPECT_EQ(id, 9u);

        // No buffer is made, and the data block is gone.
        SoundEngineEffect direct{path.c_str(), nullptr, nullptr, false};
        std::unique_ptr<std::byte[]> data;
        uint32_t size = 0;
        ALuint buffer = 0;
        StdoutCapture quiet;
        EXPECT_EQ(direct.LoadFileData(path.c_str(), data, size, buffer), kSoundEngineErrInvalidFileFormat);
        EXPECT_EQ(quiet.text(), "") << "4 has no message of its own";
        EXPECT_EQ(buffer, 0u);
        EXPECT_EQ(data, nullptr);
    }
}

TEST_F(SoundEngineLoadTest, SignedEightBitSamplesReachOpenALAsUnsigned)
{
    // OpenAL's 8-bit formats are unsigned: signed silence must arrive as 0x80.
    std::string path = mDir.path("silence.aiff");
    ASSERT_TRUE(writeSound(path, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 8000, std::vector<int16_t>(64, 0)));
    std::string loud = mDir.path("loud.aiff");
    ASSERT_TRUE(writeSound(loud, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 8000, std::vector<int16_t>(64, 32767)));
    SoundEngineEffectID quiet = 0, high = 0;
    std::string printed;
    ASSERT_EQ(load(path, quiet, printed), 0);
    ASSERT_EQ(load(loud, high, printed), 0);
    std::vector<std::byte> silence = heldBytes(*effect(quiet));
    std::vector<std::byte> top = heldBytes(*effect(high));
    ASSERT_EQ(silence.size(), 64u);
    ASSERT_EQ(top.size(), 64u);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(silence[i], std::byte{0x80}) << i;
        EXPECT_EQ(top[i], std::byte{0xFF}) << i;
    }
}

TEST_F(SoundEngineLoadTest, OpenALHoldsTheFilesOwnSampleBytes)
{
    // Whichever way the data reaches OpenAL, it holds the file's bytes unchanged (signed 8-bit
    // turned unsigned), in the file's order, stereo frames interleaved.
    struct Case {
        const char* name;
        int format;
        int channels;
        bool flipSigns;
    };
    for (const Case& c : {Case{"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, false},
                          Case{"s8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, true},
                          Case{"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, false},
                          Case{"sowt.aifc", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 1, false}}) {
        SCOPED_TRACE(c.name);
        std::string path = mDir.path(c.name);
        ASSERT_TRUE(writeSound(path, c.format, c.channels, 11025, sine(777, c.channels, 300, 11025, 0.9)));
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        std::vector<std::byte> expected(1 << 16);
        expected.resize(
            static_cast<size_t>(sf_read_raw(file, expected.data(), static_cast<sf_count_t>(expected.size()))));
        sf_close(file);
        if (c.flipSigns)
            for (std::byte& b : expected)
                b ^= std::byte{0x80};

        SoundEngineEffectID id = 0;
        std::string printed;
        ASSERT_EQ(load(path, id, printed), 0) << printed;
        EXPECT_EQ(heldBytes(*effect(id)), expected);
    }
}

TEST_F(SoundEngineLoadTest, ThreeChannelsGetABufferButFailAttachingWithOpenALsError)
{
    std::string path = mDir.path("three.wav");
    ASSERT_TRUE(writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, 8000, sine(300, 3, 300, 8000)));
    SoundEngineEffectID id = 5;
    std::string printed;
    EXPECT_EQ(load(path, id, printed), AL_INVALID_ENUM);
    EXPECT_EQ(printed, "Error attaching data to buffer\n: a002\n"
                       "Error loading looping file info: 40962\n");
    EXPECT_EQ(id, 5u);

    SoundEngineEffect direct{path.c_str(), nullptr, nullptr, false};
    std::unique_ptr<std::byte[]> data;
    uint32_t size = 0;
    ALuint buffer = 0;
    StdoutCapture out;
    EXPECT_EQ(direct.LoadFileData(path.c_str(), data, size, buffer), AL_INVALID_ENUM);
    out.text();
    EXPECT_NE(buffer, 0u);
    EXPECT_TRUE(alIsBuffer(buffer)) << "a buffer generated before the failure stays generated";
    EXPECT_EQ(data, nullptr);
    alDeleteBuffers(1, &buffer);
}

TEST_F(SoundEngineLoadTest, SampleRatesReachOpenALTruncatedToWholeHertz)
{
    std::string wav = mDir.path("r.wav");
    ASSERT_TRUE(writeSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(100, 1, 300, 22050)));
    std::string caf = mDir.path("r.caf");
    ASSERT_TRUE(
        writeSound(caf, SF_FORMAT_CAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 1, 44100, sine(100, 1, 300, 44100)));
    patchCafSampleRate(caf, 44099.9);
    SoundEngineEffectID a = 0, b = 0;
    std::string printed;
    ASSERT_EQ(load(wav, a, printed), 0);
    ASSERT_EQ(load(caf, b, printed), 0);
    EXPECT_EQ(bufferValue(effect(a)->GetLoopBufferID(), AL_FREQUENCY), 22050);
    EXPECT_EQ(bufferValue(effect(b)->GetLoopBufferID(), AL_FREQUENCY), 44099);
}

TEST_F(SoundEngineLoadTest, MalformedFilesGiveAStatusAndAMessageNeverACrash)
{
    const std::vector<uint8_t> data(100, 0x22);
    auto firstBytes = [](std::vector<uint8_t> bytes, size_t count) {
        bytes.resize(count);
        return bytes;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"truncated.wav", wavBytes(1, 16, 8000, data, 1000, 1036)},
        {"absurd.wav", wavBytes(2, 16, 8000, data, 0xFFFFFFF0u, 0xFFFFFFF8u)},
        {"nochannels.wav", wavBytes(0, 16, 8000, data)},
        {"zerobits.wav", wavBytes(1, 0, 8000, data)},
        {"headeronly.wav", firstBytes(wavBytes(1, 16, 8000, {}), 20)},
        {"garbage.wav", std::vector<uint8_t>(300, 0xEE)},
        {"empty.wav", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = mDir.path(c.name);
        writeBytes(path, c.bytes);
        SoundEngineEffectID id = 3;
        std::string printed;
        SoundEngineStatus status = load(path, id, printed);
        EXPECT_NE(status, 0);
        EXPECT_NE(printed.find("Error loading looping file info: " + std::to_string(status)), std::string::npos)
            << printed;
        EXPECT_EQ(id, 3u);
    }
    EXPECT_TRUE(SoundEngineDeviceObject()->GetEffectMap()->Empty());

    // Compressed data has no raw bytes to hand over.
    std::string adpcm = mDir.path("ima.wav");
    ASSERT_TRUE(writeSound(adpcm, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 8000, sine(2000, 1, 300, 8000)));
    SoundEngineEffectID id = 0;
    std::string printed;
    EXPECT_EQ(load(adpcm, id, printed), platform::kAudioFileUnsupportedDataFormatError);
    EXPECT_EQ(printed, "Error getting file data size: -7\n"
                       "Error loading file info: -7\n"
                       "Error loading looping file info: -7\n");
}

TEST_F(SoundEngineLoadTest, AnEmptyDataChunkLoadsAndPlaysNothing)
{
    std::string path = mDir.path("nothing.wav");
    writeBytes(path, wavBytes(1, 16, 8000, {}));
    SoundEngineEffectID id = 0;
    std::string printed;
    ASSERT_EQ(load(path, id, printed), 0) << printed;
    EXPECT_EQ(effect(id)->GetLoopDataSize(), 0u);
    EXPECT_EQ(SoundEngine_StartEffect(id), 0);
}

TEST_F(SoundEngineLoadTest, AttackAndDecayFilesLoadIntoTheirOwnBuffersAndFailWithTheirOwnMessages)
{
    std::string attack = mDir.path("attack.wav"), loop = mDir.path("loop.wav"), decay = mDir.path("decay.wav");
    for (const std::string& path : {attack, loop, decay})
        ASSERT_TRUE(writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, sine(800, 1, 300, 8000)));
    {
        SoundEngineEffect effect{loop.c_str(), attack.c_str(), decay.c_str(), true};
        ASSERT_EQ(effect.AttachFilesToSource(), 0);
        EXPECT_NE(effect.GetAttackBufferID(), 0u);
        EXPECT_NE(effect.GetDecayBufferID(), 0u);
        EXPECT_EQ(effect.GetDecayDataSize(), 1600u);
        ALint attached = -1;
        alGetSourcei(effect.GetEffectID(), AL_BUFFER, &attached);
        EXPECT_EQ(attached, 0) << "a looping effect queues its buffers at each start instead";
    }
    std::string missing = mDir.path("missing.wav");
    {
        SoundEngineEffect effect{loop.c_str(), missing.c_str(), nullptr, true};
        StdoutCapture out;
        EXPECT_EQ(effect.AttachFilesToSource(), -2);
        EXPECT_EQ(out.text(), "Error opening file: -2\nError opening file: -2\n"
                              "Error loading file info: -2\nError loading attack file info: -2\n");
        EXPECT_EQ(effect.GetLoopBufferID(), 0u) << "the loop file is not tried after the attack failed";
    }
    {
        SoundEngineEffect effect{loop.c_str(), nullptr, missing.c_str(), false};
        StdoutCapture out;
        EXPECT_EQ(effect.AttachFilesToSource(), -2);
        EXPECT_EQ(out.text(), "Error opening file: -2\nError opening file: -2\n"
                              "Error loading file info: -2\nError loading decay file info: -2\n");
        ALint attached = 0;
        alGetSourcei(effect.GetEffectID(), AL_BUFFER, &attached);
        EXPECT_EQ(static_cast<ALuint>(attached), effect.GetLoopBufferID());
    }
}

} // namespace

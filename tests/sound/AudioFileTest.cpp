// The audio-file service on libsndfile: formats, byte order, reading, and untrusted files.

#include "SoundTestSupport.h"

#include "platform/device/AudioFile.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <set>

using namespace soundtest;
using namespace platform;

namespace {

int32_t openPath(const std::string& path, std::unique_ptr<AudioFile>& file)
{
    auto url = AudioFileURL::fromFileSystemPath(path.c_str(), path.size());
    if (!url)
        return INT32_MIN;
    return AudioFile::open(*url, file);
}

class AudioFileTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(AudioFile::openFileCount(), 0) << "a file was left open"; }
    TempDir mDir;
};

TEST_F(AudioFileTest, UrlsRefuseEmptyOverlongAndEmbeddedNulAndMakeRelativePathsAbsolute)
{
    EXPECT_FALSE(AudioFileURL::fromFileSystemPath(nullptr, 0));
    EXPECT_FALSE(AudioFileURL::fromFileSystemPath("", 0));
    std::string longest(PATH_MAX - 1, 'a');
    longest[0] = '/';
    EXPECT_TRUE(AudioFileURL::fromFileSystemPath(longest.c_str(), longest.size()));
    std::string tooLong(PATH_MAX, 'a');
    EXPECT_FALSE(AudioFileURL::fromFileSystemPath(tooLong.c_str(), tooLong.size()));
    EXPECT_FALSE(AudioFileURL::fromFileSystemPath("/a\0b", 4));

    auto relative = AudioFileURL::fromFileSystemPath("sounds/x.wav", 12);
    ASSERT_TRUE(relative);
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(relative->path(), std::string(cwd) + "/sounds/x.wav");
    // Bytes that are no valid UTF-8 are still a Linux path.
    auto latin1 = AudioFileURL::fromFileSystemPath("/tmp/caf\xe9.wav", 13);
    ASSERT_TRUE(latin1);
    EXPECT_EQ(latin1->path(), "/tmp/caf\xe9.wav");
}

TEST_F(AudioFileTest, DescribesEachContainerAndByteOrder)
{
    struct Case {
        const char* name;
        int format;
        int channels;
        uint32_t bits;
        bool bigEndian;
        bool isSigned;
    };
    const Case cases[] = {
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8, false, false},
        {"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 16, false, true},
        {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 24, false, true},
        {"rifx.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 1, 16, true, true},
        {"s8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 8, true, true},
        {"s16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 16, true, true},
        {"sowt.aifc", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 1, 16, false, true},
        {"be.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 1, 16, true, true},
        {"le.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 1, 16, false, true},
        {"s8.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_S8, 3, 8, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = mDir.path(c.name);
        ASSERT_TRUE(writeSound(path, c.format, c.channels, 22050, sine(100, c.channels, 300, 22050)));
        std::unique_ptr<AudioFile> file;
        ASSERT_EQ(openPath(path, file), kAudioFileNoError);
        AudioStreamDescription d;
        ASSERT_EQ(file->dataFormat(d), kAudioFileNoError);
        EXPECT_EQ(d.formatID, kAudioFormatLinearPCM);
        EXPECT_EQ(d.sampleRate, 22050.0);
        EXPECT_EQ(d.channelsPerFrame, static_cast<uint32_t>(c.channels));
        EXPECT_EQ(d.bitsPerChannel, c.bits);
        EXPECT_EQ(d.bytesPerFrame, c.bits / 8 * c.channels);
        EXPECT_EQ(d.bytesPerPacket, d.bytesPerFrame);
        EXPECT_EQ(d.framesPerPacket, 1u);
        EXPECT_EQ((d.formatFlags & kAudioFormatFlagIsBigEndian) != 0, c.bigEndian);
        EXPECT_EQ((d.formatFlags & kAudioFormatFlagIsSignedInteger) != 0, c.isSigned);
        uint64_t bytes = 0;
        ASSERT_EQ(file->audioDataByteCount(bytes), kAudioFileNoError);
        EXPECT_EQ(bytes, 100u * d.bytesPerFrame);
    }
}

TEST_F(AudioFileTest, FloatAndEncodedDataAreDescribedButEncodedIsNotHandedOut)
{
    std::string floats = mDir.path("f.wav");
    ASSERT_TRUE(writeSound(floats, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 8000, sine(10, 1, 300, 8000)));
    std::unique_ptr<AudioFile> file;
    ASSERT_EQ(openPath(floats, file), kAudioFileNoError);
    AudioStreamDescription d;
    file->dataFormat(d);
    EXPECT_EQ(d.formatID, kAudioFormatLinearPCM);
    EXPECT_TRUE(d.formatFlags & kAudioFormatFlagIsFloat);
    EXPECT_EQ(d.bitsPerChannel, 32u);
    file.reset();

    std::string ulaw = mDir.path("u.wav");
    ASSERT_TRUE(writeSound(ulaw, SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, sine(10, 1, 300, 8000)));
    ASSERT_EQ(openPath(ulaw, file), kAudioFileNoError);
    file->dataFormat(d);
    EXPECT_EQ(d.formatID, kAudioFormatULaw);
    EXPECT_EQ(d.bitsPerChannel, 8u);
    file.reset();

    std::string adpcm = mDir.path("ima.wav");
    ASSERT_TRUE(writeSound(adpcm, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 8000, sine(2000, 1, 300, 8000)));
    ASSERT_EQ(openPath(adpcm, file), kAudioFileNoError);
    file->dataFormat(d);
    EXPECT_EQ(d.formatID, kAudioFormatEncoded);
    uint64_t bytes = 0;
    EXPECT_EQ(file->audioDataByteCount(bytes), kAudioFileUnsupportedDataFormatError);
    char buffer[16];
    uint32_t count = sizeof buffer;
    EXPECT_EQ(file->readBytes(0, count, buffer), kAudioFileUnsupportedDataFormatError);
    EXPECT_EQ(count, 0u);
}

TEST_F(AudioFileTest, ReadsRawBytesInTheFilesOwnOrderFromAnyStartByte)
{
    const std::vector<int16_t> samples = {0x0102, 0x0304, 0x0506, 0x0708};
    std::string aiff = mDir.path("be.aiff");
    std::string wav = mDir.path("le.wav");
    ASSERT_TRUE(writeSound(aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 8000, samples));
    ASSERT_TRUE(writeSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 8000, samples));

    std::unique_ptr<AudioFile> file;
    ASSERT_EQ(openPath(aiff, file), kAudioFileNoError);
    unsigned char bytes[8] = {};
    uint32_t count = sizeof bytes;
    ASSERT_EQ(file->readBytes(0, count, bytes), kAudioFileNoError);
    ASSERT_EQ(count, 8u);
    const unsigned char bigEndian[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(bytes, bigEndian, 8), 0);

    // A start and an end inside frames (frames are 4 bytes here).
    unsigned char middle[5] = {};
    count = sizeof middle;
    ASSERT_EQ(file->readBytes(1, count, middle), kAudioFileNoError);
    ASSERT_EQ(count, 5u);
    EXPECT_EQ(std::memcmp(middle, bigEndian + 1, 5), 0);

    // Asking for more than is left gives what is left.
    count = 100;
    unsigned char rest[100] = {};
    ASSERT_EQ(file->readBytes(6, count, rest), kAudioFileNoError);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(rest[0], 7);
    EXPECT_EQ(rest[1], 8);

    count = 4;
    EXPECT_EQ(file->readBytes(8, count, rest), kAudioFileEndOfFileError);
    EXPECT_EQ(count, 0u);
    count = 4;
    EXPECT_EQ(file->readBytes(9, count, rest), kAudioFileBadArgumentError);
    count = 4;
    EXPECT_EQ(file->readBytes(0, count, nullptr), kAudioFileBadArgumentError);
    count = 0;
    EXPECT_EQ(file->readBytes(0, count, nullptr), kAudioFileNoError);
    file.reset();

    ASSERT_EQ(openPath(wav, file), kAudioFileNoError);
    count = sizeof bytes;
    ASSERT_EQ(file->readBytes(0, count, bytes), kAudioFileNoError);
    const unsigned char littleEndian[8] = {2, 1, 4, 3, 6, 5, 8, 7};
    EXPECT_EQ(std::memcmp(bytes, littleEndian, 8), 0);
}

TEST_F(AudioFileTest, ExactFractionalRatesComeFromCafAndAiffHeaders)
{
    std::string caf = mDir.path("r.caf");
    ASSERT_TRUE(writeSound(caf, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 1, 44100, sine(10, 1, 300, 44100)));
    patchCafSampleRate(caf, 44099.9);
    std::unique_ptr<AudioFile> file;
    ASSERT_EQ(openPath(caf, file), kAudioFileNoError);
    AudioStreamDescription d;
    file->dataFormat(d);
    EXPECT_DOUBLE_EQ(d.sampleRate, 44099.9);
    file.reset();

    std::string aiff = mDir.path("r.aiff");
    ASSERT_TRUE(writeSound(aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 22050, sine(10, 1, 300, 22050)));
    ASSERT_EQ(openPath(aiff, file), kAudioFileNoError);
    file->dataFormat(d);
    EXPECT_EQ(d.sampleRate, 22050.0);
}

TEST_F(AudioFileTest, EachKindOfFailureHasItsOwnNonzeroCode)
{
    std::unique_ptr<AudioFile> file;
    std::set<int32_t> seen;
    auto expectFailure = [&](const std::string& path, int32_t expected) {
        SCOPED_TRACE(path);
        EXPECT_EQ(openPath(path, file), expected);
        EXPECT_EQ(file, nullptr);
        seen.insert(expected);
    };
    expectFailure(mDir.path("missing.wav"), kAudioFileNotFoundError);
    expectFailure(mDir.path("missing/under/folder.wav"), kAudioFileNotFoundError);
    std::filesystem::create_directory(mDir.path("folder.wav"));
    expectFailure(mDir.path("folder.wav"), kAudioFileNotRegularFileError);
    writeBytes(mDir.path("text.wav"), std::vector<uint8_t>(200, 'x'));
    expectFailure(mDir.path("text.wav"), kAudioFileUnsupportedFileTypeError);
    writeBytes(mDir.path("empty.wav"), {});
    expectFailure(mDir.path("empty.wav"), kAudioFileUnsupportedFileTypeError);
    writeBytes(mDir.path("nochannels.wav"), wavBytes(0, 16, 8000, std::vector<uint8_t>(8)));
    expectFailure(mDir.path("nochannels.wav"), kAudioFileInvalidFileError);
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen.count(0), 0u);
}

TEST_F(AudioFileTest, HeadersThatClaimMoreDataThanTheFileHoldsAreMalformed)
{
    const std::vector<uint8_t> data(100, 0x11);
    // Truncated: the data chunk says 1000 bytes, 100 are there.
    writeBytes(mDir.path("truncated.wav"), wavBytes(1, 16, 8000, data, 1000, 1036));
    // Absurd: nearly 4 GiB claimed.
    writeBytes(mDir.path("absurd.wav"), wavBytes(1, 16, 8000, data, 0xFFFFFFE0u, 0xFFFFFFF0u));
    std::unique_ptr<AudioFile> file;
    EXPECT_EQ(openPath(mDir.path("truncated.wav"), file), kAudioFileInvalidFileError);
    EXPECT_EQ(openPath(mDir.path("absurd.wav"), file), kAudioFileInvalidFileError);

    // A RIFF total that is off while the data chunk is right is common and harmless.
    writeBytes(mDir.path("sloppy.wav"), wavBytes(1, 16, 8000, data, 100, 5000));
    ASSERT_EQ(openPath(mDir.path("sloppy.wav"), file), kAudioFileNoError);
    uint64_t bytes = 0;
    EXPECT_EQ(file->audioDataByteCount(bytes), kAudioFileNoError);
    EXPECT_EQ(bytes, 100u);
    file.reset();

    // Truncated AIFF and CAF too.
    for (const char* name : {"cut.aiff", "cut.caf"}) {
        SCOPED_TRACE(name);
        std::string path = mDir.path(name);
        int format = std::string(name).ends_with("caf") ? SF_FORMAT_CAF : SF_FORMAT_AIFF;
        ASSERT_TRUE(writeSound(path, format | SF_FORMAT_PCM_16, 1, 8000, sine(1000, 1, 300, 8000)));
        std::vector<uint8_t> whole = readBytes(path);
        whole.resize(whole.size() - 500);
        writeBytes(path, whole);
        EXPECT_EQ(openPath(path, file), kAudioFileInvalidFileError);
    }
}

TEST_F(AudioFileTest, AFileThatShrinksAfterOpeningFailsToReadInsteadOfComingBackShort)
{
    std::string path = mDir.path("shrinks.wav");
    ASSERT_TRUE(writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, sine(1000, 1, 300, 8000)));
    std::unique_ptr<AudioFile> file;
    ASSERT_EQ(openPath(path, file), kAudioFileNoError);
    uint64_t bytes = 0;
    ASSERT_EQ(file->audioDataByteCount(bytes), kAudioFileNoError);
    ASSERT_EQ(truncate(path.c_str(), 44 + 300), 0);
    std::vector<unsigned char> buffer(bytes);
    uint32_t count = static_cast<uint32_t>(bytes);
    EXPECT_EQ(file->readBytes(0, count, buffer.data()), kAudioFileInvalidFileError);
    EXPECT_EQ(count, 0u);
}

} // namespace

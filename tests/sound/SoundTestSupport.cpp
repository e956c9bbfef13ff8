#include "SoundTestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace soundtest {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "brimsey-sound-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        ADD_FAILURE() << "mkdtemp failed";
    mPath = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(mPath, ignored);
}

std::string TempDir::path(const std::string& name) const
{
    return (mPath / name).string();
}

std::vector<int16_t> sine(size_t frames, int channels, double hz, int rate, double amplitude)
{
    std::vector<int16_t> samples;
    samples.reserve(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        double value = amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
        for (int c = 0; c < channels; ++c)
            samples.push_back(static_cast<int16_t>(std::lround(value)));
    }
    return samples;
}

bool writeSound(const std::string& path, int sndfileFormat, int channels, int rate, const std::vector<int16_t>& samples)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = sndfileFormat;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        ADD_FAILURE() << "libsndfile cannot write " << path << ": " << sf_strerror(nullptr);
        return false;
    }
    sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    sf_count_t written = sf_writef_short(file, samples.data(), frames);
    sf_close(file);
    EXPECT_EQ(written, frames);
    return written == frames;
}

namespace {
void put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}
void putTag(std::vector<uint8_t>& out, const char* tag)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(tag[i]));
}
} // namespace

std::vector<uint8_t> wavBytes(int channels, int bits, uint32_t rate, const std::vector<uint8_t>& data,
                              uint32_t declaredDataBytes, uint32_t declaredRiffBytes)
{
    std::vector<uint8_t> out;
    putTag(out, "RIFF");
    put32(out, declaredRiffBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, static_cast<uint32_t>(channels));
    put32(out, rate);
    uint32_t blockAlign = static_cast<uint32_t>(channels * bits / 8);
    put32(out, rate * blockAlign);
    put16(out, blockAlign);
    put16(out, static_cast<uint32_t>(bits));
    putTag(out, "data");
    put32(out, declaredDataBytes);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void patchCafSampleRate(const std::string& path, double rate)
{
    std::vector<uint8_t> bytes = readBytes(path);
    ASSERT_GE(bytes.size(), 28u);
    ASSERT_EQ(std::memcmp(bytes.data() + 8, "desc", 4), 0) << "desc is not the first chunk";
    uint64_t bits = 0;
    std::memcpy(&bits, &rate, sizeof bits);
    for (int i = 0; i < 8; ++i)
        bytes[20 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    writeBytes(path, bytes);
}

StdoutCapture::StdoutCapture()
{
    std::fflush(stdout);
    testing::internal::CaptureStdout();
}

StdoutCapture::~StdoutCapture()
{
    if (mActive)
        testing::internal::GetCapturedStdout();
}

std::string StdoutCapture::text()
{
    mActive = false;
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

} // namespace soundtest

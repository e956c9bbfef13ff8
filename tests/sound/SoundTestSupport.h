#pragma once
// Helpers the sound tests share: audio files made on the spot (with libsndfile, or byte by
// byte where a file must be malformed), a temporary folder, and captured standard output.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace soundtest {

// A fresh folder under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const;

private:
    std::filesystem::path mPath;
};

// int16 samples of a sine wave, interleaved for all channels.
std::vector<int16_t> sine(size_t frames, int channels, double hz, int rate, double amplitude = 0.5);

// Writes the samples with libsndfile in the given SF_FORMAT_* combination. Fails the test
// (and returns false) if libsndfile cannot.
bool writeSound(const std::string& path, int sndfileFormat, int channels, int rate,
                const std::vector<int16_t>& samples);

// A canonical PCM WAV file, built byte by byte so that a test can make its header lie.
std::vector<uint8_t> wavBytes(int channels, int bits, uint32_t rate, const std::vector<uint8_t>& data,
                              uint32_t declaredDataBytes, uint32_t declaredRiffBytes);
inline std::vector<uint8_t> wavBytes(int channels, int bits, uint32_t rate, const std::vector<uint8_t>& data)
{
    return wavBytes(channels, bits, rate, data, static_cast<uint32_t>(data.size()),
                    static_cast<uint32_t>(36 + data.size()));
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readBytes(const std::string& path);

// Sets the sample rate in the 'desc' chunk of a CAF file written by libsndfile (which
// stores whole hertz only).
void patchCafSampleRate(const std::string& path, double rate);

// Everything printed to standard output between construction and text().
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    std::string text();

private:
    bool mActive{true};
};

} // namespace soundtest

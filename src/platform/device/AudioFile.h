#pragma once
// The audio-file service: opens an audio file (WAV, AIFF/AIFC, CAF and whatever else
// libsndfile reads), describes its sample data and hands out the raw sample bytes in the
// file's own byte order. Files are untrusted input: every failure is a distinct nonzero
// status, never a crash, and no request can make a caller allocate more than the file holds.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// Status codes. Negative, so they never meet the small positive codes callers keep for
// themselves, nor OpenAL's 0xA00x codes.
enum AudioFileStatus : int32_t {
    kAudioFileNoError = 0,
    kAudioFileUnspecifiedError = -1,           // the decoder failed without saying why
    kAudioFileNotFoundError = -2,              // no such file or directory
    kAudioFilePermissionsError = -3,           // the file may not be read
    kAudioFileNotRegularFileError = -4,        // a directory, fifo or device
    kAudioFileUnsupportedFileTypeError = -5,   // not an audio file this service knows
    kAudioFileInvalidFileError = -6,           // malformed: bad header, truncated data
    kAudioFileUnsupportedDataFormatError = -7, // encoded data without fixed-size frames
    kAudioFileTooLargeError = -8,              // more audio data than kAudioFileMaxDataByteCount
    kAudioFileBadArgumentError = -9,           // null buffer, start past the end of the data
    kAudioFileEndOfFileError = -10,            // nothing left to read at the start byte
};

// The largest audio data the service hands out (256 MiB, about 25 minutes of CD audio).
// Callers read whole files into one block; a header claiming more is refused before anyone
// allocates for it.
inline constexpr uint64_t kAudioFileMaxDataByteCount = uint64_t{256} << 20;

inline constexpr uint32_t kAudioFormatLinearPCM = 0x6C70636D; // 'lpcm'
inline constexpr uint32_t kAudioFormatULaw = 0x756C6177;      // 'ulaw'
inline constexpr uint32_t kAudioFormatALaw = 0x616C6177;      // 'alaw'
inline constexpr uint32_t kAudioFormatEncoded = 0x656E6364;   // 'encd': ADPCM, FLAC, Vorbis...

inline constexpr uint32_t kAudioFormatFlagIsFloat = 0x1;
inline constexpr uint32_t kAudioFormatFlagIsBigEndian = 0x2;
inline constexpr uint32_t kAudioFormatFlagIsSignedInteger = 0x4;
inline constexpr uint32_t kAudioFormatFlagIsPacked = 0x8;

// The data format of a file, 40 bytes laid out as callers of this service expect.
struct AudioStreamDescription {
    double sampleRate{0.0};
    uint32_t formatID{0};
    uint32_t formatFlags{0};
    uint32_t bytesPerPacket{0};
    uint32_t framesPerPacket{0};
    uint32_t bytesPerFrame{0};
    uint32_t channelsPerFrame{0};
    uint32_t bitsPerChannel{0};
    uint32_t reserved{0};
};
static_assert(sizeof(AudioStreamDescription) == 40);

// Where an audio file lives: an absolute file-system path made from the caller's bytes.
class AudioFileURL final {
public:
    // Nothing results for a null or empty path, one of PATH_MAX bytes or more, or a relative
    // path while the working directory cannot be read. The bytes are kept unchanged
    // otherwise (Linux paths are bytes, not text).
    static std::optional<AudioFileURL> fromFileSystemPath(const char* bytes, size_t length);

    const std::string& path() const { return mPath; }

private:
    explicit AudioFileURL(std::string path) : mPath{std::move(path)} { }
    std::string mPath;
};

class AudioFile final {
public:
    // Opens the file for reading. On failure outFile is left empty.
    static int32_t open(const AudioFileURL& url, std::unique_ptr<AudioFile>& outFile);

    ~AudioFile(); // closes the file
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    int32_t dataFormat(AudioStreamDescription& outFormat) const;
    // Bytes of sample data the file holds (frames times bytes per frame).
    int32_t audioDataByteCount(uint64_t& outByteCount) const;
    // Reads up to ioByteCount bytes of sample data starting at startByte into buffer and
    // sets ioByteCount to the number read. Fewer bytes than asked come back only at the end
    // of the data.
    int32_t readBytes(uint64_t startByte, uint32_t& ioByteCount, void* buffer);

    // Files open right now, process-wide: lets tests prove that every path closes its file.
    static int openFileCount();

    struct Impl;

private:
    explicit AudioFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> mImpl;
};

} // namespace platform

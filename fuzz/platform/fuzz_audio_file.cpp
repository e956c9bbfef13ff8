// Audio files (WAV, AIFF/AIFC, CAF and whatever else libsndfile reads) through the
// audio-file service, as the sound engine loads them.
//
// Invariants: every status is 0 or one of the documented negative codes; a data byte count
// never exceeds the file and is a whole number of frames, each frame as wide as the format
// says; reading the whole data gives exactly that many bytes (or an error that reads
// nothing); a read at any offset gives the same bytes as the whole read at that place; reads
// at and past the end are refused as documented; no file stays open.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/Check.h"
#include "platform/device/AudioFile.h"

using fuzzcheck::require;
using namespace platform;

namespace {

bool documented(int32_t status)
{
    return status <= kAudioFileNoError && status >= kAudioFileEndOfFileError;
}

void checkOpenFile(AudioFile& file, uint64_t fileSize, const std::uint8_t* data, std::size_t size)
{
    AudioStreamDescription format;
    require(file.dataFormat(format) == kAudioFileNoError, "an open file describes its format");
    uint64_t count = 0;
    const int32_t status = file.audioDataByteCount(count);
    require(documented(status), "byte count status is documented");
    if (status != kAudioFileNoError)
        return;
    require(count <= fileSize, "the data is no larger than the file");
    require(format.bytesPerFrame != 0 && format.bytesPerFrame == format.bitsPerChannel / 8 * format.channelsPerFrame,
            "frames are channels times sample width");
    require(count % format.bytesPerFrame == 0, "the data is whole frames");

    std::vector<unsigned char> whole(count);
    uint32_t got = static_cast<uint32_t>(count);
    const int32_t read = file.readBytes(0, got, whole.data());
    require(documented(read), "read status is documented");
    if (read != kAudioFileNoError) {
        require(got == 0, "a failed read reads nothing");
        return;
    }
    require(count == 0 || got == count, "a whole read gives every byte");

    // A window at an offset the input chooses matches the whole read.
    if (count > 0 && size >= 2) {
        const uint64_t start = (uint64_t{data[size - 1]} << 8 | data[size - 2]) % count;
        uint32_t length = static_cast<uint32_t>(1 + (uint64_t{data[0]} * 7) % (count - start + 3));
        std::vector<unsigned char> window(length);
        const uint32_t asked = length;
        require(file.readBytes(start, length, window.data()) == kAudioFileNoError, "a window inside the data reads");
        require(length == std::min<uint64_t>(asked, count - start), "a window stops only at the end of the data");
        require(std::memcmp(window.data(), whole.data() + start, length) == 0, "a window matches the whole read");
    }
    unsigned char byte = 0;
    uint32_t one = 1;
    require(file.readBytes(count, one, &byte) == kAudioFileEndOfFileError && one == 0, "reading at the end is EOF");
    one = 1;
    require(file.readBytes(count + 1, one, &byte) == kAudioFileBadArgumentError && one == 0,
            "reading past the end is refused");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The service opens paths: the bytes live in an anonymous memory file.
    const int fd = memfd_create("fuzz-audio", MFD_CLOEXEC);
    require(fd >= 0, "memfd_create");
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        require(n > 0, "writing the memory file");
        written += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const auto url = AudioFileURL::fromFileSystemPath(path.data(), path.size());
    require(url.has_value(), "a plain absolute path makes a URL");
    {
        std::unique_ptr<AudioFile> file;
        const int32_t status = AudioFile::open(*url, file);
        require(documented(status), "open status is documented");
        require((status == kAudioFileNoError) == bool(file), "a file exactly when open succeeds");
        if (file)
            checkOpenFile(*file, size, data, size);
    }
    require(AudioFile::openFileCount() == 0, "every file is closed");
    ::close(fd);
    return 0;
}

#include "platform/device/AudioFile.h"

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::atomic<int> gOpenFiles{0};

int32_t statusForErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return kAudioFileNotFoundError;
    case EACCES:
    case EPERM:
        return kAudioFilePermissionsError;
    default:
        return kAudioFileUnspecifiedError;
    }
}

int32_t statusForOpenFailure(int sndfileError)
{
    switch (sndfileError) {
    case SF_ERR_UNRECOGNISED_FORMAT:
        return kAudioFileUnsupportedFileTypeError;
    case SF_ERR_SYSTEM:
        return kAudioFileUnspecifiedError;
    case SF_ERR_UNSUPPORTED_ENCODING:
        return kAudioFileUnsupportedDataFormatError;
    default:
        // libsndfile's own numbers past the public four all describe headers it could not
        // make sense of.
        return kAudioFileInvalidFileError;
    }
}

// libsndfile quietly shortens a data chunk that claims more bytes than the file holds and
// notes it in its log as "data : 2000 (should be 1500)". A file that lies about its sample
// data is malformed; other size notes (the RIFF or FORM total) are common writer sloppiness
// and harmless.
bool dataChunkWasShortened(SNDFILE* file)
{
    // Left unfilled: libsndfile writes a terminated copy of its log, usually a few hundred
    // bytes, and clearing all 16 KiB for each file was a good part of opening one.
    char log[16384];
    log[0] = '\0';
    sf_command(file, SFC_GET_LOG_INFO, log, static_cast<int>(sizeof log));
    log[sizeof log - 1] = '\0';
    const char* line = log;
    while (*line) {
        const char* end = std::strchr(line, '\n');
        std::string_view text{line, end ? static_cast<size_t>(end - line) : std::strlen(line)};
        size_t first = text.find_first_not_of(' ');
        if (first != std::string_view::npos) {
            text.remove_prefix(first);
            if ((text.starts_with("data ") || text.starts_with("SSND ")) &&
                text.find("(should be") != std::string_view::npos)
                return true;
        }
        if (!end)
            break;
        line = end + 1;
    }
    return false;
}

uint32_t bigEndian32(const unsigned char* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint64_t bigEndian64(const unsigned char* p)
{
    return (uint64_t{bigEndian32(p)} << 32) | bigEndian32(p + 4);
}

// CAF and AIFF store the sample rate as a floating-point number (a double, an 80-bit
// extended) and libsndfile reports it rounded to whole hertz. The exact rate is read from
// the header itself; 0 when it cannot be.
double exactSampleRate(const unsigned char* header, size_t size, int majorFormat)
{
    if (size < 12)
        return 0.0;
    if (majorFormat == SF_FORMAT_CAF) {
        // 'caff' header, then the 'desc' chunk first: its data starts with the rate.
        if (size < 28 || std::memcmp(header + 8, "desc", 4) != 0)
            return 0.0;
        return std::bit_cast<double>(bigEndian64(header + 20));
    }
    if (majorFormat == SF_FORMAT_AIFF) {
        // 'FORM' size 'AIFF'/'AIFC', then chunks: id, big-endian size, data padded to even.
        size_t at = 12;
        while (at + 8 <= size) {
            const uint32_t chunkSize = bigEndian32(header + at + 4);
            if (std::memcmp(header + at, "COMM", 4) == 0) {
                // channels (2), frames (4), bits (2), then the rate as an 80-bit extended.
                if (chunkSize < 18 || at + 8 + 18 > size)
                    return 0.0;
                const unsigned char* extended = header + at + 8 + 8;
                const int exponent = ((extended[0] & 0x7F) << 8) | extended[1];
                const uint64_t mantissa = bigEndian64(extended + 2);
                if ((extended[0] & 0x80) || exponent == 0x7FFF)
                    return 0.0;
                return std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
            }
            at += 8 + static_cast<size_t>(chunkSize) + (chunkSize & 1);
        }
    }
    return 0.0;
}

AudioStreamDescription describe(const SF_INFO& info, bool dataIsBigEndian)
{
    AudioStreamDescription d;
    d.sampleRate = info.samplerate;
    d.channelsPerFrame = static_cast<uint32_t>(info.channels);
    d.framesPerPacket = 1;
    uint32_t bits = 0;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
        d.formatID = kAudioFormatLinearPCM;
        d.formatFlags = kAudioFormatFlagIsSignedInteger;
        bits = 8;
        break;
    case SF_FORMAT_PCM_U8:
        d.formatID = kAudioFormatLinearPCM;
        bits = 8;
        break;
    case SF_FORMAT_PCM_16:
        d.formatID = kAudioFormatLinearPCM;
        d.formatFlags = kAudioFormatFlagIsSignedInteger;
        bits = 16;
        break;
    case SF_FORMAT_PCM_24:
        d.formatID = kAudioFormatLinearPCM;
        d.formatFlags = kAudioFormatFlagIsSignedInteger;
        bits = 24;
        break;
    case SF_FORMAT_PCM_32:
        d.formatID = kAudioFormatLinearPCM;
        d.formatFlags = kAudioFormatFlagIsSignedInteger;
        bits = 32;
        break;
    case SF_FORMAT_FLOAT:
        d.formatID = kAudioFormatLinearPCM;
        d.formatFlags = kAudioFormatFlagIsFloat;
        bits = 32;
        break;
    case SF_FORMAT_DOUBLE:
        d.formatID = kAudioFormatLinearPCM;
        d.formatFlags = kAudioFormatFlagIsFloat;
        bits = 64;
        break;
    case SF_FORMAT_ULAW:
        d.formatID = kAudioFormatULaw;
        bits = 8;
        break;
    case SF_FORMAT_ALAW:
        d.formatID = kAudioFormatALaw;
        bits = 8;
        break;
    default:
        // Compressed data has no fixed frame size: it is described, not handed out raw.
        d.formatID = kAudioFormatEncoded;
        return d;
    }
    d.formatFlags |= kAudioFormatFlagIsPacked;
    if (dataIsBigEndian)
        d.formatFlags |= kAudioFormatFlagIsBigEndian;
    d.bitsPerChannel = bits;
    d.bytesPerFrame = bits / 8 * d.channelsPerFrame;
    d.bytesPerPacket = d.bytesPerFrame;
    return d;
}

} // namespace

std::optional<AudioFileURL> AudioFileURL::fromFileSystemPath(const char* bytes, size_t length)
{
    if (!bytes || length == 0 || length >= PATH_MAX)
        return std::nullopt;
    if (std::memchr(bytes, '\0', length))
        return std::nullopt;
    std::string path{bytes, length};
    if (path.front() != '/') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return std::nullopt;
        std::string base{cwd};
        if (base.back() != '/')
            base += '/';
        path = base + path;
        if (path.size() >= PATH_MAX)
            return std::nullopt;
    }
    return AudioFileURL{std::move(path)};
}

struct AudioFile::Impl {
    int fd{-1};
    SNDFILE* file{nullptr};
    SF_INFO info{};
    uint64_t fileSize{0};

    // libsndfile reads a header a few bytes at a time, each read and seek a system call of
    // its own (about thirty per WAV file). It reads through the functions below instead:
    // while opening, the file's first bytes are read once and serve every header read;
    // seeks only move `position`; the sample data goes from the file straight to the caller
    // with pread.
    static constexpr size_t kHeadCapacity = 4096;
    unsigned char head[kHeadCapacity];
    size_t headSize{0};
    uint64_t position{0};
    AudioStreamDescription format{};

    ~Impl()
    {
        if (file)
            sf_close(file);
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {

AudioFile::Impl& fileOf(void* userData)
{
    return *static_cast<AudioFile::Impl*>(userData);
}

sf_count_t virtualLength(void* userData)
{
    return static_cast<sf_count_t>(fileOf(userData).fileSize);
}

sf_count_t virtualSeek(sf_count_t offset, int whence, void* userData)
{
    AudioFile::Impl& file = fileOf(userData);
    sf_count_t base = 0;
    if (whence == SEEK_CUR)
        base = static_cast<sf_count_t>(file.position);
    else if (whence == SEEK_END)
        base = static_cast<sf_count_t>(file.fileSize);
    else if (whence != SEEK_SET)
        return -1;
    if (offset < 0 ? base < -offset : offset > INT64_MAX - base)
        return -1;
    file.position = static_cast<uint64_t>(base + offset);
    return base + offset;
}

sf_count_t virtualRead(void* buffer, sf_count_t count, void* userData)
{
    AudioFile::Impl& file = fileOf(userData);
    if (count <= 0 || file.position >= file.fileSize)
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    const uint64_t wanted = std::min<uint64_t>(static_cast<uint64_t>(count), file.fileSize - file.position);
    uint64_t done = 0;
    if (file.position < file.headSize) {
        done = std::min<uint64_t>(wanted, file.headSize - file.position);
        std::memcpy(out, file.head + file.position, done);
    }
    while (done < wanted) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(wanted - done, SSIZE_MAX));
        ssize_t got = ::pread(file.fd, out + done, chunk, static_cast<off_t>(file.position + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // libsndfile takes a short read as the end of the file
        done += static_cast<uint64_t>(got);
    }
    file.position += done;
    return static_cast<sf_count_t>(done);
}

sf_count_t virtualWrite(const void*, sf_count_t, void*)
{
    return 0; // opened for reading only
}

sf_count_t virtualTell(void* userData)
{
    return static_cast<sf_count_t>(fileOf(userData).position);
}

SF_VIRTUAL_IO gVirtualIO{virtualLength, virtualSeek, virtualRead, virtualWrite, virtualTell};

} // namespace

AudioFile::AudioFile(std::unique_ptr<Impl> impl) : mImpl{std::move(impl)}
{
    ++gOpenFiles;
}

AudioFile::~AudioFile()
{
    --gOpenFiles;
}

int AudioFile::openFileCount()
{
    return gOpenFiles.load();
}

int32_t AudioFile::open(const AudioFileURL& url, std::unique_ptr<AudioFile>& outFile)
{
    outFile.reset();
    auto impl = std::make_unique_for_overwrite<Impl>();
    impl->fd = ::open(url.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (impl->fd < 0)
        return statusForErrno(errno);
    struct stat st { };
    if (::fstat(impl->fd, &st) != 0)
        return statusForErrno(errno);
    if (!S_ISREG(st.st_mode))
        return kAudioFileNotRegularFileError;
    impl->fileSize = static_cast<uint64_t>(st.st_size);

    for (;;) {
        ssize_t got = ::pread(impl->fd, impl->head, Impl::kHeadCapacity, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return statusForErrno(errno);
        impl->headSize = static_cast<size_t>(got);
        break;
    }

    // The descriptor stays ours; libsndfile only reads through gVirtualIO.
    impl->file = sf_open_virtual(&gVirtualIO, SFM_READ, &impl->info, impl.get());
    if (!impl->file)
        return statusForOpenFailure(sf_error(nullptr));
    if (impl->info.channels <= 0 || impl->info.frames < 0)
        return kAudioFileInvalidFileError;
    if (dataChunkWasShortened(impl->file))
        return kAudioFileInvalidFileError;

    // libsndfile hands raw bytes over already swapped when asked nothing; the byte order of
    // the file itself is what it would have to swap on this host.
    bool swapped = sf_command(impl->file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
    bool hostIsBig = std::endian::native == std::endian::big;
    impl->format = describe(impl->info, swapped != hostIsBig);
    // Trust the header's exact rate only where it agrees with libsndfile's rounding.
    const double exact = exactSampleRate(impl->head, impl->headSize, impl->info.format & SF_FORMAT_TYPEMASK);
    if (std::isfinite(exact) && std::fabs(exact - impl->info.samplerate) < 1.0)
        impl->format.sampleRate = exact;

    // From here on every read goes to the file as it is now: one that shrinks after opening
    // must fail to read, not hand out what it held before.
    impl->headSize = 0;
    outFile.reset(new AudioFile{std::move(impl)});
    return kAudioFileNoError;
}

int32_t AudioFile::dataFormat(AudioStreamDescription& outFormat) const
{
    outFormat = mImpl->format;
    return kAudioFileNoError;
}

int32_t AudioFile::audioDataByteCount(uint64_t& outByteCount) const
{
    const uint32_t bytesPerFrame = mImpl->format.bytesPerFrame;
    if (bytesPerFrame == 0)
        return kAudioFileUnsupportedDataFormatError;
    const auto frames = static_cast<uint64_t>(mImpl->info.frames);
    if (frames > mImpl->fileSize / bytesPerFrame)
        return kAudioFileInvalidFileError; // more data than the file could hold
    const uint64_t bytes = frames * bytesPerFrame;
    if (bytes > kAudioFileMaxDataByteCount)
        return kAudioFileTooLargeError;
    outByteCount = bytes;
    return kAudioFileNoError;
}

int32_t AudioFile::readBytes(uint64_t startByte, uint32_t& ioByteCount, void* buffer)
{
    uint64_t total = 0;
    if (int32_t status = audioDataByteCount(total); status != kAudioFileNoError) {
        ioByteCount = 0;
        return status;
    }
    if (!buffer && ioByteCount != 0)
        return kAudioFileBadArgumentError;
    if (startByte > total) {
        ioByteCount = 0;
        return kAudioFileBadArgumentError;
    }
    if (ioByteCount == 0)
        return kAudioFileNoError;
    if (startByte == total) {
        ioByteCount = 0;
        return kAudioFileEndOfFileError;
    }

    const uint64_t bytesPerFrame = mImpl->format.bytesPerFrame;
    const uint64_t wanted = std::min<uint64_t>(ioByteCount, total - startByte);
    if (sf_seek(mImpl->file, static_cast<sf_count_t>(startByte / bytesPerFrame), SEEK_SET) < 0) {
        ioByteCount = 0;
        return kAudioFileInvalidFileError;
    }

    // libsndfile reads whole frames only; a start or end inside a frame goes through one
    // scratch frame.
    auto* out = static_cast<unsigned char*>(buffer);
    uint64_t done = 0;
    std::vector<unsigned char> frame;
    auto readPartialFrame = [&](uint64_t skip, uint64_t count) {
        frame.resize(bytesPerFrame);
        if (sf_read_raw(mImpl->file, frame.data(), static_cast<sf_count_t>(bytesPerFrame)) !=
            static_cast<sf_count_t>(bytesPerFrame))
            return false;
        std::memcpy(out + done, frame.data() + skip, count);
        done += count;
        return true;
    };

    const uint64_t skip = startByte % bytesPerFrame;
    if (skip != 0 && !readPartialFrame(skip, std::min(bytesPerFrame - skip, wanted))) {
        ioByteCount = 0;
        return kAudioFileInvalidFileError;
    }
    const uint64_t whole = (wanted - done) / bytesPerFrame * bytesPerFrame;
    if (whole != 0) {
        sf_count_t got = sf_read_raw(mImpl->file, out + done, static_cast<sf_count_t>(whole));
        if (got != static_cast<sf_count_t>(whole)) {
            // The header promised these bytes; a file that ends early is malformed.
            ioByteCount = 0;
            return kAudioFileInvalidFileError;
        }
        done += whole;
    }
    if (done < wanted && !readPartialFrame(0, wanted - done)) {
        ioByteCount = 0;
        return kAudioFileInvalidFileError;
    }
    ioByteCount = static_cast<uint32_t>(done);
    return kAudioFileNoError;
}

} // namespace platform

#pragma once

#include "platform/device/AudioFile.h"
#include "sound/SoundEngine.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Background music: created empty next to the device object. The game gives it no track;
// what it holds is open track files, which Teardown closes.
class BackgroundTrackMgr final {
public:
    struct BG_FileInfo {
        std::string mFilePath;
        std::unique_ptr<platform::AudioFile> mAFID;
        platform::AudioStreamDescription mFileFormat{};
        uint64_t mFileDataSize{0};
    };

    BackgroundTrackMgr() = default;
    ~BackgroundTrackMgr() { Teardown(); }
    BackgroundTrackMgr(const BackgroundTrackMgr&) = delete;
    BackgroundTrackMgr& operator=(const BackgroundTrackMgr&) = delete;

    // Opens a track file and keeps it open until Teardown.
    SoundEngineStatus AddTrack(const char* inPath);
    size_t TrackCount() const { return mBGFileInfo.size(); }
    // Closes every track file and frees the storage.
    void Teardown();

private:
    std::vector<std::unique_ptr<BG_FileInfo>> mBGFileInfo;
};

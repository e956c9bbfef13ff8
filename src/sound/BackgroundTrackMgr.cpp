#include "sound/BackgroundTrackMgr.h"

#include "sound/SoundEngineEffect.h"

SoundEngineStatus BackgroundTrackMgr::AddTrack(const char* inPath)
{
    auto info = std::make_unique<BG_FileInfo>();
    SoundEngineStatus result = LoadFileDataInfo(inPath, info->mAFID, info->mFileFormat, info->mFileDataSize);
    if (result != 0)
        return result;
    info->mFilePath = inPath;
    mBGFileInfo.push_back(std::move(info));
    return 0;
}

void BackgroundTrackMgr::Teardown()
{
    // Each file closes with its info.
    mBGFileInfo.clear();
    mBGFileInfo.shrink_to_fit();
}

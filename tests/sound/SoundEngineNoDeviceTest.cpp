// A machine where OpenAL opens no output device (ctest names a driver that does not exist):
// the failure is printed and returned, and nothing later crashes.

#include "SoundTestSupport.h"

#include "platform/device/AudioFile.h"
#include "sound/OpenALObject.h"
#include "sound/SoundEngine.h"
#include "sound/SoundEngineInternal.h"

#include <AL/al.h>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace soundtest;

namespace {

class SoundEngineNoDeviceTest : public testing::Test {
protected:
    void SetUp() override
    {
        SoundEngineShutDown();
        ASSERT_TRUE(writeSound(mBeep, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, sine(800, 1, 440, 8000)));
    }
    void TearDown() override { SoundEngineShutDown(); }
    TempDir mDir;
    std::string mBeep = mDir.path("beep.wav");
};

TEST_F(SoundEngineNoDeviceTest, InitializePrintsTheOpenErrorAndKeepsTheHalfBuiltObject)
{
    StdoutCapture out;
    EXPECT_EQ(SoundEngine_Initialize(44100), 0xA004);
    EXPECT_EQ(out.text(), "Error opening output device: a004\n");
    ASSERT_NE(SoundEngineDeviceObject(), nullptr);
    EXPECT_EQ(SoundEngineDeviceObject()->GetDevice(), nullptr);
    EXPECT_EQ(SoundEngineDeviceObject()->GetContext(), nullptr);
    EXPECT_EQ(SoundEngine_StartEffect(1), kSoundEngineErrInvalidID);
    EXPECT_NE(SoundEngine_SetListenerPosition(0, 0, 0), 0);
}

TEST_F(SoundEngineNoDeviceTest, LoadInitialisesOnceAndLaterLoadsFailWithoutCrashing)
{
    SoundEngineEffectID id = 11;
    {
        StdoutCapture out;
        EXPECT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &id), 0xA004);
        EXPECT_EQ(out.text(), "Error opening output device: a004\n");
    }
    {
        // No second attempt to open the device: the load itself fails at OpenAL's first call.
        StdoutCapture out;
        EXPECT_NE(SoundEngine_LoadEffect(mBeep.c_str(), &id), 0);
        EXPECT_EQ(out.text().find("Error opening output device"), std::string::npos);
    }
    EXPECT_EQ(id, 11u);
    EXPECT_EQ(platform::AudioFile::openFileCount(), 0);
}

} // namespace

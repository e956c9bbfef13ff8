#include "platform/backend/gtk/SoundOutput.h"

#include <AL/alc.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

using platform::gtk::chooseSoundOutput;
using platform::gtk::defaultSoundDeviceOpens;
using platform::gtk::SoundOutput;

// Each case runs in a process of its own (ctest), so OpenAL has not picked an output yet.

TEST(SoundOutput, AChoiceAlreadyMadeIsLeftAlone)
{
    setenv("ALSOFT_DRIVERS", "wave", 1);
    bool probed = false;
    std::string note = "stale";
    EXPECT_EQ(chooseSoundOutput(&note,
                                [&] {
                                    probed = true;
                                    return false;
                                }),
              SoundOutput::UserChoice);
    EXPECT_FALSE(probed);
    EXPECT_EQ(note, "");
    EXPECT_STREQ(getenv("ALSOFT_DRIVERS"), "wave");
}

TEST(SoundOutput, WithoutADeviceTheGamePlaysSilentlyAndSaysSo)
{
    unsetenv("ALSOFT_DRIVERS");
    std::string note;
    EXPECT_EQ(chooseSoundOutput(&note, [] { return false; }), SoundOutput::Silent);
    EXPECT_STREQ(getenv("ALSOFT_DRIVERS"), "null");
    EXPECT_EQ(note, "no sound output device found; playing without sound");
}

TEST(SoundOutput, WithADeviceNothingChanges)
{
    unsetenv("ALSOFT_DRIVERS");
    std::string note;
    EXPECT_EQ(chooseSoundOutput(&note, [] { return true; }), SoundOutput::Default);
    EXPECT_EQ(getenv("ALSOFT_DRIVERS"), nullptr);
    EXPECT_EQ(note, "");
}

TEST(SoundOutput, AfterTheRealChoiceAnOutputOpensOnThisMachine)
{
    // Whether or not this machine has a sound device, the game must get an output.
    unsetenv("ALSOFT_DRIVERS");
    bool hasDevice = defaultSoundDeviceOpens();
    std::string note;
    SoundOutput choice = chooseSoundOutput(&note);
    EXPECT_EQ(choice, hasDevice ? SoundOutput::Default : SoundOutput::Silent);
    ALCdevice* device = alcOpenDevice(nullptr);
    ASSERT_NE(device, nullptr);
    alcCloseDevice(device);
}

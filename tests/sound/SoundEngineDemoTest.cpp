// sound-engine-demo as a person or script runs it.

#include "SoundTestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cstdio>

using namespace soundtest;

namespace {

struct DemoRun {
    std::string output;
    int exitCode{-1};
};

DemoRun runDemo(const std::string& arguments)
{
    std::string command = std::string(BRIMSEY_BINARY_DIR) + "/bin/sound-engine-demo " + arguments + " 2>&1";
    DemoRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, n);
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(SoundEngineDemoTest, LoadsEachFileThenPlaysTheLoadedOnesInOrder)
{
    TempDir dir;
    std::string a = dir.path("a.wav"), b = dir.path("b.aiff");
    ASSERT_TRUE(writeSound(a, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(2205, 1, 440, 22050)));
    ASSERT_TRUE(writeSound(b, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, 22050, sine(2205, 2, 440, 22050)));
    DemoRun run = runDemo(a + " " + b);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output, "load " + a +
                              " status 0 id 1\n"
                              "load " +
                              b +
                              " status 0 id 2\n"
                              "play 1 status 0\n"
                              "play 2 status 0\n");
}

TEST(SoundEngineDemoTest, AFileThatFailsShowsTheEnginesMessagesAndExits1)
{
    TempDir dir;
    std::string good = dir.path("good.wav"), missing = dir.path("missing.wav"), bigEndian = dir.path("be.aiff");
    ASSERT_TRUE(writeSound(good, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(1000, 1, 440, 22050)));
    ASSERT_TRUE(writeSound(bigEndian, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 22050, sine(1000, 1, 440, 22050)));
    DemoRun run = runDemo(missing + " " + good + " " + bigEndian);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "Error opening file: -2\n"
                          "Error opening file: -2\n"
                          "Error loading file info: -2\n"
                          "Error loading looping file info: -2\n"
                          "load " +
                              missing +
                              " status -2 id 0\n"
                              "load " +
                              good +
                              " status 0 id 1\n"
                              "Error loading looping file info: 4\n"
                              "load " +
                              bigEndian +
                              " status 4 id 0\n"
                              "play 1 status 0\n");
}

TEST(SoundEngineDemoTest, WithoutFilesItPrintsUsageAndExits2)
{
    DemoRun run = runDemo("");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find("usage:"), std::string::npos);
}

} // namespace

// jsonread, run as a program: one line per file, and the exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    std::string out;
    int status;
};

class Jsonread : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("jsonread-test-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string file(const std::string& name, const std::string& bytes)
    {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }

    // Runs jsonread with the arguments (quoted for the shell), standard error discarded.
    Outcome run(const std::string& args)
    {
        const std::string command = std::string("'") + JSONREAD_PATH + "' " + args + " 2>/dev/null";
        FILE* pipe = ::popen(command.c_str(), "r");
        Outcome r{{}, -1};
        if (pipe == nullptr)
            return r;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            r.out.append(buffer, n);
        const int raw = ::pclose(pipe);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return r;
    }

    fs::path dir_;
};

TEST_F(Jsonread, OneCanonicalLinePerFile)
{
    const std::string a =
        file("a.json", "{\"b\":[1,2.5,-0,1e400,-1e400],\"a\":\"x\\u00e9\\\"\\\\ \\/\",\"c\":{\"z\":null,\"y\":true}}");
    const std::string b = file("b.json", "{}");
    Outcome r = run(a + " " + b);
    EXPECT_EQ(r.out, "ok {\"a\":\"x\\u00e9\\\"\\\\ /\",\"b\":[1,2.5,-0,inf,-inf],\"c\":{\"y\":true,\"z\":null}}\n"
                     "ok {}\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(Jsonread, FailuresAreLinesToo)
{
    const std::string good = file("good.json", "{\"a\":1}");
    const std::string spaced = file("spaced.json", " {\"a\":1}");
    const std::string empty = file("empty.json", "");
    Outcome r = run(good + " " + spaced + " " + empty);
    EXPECT_EQ(r.out, "ok {\"a\":1}\n"
                     "error JSONScannerErrorDomain -1 Could not scan dictionary. Dictionary that does not start with "
                     "'{' character.\n"
                     "error JSONDeserializerErrorDomain -1 \n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(Jsonread, AnyAcceptsEveryValue)
{
    const std::string spaced = file("spaced.json", " \n[\"x\", 3]");
    const std::string scalar = file("scalar.json", "0.1");
    const std::string nothing = file("nothing.json", "  @");
    Outcome r = run("--any " + spaced + " " + scalar);
    EXPECT_EQ(r.out, "ok [\"x\",3]\nok 0.10000000000000001\n");
    EXPECT_EQ(r.status, 0);
    r = run("--any " + nothing);
    EXPECT_EQ(r.out, "error - 0 no value starts at the first non-whitespace byte\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(Jsonread, UsageErrorsAndUnreadableFiles)
{
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("--any").status, 2);
    EXPECT_EQ(run("--bogus x").status, 2);
    const std::string good = file("good.json", "{}");
    // The readable files are still read; the status says something could not be.
    Outcome r = run(good + " '" + (dir_ / "missing.json").string() + "' " + good);
    EXPECT_EQ(r.out, "ok {}\nok {}\n");
    EXPECT_EQ(r.status, 2);
    r = run("'" + dir_.string() + "'");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 2);
}

TEST_F(Jsonread, WideInputAndControlCharacters)
{
    const std::string wide = file("wide.json", std::string("{\0\"\0a\0\"\0:\0\"\0\t\0\"\0}\0", 18));
    Outcome r = run(wide);
    EXPECT_EQ(r.out, "ok {\"a\":\"\\u0009\"}\n");
    EXPECT_EQ(r.status, 0);
}

} // namespace

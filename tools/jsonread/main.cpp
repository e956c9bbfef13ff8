// jsonread [--any] FILE...
//
// For each file one line on standard output: "ok " and the value in canonical form, or
// "error <domain> <code> <description>". Without --any the text must be a dictionary that
// starts at the first byte; with --any it may be any value after whitespace.
// Exit status: 0 when every file parsed, 1 when any failed, 2 for a usage error or a file
// that could not be read (reported on standard error).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/FileSystem.h"
#include "json/Canonical.h"
#include "json/JSONDeserializer.h"

namespace {

constexpr int kParsed = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void usage()
{
    std::fputs("usage: jsonread [--any] FILE...\n"
               "  Reads each FILE as JSON and prints one line per file:\n"
               "    ok <value in canonical form>\n"
               "    error <domain> <code> <description>\n"
               "  --any  accept any value (after whitespace), not only a dictionary at the first byte\n",
               stderr);
}

// The reader's lengths are 32-bit.
constexpr std::size_t kMaxFileBytes = 0xFFFFFFFFu;

} // namespace

int main(int argc, char** argv)
{
    bool any = false;
    std::vector<const char*> files;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsDone && std::strcmp(arg, "--any") == 0) {
            any = true;
        } else if (!optionsDone && std::strcmp(arg, "--") == 0) {
            optionsDone = true;
        } else if (!optionsDone && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            usage();
            return kUsage;
        } else if (!optionsDone && arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "jsonread: unknown option %s\n", arg);
            usage();
            return kUsage;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        usage();
        return kUsage;
    }

    const auto reader = json::JSONDeserializer::deserializer();
    int status = kParsed;
    for (const char* path : files) {
        std::string why;
        auto text = platform::fs::readFile(path, kMaxFileBytes, platform::fs::Links::Follow, &why);
        if (!text) {
            std::fprintf(stderr, "jsonread: cannot read %s: %s\n", path, why.c_str());
            status = kUsage;
            continue;
        }
        const json::Bytes data{reinterpret_cast<const std::uint8_t*>(text->data()), text->size()};
        json::Error error; // every error the reader writes has a domain
        json::Value value = any ? reader.deserialize(data, &error) : reader.deserializeAsDictionary(data, &error);
        const bool gotError = !error.domain.empty();
        std::string line;
        if (value) {
            line = "ok " + json::canonicalForm(value);
        } else {
            if (status == kParsed)
                status = kFailed;
            if (gotError) {
                line =
                    "error " + error.domain + " " + std::to_string(error.code) + " " + error.description.value_or("");
            } else {
                // The reader fails without an error when the first byte starts no value.
                line = "error - 0 no value starts at the first non-whitespace byte";
            }
        }
        line.push_back('\n');
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    if (std::fflush(stdout) != 0)
        return kUsage;
    return status;
}

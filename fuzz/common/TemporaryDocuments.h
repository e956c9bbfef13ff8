#pragma once

// Targets that touch the caches keep them in a documents folder of their own, removed when
// the fuzzer exits.

#include <cstdlib>
#include <string>

#include "platform/core/DocumentsDirectory.h"
#include "platform/core/FileSystem.h"

namespace fuzzcheck {

inline const std::string& useTemporaryDocuments(const char* prefix)
{
    static std::string folder;
    folder = *platform::fs::makeTemporaryDirectory(prefix);
    std::atexit([] { platform::fs::removeTree(folder); });
    platform::setDocumentsDirectory(folder);
    return folder;
}

} // namespace fuzzcheck

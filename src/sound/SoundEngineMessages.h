#pragma once
// The engine's two printed forms. They are part of its interface: scripts and people read
// them, so the shapes never change.

#include <cstdint>
#include <cstdio>

// Audio-file and thread errors: the code in decimal.
inline void SoundEnginePrintDecimal(const char* text, int32_t code)
{
    std::printf("%s: %d\n", text, static_cast<int>(code));
}

// OpenAL errors: the code in hexadecimal.
inline void SoundEnginePrintHex(const char* text, int32_t code)
{
    std::printf("%s: %x\n", text, static_cast<unsigned>(code));
}

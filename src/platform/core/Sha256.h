#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

// SHA-256 and HMAC-SHA-256, enough to derive application-specific identifiers without
// pulling a crypto library into the platform core.
class Sha256 final {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    void update(std::span<const std::uint8_t> bytes);
    Digest finish();

    static Digest hash(std::span<const std::uint8_t> bytes);
    static Digest hmac(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message);

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> m_state{};
    std::array<std::uint8_t, 64> m_block{};
    std::size_t m_blockUsed{0};
    std::uint64_t m_totalBytes{0};
};

} // namespace platform

#include "platform/core/DeviceInfo.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Sha256.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = platform::fs;

namespace {

std::string hex(const platform::Sha256::Digest& d)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (auto b : d) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::span<const std::uint8_t> bytes(std::string_view s)
{
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

class FactFiles {
public:
    FactFiles() : m_dir(*fs::makeTemporaryDirectory("brimsey-device")) { }
    ~FactFiles() { fs::removeTree(m_dir); }
    std::string write(std::string_view name, std::string_view text)
    {
        std::string path = fs::joinPath(m_dir, name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    platform::DeviceFactSources none() const
    {
        platform::DeviceFactSources s;
        s.dmiProductName = s.deviceTreeModel = s.osRelease = s.osReleaseFallback = s.machineId =
            fs::joinPath(m_dir, "absent");
        s.machine = "aarch64";
        return s;
    }

private:
    std::string m_dir;
};

} // namespace

TEST(Sha256, MatchesPublishedVectors)
{
    EXPECT_EQ(hex(platform::Sha256::hash(bytes(""))),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex(platform::Sha256::hash(bytes("abc"))),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the padding needs a second block.
    EXPECT_EQ(hex(platform::Sha256::hash(bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"))),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    std::string million(1000000, 'a');
    EXPECT_EQ(hex(platform::Sha256::hash(bytes(million))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // RFC 4231 test cases 2 and 6 (a key longer than a block).
    EXPECT_EQ(hex(platform::Sha256::hmac(bytes("Jefe"), bytes("what do ya want for nothing?"))),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    std::string longKey(131, '\xaa');
    EXPECT_EQ(
        hex(platform::Sha256::hmac(bytes(longKey), bytes("Test Using Larger Than Block-Size Key - Hash Key First"))),
        "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(DeviceInfo, UniqueIdentifierIsDerivedAndNeverTheMachineIdItself)
{
    const std::array<std::uint8_t, 16> app{0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                                           0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
    // The same derivation as systemd's application-specific machine ids.
    EXPECT_EQ(platform::applicationSpecificId("3d1219c7c4c5404aaa1f6d2a48adfda4\n", app),
              "f50949f4874348419c64d04b15fd1889");
    auto ours = platform::applicationSpecificId("3d1219c7c4c5404aaa1f6d2a48adfda4", platform::kBrimseyApplicationId);
    ASSERT_TRUE(ours);
    EXPECT_NE(*ours, "3d1219c7c4c5404aaa1f6d2a48adfda4");
    EXPECT_NE(*ours, "f50949f4874348419c64d04b15fd1889");
    EXPECT_EQ((*ours)[12], '4'); // a version-4 UUID
}

TEST(DeviceInfo, UnusableMachineIdsGiveNoIdentifier)
{
    const auto app = platform::kBrimseyApplicationId;
    for (const char* text :
         {"", "uninitialized\n", "00000000000000000000000000000000", "3d1219c7c4c5404aaa1f6d2a48adfda",
          "3d1219c7c4c5404aaa1f6d2a48adfda4a", "3d1219c7c4c5404aaa1f6d2a48adfdzz"})
        EXPECT_FALSE(platform::applicationSpecificId(text, app)) << text;
}

TEST(DeviceInfo, ReadsModelSystemAndMachineFromTheirFiles)
{
    FactFiles files;
    auto sources = files.none();
    sources.dmiProductName = files.write("product_name", "ThinkPad X1 Carbon Gen 9\n");
    sources.osRelease = files.write("os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                                  "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12.4.1\"\nID=debian\n");
    sources.machineId = files.write("machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    auto facts = platform::readDeviceFacts(sources);
    EXPECT_EQ(facts.model, "ThinkPad X1 Carbon Gen 9");
    EXPECT_EQ(facts.systemName, "Debian GNU/Linux");
    EXPECT_EQ(facts.systemVersion, "12.4.1");
    EXPECT_EQ(facts.machine, "aarch64");
    EXPECT_EQ(facts.uniqueIdentifier,
              platform::applicationSpecificId("3d1219c7c4c5404aaa1f6d2a48adfda4", platform::kBrimseyApplicationId));
}

TEST(DeviceInfo, FallsBackStepByStepWhenFilesAreMissingOrBlank)
{
    FactFiles files;
    auto sources = files.none();
    auto bare = platform::readDeviceFacts(sources);
    EXPECT_EQ(bare.model, "PC");
    EXPECT_EQ(bare.systemName, "Linux");
    EXPECT_EQ(bare.systemVersion, "unknown");
    EXPECT_FALSE(bare.uniqueIdentifier);

    // A phone: blank DMI, a device-tree model ending in NUL, an os-release without
    // VERSION_ID but with BUILD_ID, found at the fallback path.
    sources.dmiProductName = files.write("product_name", "  \n");
    sources.deviceTreeModel = files.write("model", std::string("Pine64 PinePhone\0", 17));
    sources.osReleaseFallback = files.write("os-release", "NAME='postmarketOS'\nBUILD_ID=rolling\n");
    auto phone = platform::readDeviceFacts(sources);
    EXPECT_EQ(phone.model, "Pine64 PinePhone");
    EXPECT_EQ(phone.systemName, "postmarketOS");
    EXPECT_EQ(phone.systemVersion, "rolling");
}

TEST(DeviceInfo, StringsThatGoIntoHeadersCarryNoLineBreaksOrControlBytes)
{
    FactFiles files;
    auto sources = files.none();
    sources.dmiProductName = files.write("product_name", "Evil\r\nX-Injected: 1\x01\xff");
    sources.osRelease = files.write("os-release", "NAME=\"A\\\"B\\\\C\"\nVERSION_ID=\"1\t2\"\n");
    sources.machine = std::string("x86\n_64");
    auto facts = platform::readDeviceFacts(sources);
    EXPECT_EQ(facts.model, "EvilX-Injected: 1");
    EXPECT_EQ(facts.systemName, "A\"B\\C");
    EXPECT_EQ(facts.systemVersion, "12");
    EXPECT_EQ(facts.machine, "x86_64");
}

TEST(DeviceInfo, ATestCanSetTheFactsAndGiveThemBack)
{
    const platform::DeviceFacts real = platform::currentDeviceFacts();
    platform::DeviceFacts fixed{"Model", "System", "1.2.3", "arm64", std::nullopt};
    platform::setCurrentDeviceFacts(fixed);
    EXPECT_EQ(platform::currentDeviceFacts(), fixed);
    platform::setCurrentDeviceFacts(std::nullopt);
    EXPECT_EQ(platform::currentDeviceFacts(), real);
}

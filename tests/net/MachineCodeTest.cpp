#include "net/MachineCode.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>

namespace net {
namespace {

using Bytes = std::vector<std::uint8_t>;

MachineSources Fixed(Bytes adapters, Bytes processor, Bytes name) {
    return {[=] { return adapters; }, [=] { return processor; }, [=] { return name; }};
}

TEST(MachineCodeTest, RendersEachByteAsASignedDecimal) {
    const auto sources = Fixed({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, {0xFF, 0xFB, 0xEB, 0xBF}, {'P', 'C', '1'});
    EXPECT_EQ(MachineCode(sources), "02643607794-1-5-21-65806749");
    EXPECT_EQ(RenderMachineBytes({127, 128, 255, 0}), "127-128-10");
}

TEST(MachineCodeTest, MissingOrFailingSourcesAddNothing) {
    EXPECT_EQ(MachineCode(Fixed({}, {0xFF, 0xFB, 0xEB, 0xBF}, {'P', 'C', '1'})), "-1-5-21-65806749");
    MachineSources throwing = Fixed({1, 2}, {3}, {4});
    throwing.processorBytes = []() -> Bytes { throw std::runtime_error("no cpuid"); };
    throwing.nameBytes = nullptr;
    EXPECT_EQ(MachineCode(throwing), "12");
}

TEST(MachineCodeTest, TheSequenceNeverExceeds4096Bytes) {
    // Adapters are capped at 4,095 bytes; the processor word then fits with one byte only.
    const std::string code = MachineCode(Fixed(Bytes(5000, 1), {2, 2, 2, 2}, {3}));
    EXPECT_EQ(code, std::string(4095, '1') + "2");
    // The name is asked with a capacity of 500 bytes.
    EXPECT_EQ(MachineCode(Fixed({}, {}, Bytes(600, 7))), std::string(500, '7'));
}

TEST(MachineCodeTest, ThisComputerGivesAStableCode) {
    const MachineSources system = MachineSources::System();
    const Bytes name = system.nameBytes();
    EXPECT_LE(name.size(), 15u);
    for (std::uint8_t c : name) {
        EXPECT_NE(c, '.');
        EXPECT_FALSE(std::islower(c));
    }
    const Bytes processor = system.processorBytes();
    EXPECT_TRUE(processor.empty() || processor.size() == 4u);
    EXPECT_LE(system.adapterBytes().size(), 4095u);
    EXPECT_EQ(MachineCode(), MachineCode());
}

} // namespace
} // namespace net

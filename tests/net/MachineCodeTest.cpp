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

TEST(MachineCodeTest, TheSameSourcesGiveTheSameCode) {
    // Two separately built sets of the same bytes, asked several times: one code, the worked one.
    const auto first = Fixed({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, {0xFF, 0xFB, 0xEB, 0xBF}, {'P', 'C', '1'});
    const auto second = Fixed({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, {0xFF, 0xFB, 0xEB, 0xBF}, {'P', 'C', '1'});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(MachineCode(first), "02643607794-1-5-21-65806749");
        EXPECT_EQ(MachineCode(second), "02643607794-1-5-21-65806749");
    }
    // One changed byte in any source changes the code.
    EXPECT_EQ(MachineCode(Fixed({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F}, {0xFF, 0xFB, 0xEB, 0xBF}, {'P', 'C', '1'})),
              "02643607795-1-5-21-65806749");
    EXPECT_EQ(MachineCode(Fixed({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, {0xFF, 0xFB, 0xEB, 0xBF}, {'P', 'C', '2'})),
              "02643607794-1-5-21-65806750");
}

TEST(MachineCodeTest, ThisComputersCodeComesFromItsSourcesAlone) {
    const MachineSources system = MachineSources::System();
    const Bytes name = system.nameBytes();
    EXPECT_LE(name.size(), 15u);
    for (std::uint8_t c : name) {
        EXPECT_NE(c, '.');
        EXPECT_FALSE(std::islower(c));
    }
    const Bytes processor = system.processorBytes();
    EXPECT_TRUE(processor.empty() || processor.size() == 4u);
    const Bytes adapters = system.adapterBytes();
    EXPECT_LE(adapters.size(), 4095u);
    // Nothing but the three sources goes into the code: the default equals the code built from
    // their bytes, and the sources read the same bytes again.
    EXPECT_EQ(MachineCode(), MachineCode(Fixed(adapters, processor, name)));
    EXPECT_EQ(system.adapterBytes(), adapters);
    EXPECT_EQ(system.processorBytes(), processor);
    EXPECT_EQ(system.nameBytes(), name);
}

} // namespace
} // namespace net

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace net {

// Where the machine code's bytes come from. The defaults read this computer: the hardware
// addresses of the network interfaces in the order the system lists them, the CPUID leaf 1
// feature word (EDX, low byte first) and the first label of the host name, upper-cased,
// at most 15 bytes. Tests replace them.
struct MachineSources {
    std::function<std::vector<std::uint8_t>()> adapterBytes;
    std::function<std::vector<std::uint8_t>()> processorBytes;
    std::function<std::vector<std::uint8_t>()> nameBytes;

    static MachineSources System();
};

// The decimal rendering of the collected bytes, each read as a signed 8-bit number and
// printed with "%d", nothing between them. Adapter bytes are limited to 4,095 (whole
// addresses only) and the whole sequence to 4,096 bytes; a failing source adds nothing.
std::string MachineCode(const MachineSources& sources = MachineSources::System());

// The renderer on its own: bytes → text.
std::string RenderMachineBytes(const std::vector<std::uint8_t>& bytes);

} // namespace net

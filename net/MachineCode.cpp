#include "net/MachineCode.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace net {

namespace {

constexpr std::size_t kSequenceSize = 4096;
constexpr std::size_t kAdapterLimit = 4095;
constexpr std::size_t kProcessorBytes = 4;
constexpr std::size_t kNameCapacity = 500;
constexpr std::size_t kHostLabelLimit = 15;

std::vector<std::uint8_t> SystemAdapterBytes() {
    std::vector<std::uint8_t> bytes;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return bytes;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
        const std::size_t length = std::min<std::size_t>(link->sll_halen, sizeof link->sll_addr);
        if (length == 0)
            continue;
        // Whole addresses only: stop before one that would not fit.
        if (bytes.size() + length > kAdapterLimit)
            break;
        bytes.insert(bytes.end(), link->sll_addr, link->sll_addr + length);
    }
    freeifaddrs(list);
    return bytes;
}

std::vector<std::uint8_t> SystemProcessorBytes() {
    std::vector<std::uint8_t> bytes;
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) != 0) {
        for (std::size_t i = 0; i < kProcessorBytes; ++i)
            bytes.push_back(static_cast<std::uint8_t>(d >> (8 * i)));
    }
#endif
    return bytes;
}

std::vector<std::uint8_t> SystemNameBytes() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return {};
    std::vector<std::uint8_t> bytes;
    for (const char* p = host; *p != '\0' && *p != '.' && bytes.size() < kHostLabelLimit; ++p)
        bytes.push_back(static_cast<std::uint8_t>(std::toupper(static_cast<unsigned char>(*p))));
    return bytes;
}

// A source that fails (or throws) contributes nothing; at most `limit` of its bytes count.
void Collect(const std::function<std::vector<std::uint8_t>()>& source, std::size_t limit,
             std::vector<std::uint8_t>& out) {
    if (!source)
        return;
    try {
        const std::vector<std::uint8_t> bytes = source();
        const std::size_t room = kSequenceSize - out.size();
        const std::size_t take = std::min({bytes.size(), limit, room});
        out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    } catch (const std::exception&) {
    }
}

} // namespace

MachineSources MachineSources::System() {
    return {SystemAdapterBytes, SystemProcessorBytes, SystemNameBytes};
}

std::string MachineCode(const MachineSources& sources) {
    std::vector<std::uint8_t> sequence;
    sequence.reserve(kSequenceSize);
    Collect(sources.adapterBytes, kAdapterLimit, sequence);
    Collect(sources.processorBytes, kProcessorBytes, sequence);
    Collect(sources.nameBytes, kNameCapacity, sequence);
    return RenderMachineBytes(sequence);
}

std::string RenderMachineBytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    text.reserve(bytes.size() * 4);
    char number[8];
    for (std::uint8_t byte : bytes) {
        const int n = std::snprintf(number, sizeof number, "%d", static_cast<int>(static_cast<std::int8_t>(byte)));
        text.append(number, static_cast<std::size_t>(n));
    }
    return text;
}

} // namespace net

// Every reply parser of the client: the first byte picks the command, the rest is the body.
// Whatever the body, each stored field stays zero-terminated inside its slot.
#include "FuzzCheck.h"
#include "ReusedState.h"

#include "net/LinkNotifier.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "wire/Commands.h"
#include "wire/GbkText.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

class NullNotifier final : public net::LinkNotifier {
public:
    bool HasMainFrame() const override { return true; }
    void NotifyTable(int) override {}
    void DeliverReply(int, std::string_view) override {}
    void PostReply(int, std::string) override {}
};

constexpr int kCommands[] = {net::kCmdLogin,         net::kCmdOrder,      net::kCmdTodayOrders, net::kCmdTodayTrades,
                             net::kCmdPositions,     net::kCmdFundsFlow,  net::kCmdFunds,       net::kCmdHistoryOrders,
                             net::kCmdHistoryTrades, net::kCmdSettlement, net::kCmdQuoteUpdate, net::kCmdChangePassword,
                             net::kCmdMarketPhase,   net::kCmdStanding,   net::kCmdCurve};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const int command = kCommands[data[0] % std::size(kCommands)];
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);

    static ReusedState reused;
    net::SharedState& state = reused.Renewed();
    NullNotifier notifier;
    net::TradingLink link(state, notifier);
    link.Dispatch(command, body);

    // Stored texts keep their terminator inside the slot, however long the field was.
    for (std::size_t i = 0; i < net::PositionTable::kCapacity; ++i) {
        const net::PositionRecord r = state.positions.At(i);
        FUZZ_CHECK(r.code[sizeof r.code - 1] == '\0' && r.name[sizeof r.name - 1] == '\0');
        FUZZ_CHECK(r.marketValue[sizeof r.marketValue - 1] == '\0');
    }
    for (std::size_t i = 0; i < net::SettlementTable::kCapacity; ++i) {
        const net::SettlementRecord r = state.settlement.At(i);
        FUZZ_CHECK(r.contractNo[sizeof r.contractNo - 1] == '\0' && r.value11[sizeof r.value11 - 1] == '\0');
    }
    const net::FundsRecord funds = state.funds.Get();
    FUZZ_CHECK(funds.value8[sizeof funds.value8 - 1] == '\0');
    const std::string phase = link.Status().marketPhase;
    FUZZ_CHECK(phase.size() <= net::TradingLink::kMarketPhaseLimit);
    FUZZ_CHECK(net::GbkPrefixLength(phase, phase.size()) == phase.size());
    return 0;
}

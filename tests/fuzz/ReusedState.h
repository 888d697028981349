#pragma once

#include "net/SharedState.h"

#include <cstring>
#include <memory>

// The shared state of the client's link, made once per process and put back before every
// input to what a new one (with the history tables created) holds. A new state's tables are
// megabytes of fresh pages, which under the address sanitizer cost more than the parsing.
class ReusedState final {
public:
    ReusedState() {
        state_.historyOrders.Create();
        state_.historyTrades.Create();
        state_.fundsFlow.Create();
        state_.settlement.Create();
    }

    net::SharedState& Renewed() {
        state_.loginInfoText.clear();
        state_.availableFundsText.clear();
        state_.shanghaiAccount.clear();
        state_.shenzhenAccount.assign(1, '0');
        state_.accountStatus.clear();
        std::memset(state_.loginAccount, 0, sizeof state_.loginAccount);
        state_.initialLoadPending = 0;
        state_.credentials.Set({}, {});
        state_.quoteCodes.Set({});
        state_.funds.Store({});
        Clear(state_.positions);
        Clear(state_.todayTrades);
        Clear(state_.todayOrders);
        Clear(state_.historyOrders);
        Clear(state_.historyTrades);
        Clear(state_.fundsFlow);
        Clear(state_.settlement);
        // The quote table keeps every code it has seen and has no way to forget one.
        std::destroy_at(&state_.quotes);
        std::construct_at(&state_.quotes);
        return state_;
    }

private:
    template <typename Table>
    static void Clear(Table& table) {
        static const auto empty = std::make_unique<typename Table::Slots>();
        table.Store(*empty);
    }

    net::SharedState state_;
};

#include "net/ReplyParsers.h"

#include "wire/AccountRecords.h"
#include "wire/Frame.h"
#include "wire/GbkText.h"
#include "wire/MarketRecords.h"
#include "wire/SplitText.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

namespace net {

namespace {

using Fields = std::vector<std::string_view>;

// A piece with this many fields or fewer is not a record.
constexpr std::size_t kMinFieldsExclusive = 2;

// Stores wire field `wire` when the piece has it; a missing field stays empty.
template <std::size_t N>
void Put(char (&slot)[N], const Fields& fields, std::size_t wire) {
    if (wire < fields.size())
        StoreField(slot, fields[wire]);
}

void Fill(PositionRecord& r, const Fields& f) {
    Put(r.code, f, kPositionCode);
    Put(r.name, f, kPositionName);
    Put(r.balance, f, kPositionBalance);
    Put(r.available, f, kPositionAvailable);
    Put(r.frozen, f, kPositionFrozen);
    Put(r.profit, f, kPositionProfit);
    Put(r.costPrice, f, kPositionCostPrice);
    Put(r.profitRatio, f, kPositionProfitRatio);
    Put(r.marketPrice, f, kPositionMarketPrice);
    Put(r.marketValue, f, kPositionMarketValue);
}

void Fill(FundsRecord& r, const Fields& f) {
    Put(r.cashBalance, f, kFundsCashBalance);
    Put(r.withdrawable, f, kFundsWithdrawable);
    Put(r.frozenFunds, f, kFundsFrozen);
    Put(r.stockValue, f, kFundsStockValue);
    Put(r.availableFunds, f, kFundsAvailable);
    Put(r.totalAssets, f, kFundsTotalAssets);
    Put(r.marginFunds, f, kFundsMargin);
    Put(r.value7, f, kFundsValue7);
    Put(r.value8, f, kFundsBuyingPower);
    Put(r.accountStatus, f, kFundsAccountStatus);
}

void Fill(TradeRecord& r, const Fields& f) {
    Put(r.tradeDate, f, kTradeDate);
    Put(r.tradeTime, f, kTradeTime);
    Put(r.code, f, kTradeCode);
    Put(r.name, f, kTradeName);
    Put(r.side, f, kTradeSide);
    Put(r.avgPrice, f, kTradeAvgPrice);
    Put(r.quantity, f, kTradeQuantity);
    Put(r.amount, f, kTradeAmount);
}

void Fill(OrderRecord& r, const Fields& f) {
    Put(r.code, f, kOrderCode);
    Put(r.name, f, kOrderName);
    Put(r.orderQty, f, kOrderQuantity);
    Put(r.filledQty, f, kOrderFilled);
    Put(r.orderPrice, f, kOrderPrice);
    Put(r.avgPrice, f, kOrderAvgPrice);
    Put(r.side, f, kOrderSide);
    Put(r.orderTime, f, kOrderTime);
    Put(r.status, f, kOrderStatus);
    Put(r.contractNo, f, kOrderContractNo);
}

void Fill(FundsFlowRecord& r, const Fields& f) {
    Put(r.date, f, kFlowDate);
    Put(r.summary, f, kFlowSummary);
    Put(r.code, f, kFlowCode);
    Put(r.name, f, kFlowName);
    Put(r.operation, f, kFlowOperation);
    Put(r.quantity, f, kFlowQuantity);
    Put(r.avgPrice, f, kFlowAvgPrice);
    Put(r.amount, f, kFlowAmount);
    Put(r.balance, f, kFlowBalance);
}

// The other fees are not stored; the holder account is kept in value11.
void Fill(SettlementRecord& r, const Fields& f) {
    Put(r.tradeDate, f, kSettlementDate);
    Put(r.code, f, kSettlementCode);
    Put(r.name, f, kSettlementName);
    Put(r.summary, f, kSettlementSummary);
    Put(r.quantity, f, kSettlementQuantity);
    Put(r.avgPrice, f, kSettlementAvgPrice);
    Put(r.tradeAmount, f, kSettlementTradeAmount);
    Put(r.settledAmount, f, kSettlementSettledAmount);
    Put(r.commission, f, kSettlementCommission);
    Put(r.stampDuty, f, kSettlementStampDuty);
    Put(r.transferFee, f, kSettlementTransferFee);
    Put(r.value11, f, kSettlementHolder);
    Put(r.contractNo, f, kSettlementContractNo);
}

template <typename Record>
void ReadTable(std::string_view body, std::span<Record> slots) {
    const Fields pieces = SplitText(body, "|");
    Fields fields;
    const std::size_t count = std::min(pieces.size(), slots.size());
    for (std::size_t i = 0; i < count; ++i) {
        SplitTextInto(pieces[i], ",", fields);
        if (fields.size() <= kMinFieldsExclusive)
            continue;
        Fill(slots[i], fields);
    }
}

float ToFloat(std::string_view text) {
    // Prices come as plain decimals ("10.32"): read as a whole number of up to 15 digits and
    // divided once by a power of ten. Both are exact doubles, so the quotient is the correctly
    // rounded value the general reader gives; anything else (exponents, blanks, a plus sign,
    // more digits) goes to that reader.
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    i += negative;
    std::uint64_t whole = 0;
    int significant = 0;
    int decimals = 0;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (whole != 0 || c != '0')
                ++significant;
            whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
            decimals += point;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        if (significant > 15 || decimals > 22)
            return static_cast<float>(LeadingDouble(text));
    }
    if (!digits || (i < text.size() && (text[i] == 'e' || text[i] == 'E')))
        return static_cast<float>(LeadingDouble(text));
    const double value = static_cast<double>(whole) / kPowers[decimals];
    return static_cast<float>(negative ? -value : value);
}

std::int32_t ToInt32(std::string_view text) {
    return static_cast<std::int32_t>(std::clamp<long long>(LeadingInteger(text), INT32_MIN, INT32_MAX));
}

} // namespace

void ReadRecords(std::string_view body, std::span<PositionRecord> slots) {
    ReadTable(body, slots);
}

void ReadRecords(std::string_view body, std::span<TradeRecord> slots) {
    ReadTable(body, slots);
}

void ReadRecords(std::string_view body, std::span<OrderRecord> slots) {
    ReadTable(body, slots);
}

void ReadRecords(std::string_view body, std::span<FundsFlowRecord> slots) {
    ReadTable(body, slots);
}

void ReadRecords(std::string_view body, std::span<SettlementRecord> slots) {
    ReadTable(body, slots);
}

std::optional<FundsRecord> ReadFunds(std::string_view body) {
    const Fields fields = SplitText(body, ",");
    if (fields.size() <= kMinFieldsExclusive)
        return std::nullopt;
    FundsRecord record{};
    Fill(record, fields);
    return record;
}

void ReadQuotes(std::string_view body, std::vector<QuoteRecord>& records) {
    // One pass over the body: records end at '|', fields at ','.
    records.clear();
    constexpr std::size_t kFields = kQuoteFieldCount;
    std::array<std::string_view, kFields> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    for (std::size_t i = 0;; ++i) {
        const bool end = i == body.size();
        const char c = end ? '|' : body[i];
        if (c != ',' && c != '|')
            continue;
        if (count < kFields)
            fields[count] = body.substr(start, i - start);
        ++count;
        start = i + 1;
        if (c == ',')
            continue;
        if (count >= kFields) {
            QuoteRecord& record = records.emplace_back();
            StoreField(record.code, fields[kQuoteCode]);
            StoreField(record.name, fields[kQuoteName]);
            record.lastPrice = ToFloat(fields[kQuoteLast]);
            record.prevClose = ToFloat(fields[kQuotePrevClose]);
            for (std::size_t level = 0; level < kQuoteLevels; ++level) {
                record.bidPrice[level] = ToFloat(fields[kQuoteBidPrice + level]);
                record.bidVolume[level] = ToInt32(fields[kQuoteBidVolume + level]);
                record.askPrice[level] = ToFloat(fields[kQuoteAskPrice + level]);
                record.askVolume[level] = ToInt32(fields[kQuoteAskVolume + level]);
            }
        }
        count = 0;
        if (end)
            break;
    }
}

} // namespace net

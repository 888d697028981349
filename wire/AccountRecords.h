#pragma once

// The field positions of the records that answer an account's requests. The server writes
// them (wire/RecordFields.h) and the client reads them by these positions. Records end with
// '|' (the funds answer is one record without it), fields are separated by ','; numbers are
// text, money and prices in yuan with two decimals.
namespace net {

// Positions (command 9), one record per security held.
enum PositionField : int {
    kPositionCode,
    kPositionName,
    kPositionBalance,   // shares held
    kPositionAvailable, // shares sellable now
    kPositionFrozen,    // shares held by open sells
    kPositionProfit,
    kPositionCostPrice, // three decimals
    kPositionProfitRatio,
    kPositionMarketPrice,
    kPositionMarketValue,
    kPositionFieldCount,
};

// Funds (command 11).
enum FundsField : int {
    kFundsCashBalance,
    kFundsWithdrawable,
    kFundsFrozen,
    kFundsStockValue,
    kFundsAvailable,
    kFundsTotalAssets,
    kFundsMargin,
    kFundsValue7,
    kFundsBuyingPower,   // the buying-power multiplier in percent: 100 is the funds as they are
    kFundsAccountStatus, // "0" normal, another number frozen
    kFundsFieldCount,
};

// Orders of today or of a period (commands 7 and 12).
enum OrderField : int {
    kOrderCode,
    kOrderName,
    kOrderQuantity,
    kOrderFilled,
    kOrderPrice,
    kOrderAvgPrice,
    kOrderSide, // "1" a buy, "2" a sell
    kOrderTime, // "date time"
    kOrderStatus,
    kOrderContractNo,
    kOrderFieldCount,
};

// Trades of today or of a period (commands 8 and 13).
enum TradeField : int {
    kTradeDate,
    kTradeTime,
    kTradeCode,
    kTradeName,
    kTradeSide, // "买入" or "卖出"
    kTradeAvgPrice,
    kTradeQuantity,
    kTradeAmount,
    kTradeFieldCount,
};

// The funds flow of a period (command 10).
enum FundsFlowField : int {
    kFlowDate,
    kFlowSummary,
    kFlowCode,
    kFlowName,
    kFlowOperation,
    kFlowQuantity,
    kFlowAvgPrice,
    kFlowAmount,
    kFlowBalance,
    kFlowFieldCount,
};

// The settlement statements of a period (command 14).
enum SettlementField : int {
    kSettlementDate,
    kSettlementCode,
    kSettlementName,
    kSettlementSummary,
    kSettlementQuantity,
    kSettlementAvgPrice,
    kSettlementTradeAmount,
    kSettlementSettledAmount,
    kSettlementCommission,
    kSettlementStampDuty,
    kSettlementTransferFee,
    kSettlementOtherFees,
    kSettlementContractNo,
    kSettlementHolder, // the shareholder account of the security's exchange
    kSettlementFieldCount,
};

} // namespace net

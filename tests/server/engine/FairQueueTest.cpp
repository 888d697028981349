// The engine's waiting requests, one line per account: who goes into which batch.

#include "server/engine/FairQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Request {
    std::int64_t account = 0;
    std::string name;
    bool query = false;
    bool ForReader() const { return query; }
};

std::vector<std::string> Names(const std::vector<Request>& requests) {
    std::vector<std::string> names;
    for (const Request& r : requests)
        names.push_back(r.name);
    return names;
}

TEST(FairQueueTest, AnAccountAloneTakesItsWholeLineAndAFloodGivesOthersTheirTurn) {
    server::FairQueue<Request> queue(2);
    for (const char* name : {"a1", "a2", "a3", "a4", "a5"})
        queue.Push({1, name});
    std::vector<Request> batch, queries;
    queue.Take(batch, queries);
    EXPECT_EQ(Names(batch), (std::vector<std::string>{"a1", "a2", "a3", "a4", "a5"})) << "nobody waits behind it";
    EXPECT_FALSE(queue.Ready());

    // Five of account 1 came before three of account 2: each gives its share of two to a batch,
    // and the rest waits for the next ones in order.
    batch.clear();
    for (const char* name : {"a6", "a7", "a8", "a9", "a10"})
        queue.Push({1, name});
    queue.Push({2, "b1"});
    queue.Push({2, "b2"});
    queue.Push({2, "b3"});
    queue.Take(batch, queries);
    EXPECT_EQ(Names(batch), (std::vector<std::string>{"a6", "a7", "b1", "b2"}));
    batch.clear();
    queue.Push({3, "c1"});
    queue.Take(batch, queries);
    EXPECT_EQ(Names(batch), (std::vector<std::string>{"a8", "a9", "b3", "c1"}));
    batch.clear();
    queue.Take(batch, queries);
    EXPECT_EQ(Names(batch), (std::vector<std::string>{"a10"}));
    EXPECT_TRUE(queries.empty());
}

TEST(FairQueueTest, QueriesGoToTheReaderWithoutOtherWorkAndHoldTheirAccountUntilAnswered) {
    server::FairQueue<Request> queue(8);
    queue.Push({1, "order1"});
    queue.Push({1, "query1", true});
    queue.Push({1, "query1b", true});
    queue.Push({1, "order2"});
    queue.Push({2, "query2", true});
    std::vector<Request> batch, queries;
    queue.Take(batch, queries);
    // The query behind order1 waits for the batch that writes order1 to be committed.
    EXPECT_EQ(Names(batch), (std::vector<std::string>{"order1"}));
    EXPECT_EQ(Names(queries), (std::vector<std::string>{"query2"}));
    batch.clear();
    queries.clear();
    queue.Push({2, "order3"});
    queue.Take(batch, queries);
    EXPECT_TRUE(batch.empty()) << "order3 waits for query2's answer";
    EXPECT_EQ(Names(queries), (std::vector<std::string>{"query1", "query1b"})) << "both read one commit";
    queries.clear();
    EXPECT_FALSE(queue.Ready());
    queue.Release(2);
    queue.Take(batch, queries);
    EXPECT_EQ(Names(batch), (std::vector<std::string>{"order3"}));
    batch.clear();
    queue.Release(1);
    queue.Take(batch, queries);
    EXPECT_EQ(Names(batch), (std::vector<std::string>{"order2"}));
}

TEST(FairQueueTest, RequestsPutBackGoFirstOfTheirAccountInTheirOrder) {
    server::FairQueue<Request> queue(8);
    queue.Push({1, "late"});
    std::vector<Request> back{{1, "cancelAll"}, {1, "after"}, {2, "other"}};
    queue.PushFront(back);
    std::vector<Request> batch, queries;
    queue.Take(batch, queries);
    EXPECT_EQ(Names(batch), (std::vector<std::string>{"cancelAll", "after", "late", "other"}));
}

} // namespace

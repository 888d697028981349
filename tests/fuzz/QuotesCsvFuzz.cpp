// The server's quotes file: a file of any content loads or is refused with a message
// naming the file, and a loaded replay runs without leaving the price limits' arithmetic.
#include "FuzzCheck.h"
#include "MemoryFile.h"

#include "server/market/Market.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile file("quotes_csv_fuzz.csv");
    const std::string& path = file.Write(data, size);
    server::Market market(20210223, 10, 20);
    std::string error;
    if (!market.LoadCsv(path, error)) {
        FUZZ_CHECK(error.find(path) != std::string::npos);
        return 0;
    }
    for (int tick = 0; tick < 4; ++tick) {
        market.Advance();
        for (const server::Quote& q : market.Quotes()) {
            market.Find(q.code);
            server::Market::RecordText(q);
        }
    }
    market.StartDay();
    market.Advance();
    return 0;
}

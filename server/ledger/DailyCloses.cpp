#include "server/ledger/DailyCloses.h"

#include <algorithm>
#include <cmath>

namespace server {

double NextUnit(double unit, Cents previousTotal, Cents flow, Cents total) {
    const Cents opening = previousTotal + flow;
    if (opening <= 0)
        return unit;
    return unit * static_cast<double>(total) / static_cast<double>(opening);
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
    return (lower + upper) / 2;
}

std::int64_t GrowthHundredths(double factor) {
    return static_cast<std::int64_t>(std::llround((factor - 1) * 10000));
}

} // namespace server

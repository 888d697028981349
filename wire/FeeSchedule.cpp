#include "wire/FeeSchedule.h"

#include <cmath>

namespace net {

std::int64_t ApplyRate(std::int64_t amount, double rate) {
    return static_cast<std::int64_t>(std::llround(static_cast<double>(amount) * rate));
}

std::int64_t FeeSchedule::CommissionFor(std::int64_t filledAmount) const {
    if (filledAmount <= 0)
        return 0;
    const std::int64_t c = ApplyRate(filledAmount, commissionRate);
    return c < minCommission ? minCommission : c;
}

} // namespace net

#include "net/QuoteCodes.h"

#include "wire/SplitText.h"

namespace net {

std::string QuoteCodes::Get() const {
    std::lock_guard lock(mutex_);
    return list_;
}

void QuoteCodes::Set(std::string list) {
    std::lock_guard lock(mutex_);
    list_ = std::move(list);
}

bool QuoteCodes::Empty() const {
    std::lock_guard lock(mutex_);
    return list_.empty();
}

std::string QuoteCodes::Add(std::string_view codes, bool* added) {
    const std::vector<std::string_view> pieces = SplitText(codes, ",");
    std::lock_guard lock(mutex_);
    // Whole codes are compared by looking for ",code," in ",list,".
    const auto enclosed = [](std::string_view text) {
        std::string out;
        out.reserve(text.size() + 2);
        out.push_back(',');
        out.append(text);
        out.push_back(',');
        return out;
    };
    std::string guard = list_.empty() ? std::string() : enclosed(list_);
    if (added)
        *added = false;
    for (std::string_view code : pieces) {
        // An empty piece would put an empty code (",,") into the list.
        if (code.empty() || guard.find(enclosed(code)) != std::string::npos)
            continue;
        if (!list_.empty())
            list_.push_back(',');
        list_.append(code);
        guard = enclosed(list_);
        if (added)
            *added = true;
    }
    return list_;
}

bool QuoteCodes::ReplaceIfDifferent(const std::string& list) {
    std::lock_guard lock(mutex_);
    if (list == list_)
        return false;
    list_ = list;
    return true;
}

} // namespace net

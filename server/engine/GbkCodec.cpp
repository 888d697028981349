#include "server/engine/GbkCodec.h"

#include <cerrno>
#include <functional>
#include <iconv.h>
#include <unordered_map>

namespace server {
namespace {

// One converter per thread and direction: iconv descriptors are not thread-safe, and
// opening one per call would cost more than the conversion.
class Converter final {
public:
    Converter(const char* to, const char* from)
        : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Returns false on an invalid input sequence unless `replace` is set.
    bool Convert(std::string_view in, std::string& out, bool replace) {
        out.clear();
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.resize(in.size() * 2 + 8);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        std::size_t used = 0;
        while (srcLeft > 0) {
            char* dst = out.data() + used;
            std::size_t dstLeft = out.size() - used;
            const std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            used = out.size() - dstLeft;
            if (rc != static_cast<std::size_t>(-1))
                break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
            } else if (replace) {
                // Skip one byte of the unconvertible (or truncated) sequence.
                if (out.size() - used < 1)
                    out.resize(out.size() * 2);
                out[used++] = '?';
                ++src;
                --srcLeft;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            } else {
                return false;
            }
        }
        out.resize(used);
        return true;
    }

private:
    iconv_t cd_;
};

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// The text outside ASCII in an answer is a few words said again and again (the securities'
// names, an order's state): each is converted once per thread and kept, so an answer of a
// thousand records costs a copy of its ASCII and a look-up per word, not a conversion of
// every byte. ASCII never occurs inside a UTF-8 sequence, so converting the runs between
// ASCII apart gives what converting the whole would.
class RunCache final {
public:
    const std::string& Gbk(std::string_view run) {
        if (const auto it = runs_.find(run); it != runs_.end())
            return it->second;
        if (runs_.size() >= kMaxRuns)
            runs_.clear(); // bounded: whatever the answers hold, this stays small
        std::string gbk;
        converter_.Convert(run, gbk, true);
        return runs_.emplace(std::string(run), std::move(gbk)).first->second;
    }
    void ConvertLong(std::string_view run, std::string& out) {
        std::string gbk;
        converter_.Convert(run, gbk, true);
        out += gbk;
    }

    static constexpr std::size_t kMaxRuns = 4096;
    static constexpr std::size_t kMaxRunBytes = 64; // a name; longer text is converted as it comes

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    Converter converter_{"GBK", "UTF-8"};
    std::unordered_map<std::string, std::string, Hash, std::equal_to<>> runs_;
};

bool IsAsciiByte(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

} // namespace

std::string Utf8ToGbk(std::string_view utf8) {
    if (IsAscii(utf8))
        return std::string(utf8);
    thread_local RunCache cache;
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t end = i;
        while (end < utf8.size() && IsAsciiByte(utf8[end]))
            ++end;
        out.append(utf8, i, end - i);
        if (end == utf8.size())
            break;
        i = end;
        while (end < utf8.size() && !IsAsciiByte(utf8[end]))
            ++end;
        const std::string_view run = utf8.substr(i, end - i);
        if (run.size() <= RunCache::kMaxRunBytes)
            out += cache.Gbk(run);
        else
            cache.ConvertLong(run, out);
        i = end;
    }
    return out;
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
    if (IsAscii(gbk))
        return std::string(gbk);
    thread_local Converter converter("UTF-8", "GBK");
    std::string out;
    if (!converter.Convert(gbk, out, false))
        return std::nullopt;
    return out;
}

} // namespace server

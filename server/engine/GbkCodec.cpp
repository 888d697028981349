#include "server/engine/GbkCodec.h"

#include <cerrno>
#include <iconv.h>

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

} // namespace

std::string Utf8ToGbk(std::string_view utf8) {
    if (IsAscii(utf8))
        return std::string(utf8);
    thread_local Converter converter("GBK", "UTF-8");
    std::string out;
    converter.Convert(utf8, out, true);
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

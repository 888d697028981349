#include "server/http/RankingPage.h"

#include <sodium.h>

#include <string_view>

namespace server {
namespace {

// 'sha256-…' of the text between `open` and `close` in the page.
std::string InlineHash(std::string_view open, std::string_view close) {
    const std::string_view page(kRankingPage);
    const auto from = page.find(open) + open.size();
    const std::string_view text = page.substr(from, page.find(close, from) - from);
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    char base64[sodium_base64_ENCODED_LEN(crypto_hash_sha256_BYTES, sodium_base64_VARIANT_ORIGINAL)];
    sodium_bin2base64(base64, sizeof base64, digest, sizeof digest, sodium_base64_VARIANT_ORIGINAL);
    return "'sha256-" + std::string(base64) + "'";
}

} // namespace

std::string RankingPagePolicy() {
    return "default-src 'none'; script-src " + InlineHash("<script>", "</script>") + "; style-src " +
           InlineHash("<style>", "</style>") +
           "; connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
}

} // namespace server

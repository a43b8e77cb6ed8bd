#include "basic_auth.h"

#include <crypt.h>

#include <cstring>
#include <memory>
#include <vector>

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace {

constexpr std::size_t kMaxEncoded = 4096; // far beyond any name and password of ours

bool StartsWithBasic(std::string_view header)
{
    static constexpr std::string_view kScheme = "basic ";
    if (header.size() < kScheme.size())
        return false;
    for (std::size_t i = 0; i < kScheme.size(); ++i)
        if (static_cast<char>(header[i] | 0x20) != kScheme[i])
            return false;
    return true;
}

bool IsBase64Body(std::string_view text)
{
    if (text.empty() || text.size() % 4 != 0)
        return false;
    const std::size_t padding = text.size() - text.find_last_not_of('=') - 1;
    if (padding > 2)
        return false;
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        const char c = text[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/'))
            return false;
    }
    return true;
}

} // namespace

std::optional<BasicCredentials> ParseBasicAuthorization(std::string_view header)
{
    if (!StartsWithBasic(header))
        return std::nullopt;
    std::string_view encoded = header.substr(6);
    while (!encoded.empty() && encoded.front() == ' ')
        encoded.remove_prefix(1);
    while (!encoded.empty() && encoded.back() == ' ')
        encoded.remove_suffix(1);
    if (encoded.size() > kMaxEncoded || !IsBase64Body(encoded))
        return std::nullopt;

    std::vector<unsigned char> decoded(encoded.size() / 4 * 3 + 1);
    const int length = EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(encoded.data()),
                                       static_cast<int>(encoded.size()));
    if (length < 0)
        return std::nullopt;
    // EVP_DecodeBlock counts the bytes the padding stands for as zeros.
    const std::size_t padding = encoded.size() - encoded.find_last_not_of('=') - 1;
    const std::string text(reinterpret_cast<const char*>(decoded.data()), static_cast<std::size_t>(length) - padding);
    OPENSSL_cleanse(decoded.data(), decoded.size());
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    return BasicCredentials{text.substr(0, colon), text.substr(colon + 1)};
}

bool BcryptMatches(const std::string& password, const std::string& hash)
{
    // crypt would stop at a zero byte: "secret\0anything" is not "secret".
    if (password.find('\0') != std::string::npos)
        return false;
    // crypt_data is large (tens of kilobytes): on the heap, one per call, so
    // that any thread may check at the same time.
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof(crypt_data));
    const char* result = crypt_r(password.c_str(), hash.c_str(), data.get());
    const bool matches = result != nullptr && result[0] != '*' && std::strlen(result) == hash.size()
                         && CRYPTO_memcmp(result, hash.data(), hash.size()) == 0;
    OPENSSL_cleanse(data.get(), sizeof(crypt_data));
    return matches;
}

// The request signature and the MD5 digest it is made of (OpenSSL's EVP interface).
#include "service/signature.h"

#include <openssl/evp.h>

std::string md5_hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr)) return "";
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

std::string request_signature(const std::map<std::string, std::string>& fields,
                              const std::string& secret) {
    std::string text;
    for (const auto& [name, value] : fields) {  // std::map: sorted by name
        if (name != "sig") text += name + "=" + value;
    }
    return md5_hex(text + secret);
}

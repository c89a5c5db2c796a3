// The request signature of the social service's protocol, computed the same way by the service
// that checks it and by the application that signs its calls.
#pragma once

#include <map>
#include <string>

// MD5 of data as 32 lower-case hex digits ("" only if the digest cannot be computed).
std::string md5_hex(const std::string& data);

// MD5 (lower-case hex) of the name=value pairs sorted by name and concatenated without
// separators, followed by the secret. The "sig" field itself is left out.
std::string request_signature(const std::map<std::string, std::string>& fields,
                              const std::string& secret);

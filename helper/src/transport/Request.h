#pragma once

#include <map>
#include <string>

namespace ovrin::helper {

// One request as the transport hands it over.
struct Request {
    std::string method;
    std::string target;                         // as sent: path and query
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;

    const std::string* header(const std::string& lowerCaseName) const
    {
        auto it = headers.find(lowerCaseName);
        return it == headers.end() ? nullptr : &it->second;
    }
};

} // namespace ovrin::helper

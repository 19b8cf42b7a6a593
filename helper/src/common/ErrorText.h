#pragma once

#include <string>
#include <system_error>

namespace ovrin::helper {

// Russian wording of a file-system error, for texts a user reads.
struct ErrorText {
    static std::string describe(std::error_code error);
};

} // namespace ovrin::helper

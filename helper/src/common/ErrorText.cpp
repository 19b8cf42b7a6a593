#include "common/ErrorText.h"

#include <cerrno>

namespace ovrin::helper {

std::string ErrorText::describe(std::error_code error)
{
    if (error.category() == std::generic_category() || error.category() == std::system_category()) {
        switch (error.value()) {
        case ENOENT:
            return "папка не существует";
        case EACCES:
        case EPERM:
            return "нет прав на запись";
        case ENOSPC:
        case EDQUOT:
            return "на диске нет места";
        case EROFS:
            return "диск доступен только для чтения";
        case EISDIR:
            return "по этому пути находится папка";
        case ENOTDIR:
            return "часть пути не является папкой";
        case ENAMETOOLONG:
            return "слишком длинный путь";
        case EIO:
            return "ошибка ввода-вывода";
        default:
            break;
        }
    }
    return "системная ошибка " + std::to_string(error.value()) + " (" + error.message() + ")";
}

} // namespace ovrin::helper

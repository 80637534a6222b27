#include <windows.h>

#include "rename/FailReasonPlatform.h"

namespace tovana {

FailReason ReasonOfSystemError(int code, FailReason (*)(int)) {
    switch (static_cast<DWORD>(code)) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return FailReason::TargetExists;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return FailReason::AccessDenied;
        case ERROR_FILENAME_EXCED_RANGE:
            return FailReason::NameTooLong;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return FailReason::InUse;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return FailReason::NotFound;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return FailReason::InvalidName;
        default:
            return FailReason::Other;
    }
}

}  // namespace tovana

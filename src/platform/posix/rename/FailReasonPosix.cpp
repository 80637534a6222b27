#include "rename/FailReasonPlatform.h"

namespace tovana {

// The system's error numbers are errno values here.
FailReason ReasonOfSystemError(int code, FailReason (*ofErrno)(int)) {
    return ofErrno(code);
}

}  // namespace tovana

// How the platform's own error numbers map onto reasons; errno values are shared.
#pragma once

#include "rename/FailReason.h"

namespace tovana {

// `code` is a system_category() value; `ofErrno` classifies an errno value.
FailReason ReasonOfSystemError(int code, FailReason (*ofErrno)(int));

}  // namespace tovana

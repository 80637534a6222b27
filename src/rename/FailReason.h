// Why a rename failed, as data: the front ends turn it into their own words, the journal into
// a short word of its own.
#pragma once

#include <string_view>
#include <system_error>

namespace tovana {

enum class FailReason {
    None,              // not a failure
    TargetExists,      // another entry already bears the new name
    AccessDenied,      // no permission, or a read-only file system
    NameTooLong,       // the new name is longer than the file system takes
    InUse,             // another program holds the entry open
    NotFound,          // the entry is no longer where it was
    InvalidName,       // the new name is empty, "." or "..", or the file system refuses it
    FolderUnreadable,  // the folder holding the entry could not be opened
    WouldHide,         // a visible entry would get a name that hides it
    Other,             // anything else; the system's error says more
};

// The reason behind a system error of the platform's file system.
FailReason ReasonOf(std::error_code error);

// A short lower-case word for each reason ("exists", "denied", ...), as journals record it.
std::string_view ReasonWord(FailReason reason);
// The reason a word stands for; FailReason::Other for a word no reason has.
FailReason ReasonFromWord(std::string_view word);

}  // namespace tovana

#include "rename/FailReason.h"

#include <array>
#include <utility>

#include "rename/FailReasonPlatform.h"

namespace tovana {
namespace {

constexpr std::array<std::pair<FailReason, std::string_view>, 10> kWords{{
    {FailReason::None, "none"},
    {FailReason::TargetExists, "exists"},
    {FailReason::AccessDenied, "denied"},
    {FailReason::NameTooLong, "too-long"},
    {FailReason::InUse, "in-use"},
    {FailReason::NotFound, "not-found"},
    {FailReason::InvalidName, "invalid-name"},
    {FailReason::FolderUnreadable, "no-folder"},
    {FailReason::WouldHide, "would-hide"},
    {FailReason::Other, "other"},
}};

FailReason ReasonOfErrno(int code) {
    switch (static_cast<std::errc>(code)) {
        case std::errc::file_exists:
        case std::errc::directory_not_empty:
            return FailReason::TargetExists;
        case std::errc::permission_denied:
        case std::errc::operation_not_permitted:
        case std::errc::read_only_file_system:
            return FailReason::AccessDenied;
        case std::errc::filename_too_long:
            return FailReason::NameTooLong;
        case std::errc::device_or_resource_busy:
        case std::errc::text_file_busy:
            return FailReason::InUse;
        case std::errc::no_such_file_or_directory:
        case std::errc::not_a_directory:
            return FailReason::NotFound;
        case std::errc::invalid_argument:
        case std::errc::illegal_byte_sequence:
            return FailReason::InvalidName;
        default:
            return FailReason::Other;
    }
}

}  // namespace

FailReason ReasonOf(std::error_code error) {
    if (!error) {
        return FailReason::None;
    }
    if (error.category() == std::generic_category()) {
        return ReasonOfErrno(error.value());
    }
    if (error.category() == std::system_category()) {
        return ReasonOfSystemError(error.value(), ReasonOfErrno);
    }
    return FailReason::Other;
}

std::string_view ReasonWord(FailReason reason) {
    for (const auto& [r, word] : kWords) {
        if (r == reason) {
            return word;
        }
    }
    return "other";
}

FailReason ReasonFromWord(std::string_view word) {
    for (const auto& [reason, w] : kWords) {
        if (w == word) {
            return reason;
        }
    }
    return FailReason::Other;
}

}  // namespace tovana

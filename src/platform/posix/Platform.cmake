# Linux and the other POSIX systems: each library's platform files (paths from this folder), the
# system libraries they need, and the window shown here.
set(platform_names names/PathRulesPosix.cpp names/UnicodeUtf8proc.cpp)
set(platform_names_libraries PkgConfig::UTF8PROC)
set(platform_rename rename/FileSystemPosix.cpp rename/FailReasonPosix.cpp)
set(platform_journal journal/JournalStorePosix.cpp)
# The settings live in a file.
set(platform_settings settings/FileSettingsStore.cpp)
set(platform_form form/StartPlatformPosix.cpp)
set(platform_cli cli/CliPosix.cpp cli/CliStopPosix.cpp)
set(platform_view qt)

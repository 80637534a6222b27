# Linux and the other POSIX systems: each library's platform files (paths from this folder), the
# system libraries they need, and the window shown here.
set(platform_rename
  rename/FileSystemPosix.cpp rename/PathRulesPosix.cpp rename/UnicodeUtf8proc.cpp
  rename/FailReasonPosix.cpp rename/JournalStorePosix.cpp)
set(platform_rename_libraries PkgConfig::UTF8PROC)
# The settings live in a file.
set(platform_settings settings/FileSettingsStore.cpp)
set(platform_cli cli/CliPosix.cpp cli/CliStopPosix.cpp)
set(platform_view qt)

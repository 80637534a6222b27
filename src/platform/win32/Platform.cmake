# Windows: each library's platform files (paths from this folder), the system libraries they
# need, and the window shown here.
set(platform_names names/PathRulesWin32.cpp names/UnicodeWin32.cpp names/WideText.cpp)
set(platform_names_libraries normaliz)
set(platform_rename rename/FileSystemWin32.cpp rename/FailReasonWin32.cpp)
set(platform_journal journal/JournalStoreWin32.cpp)
set(platform_journal_libraries shell32)
# The settings live in the registry.
set(platform_settings settings/RegistrySettingsStore.cpp)
set(platform_settings_libraries advapi32)
set(platform_form form/StartPlatformWin32.cpp)
set(platform_cli cli/CliWin32.cpp cli/CliStopWin32.cpp)
set(platform_cli_libraries shell32)
# Resources of the command line program itself (a library's would not be linked in).
set(platform_cli_program "${CMAKE_CURRENT_LIST_DIR}/cli/tovana-cli.rc")
set(platform_view win32)
# The resource compiler's own includes are not tracked: a changed manifest must rebuild too.
set_source_files_properties("${CMAKE_CURRENT_LIST_DIR}/cli/tovana-cli.rc" PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/cli/tovana-cli.manifest")
# The shipped programs carry no symbols: they would more than double the files' size.
set(platform_program_link_options $<$<NOT:$<CONFIG:Debug>>:-s>)

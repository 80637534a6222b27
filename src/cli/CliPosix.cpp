#include "cli/CliPlatform.h"

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareOutput() {}

void WriteText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

std::string ErrorText(const std::error_code& error) {
    return error.message();
}

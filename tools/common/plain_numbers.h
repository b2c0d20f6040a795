// Command-line numbers as a person types them: decimal digits, an optional
// sign and fraction. CLI11 alone also reads "0x10", "0b11" or "1e3", which a
// guitarist never means and which turn a typo into a surprising value.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace tw::tools {

// True for "512", "-3", "2.5", "+0.25"; false for "", "0x10", "1e3", "5.", ".5". Any thread.
bool is_plain_decimal(const std::string& text);

// The CLI11 check of an option that takes such a number (main thread).
CLI::Validator plain_decimal();

// The CLI11 check of an option that names a folder: not an empty name (main thread).
CLI::Validator non_empty_name();

}  // namespace tw::tools

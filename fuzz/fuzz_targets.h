#pragma once

// The fuzzed entry points. Each takes one input of any bytes, runs the code under test on
// it and checks what must hold for every input; a broken rule aborts with a message. The
// libFuzzer programs and the replay test call the same functions.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnel::fuzz {

//! The command-line tokenizer, and the refusal of lines with too many arguments.
void SplitArgumentsTarget(const std::uint8_t* data, std::size_t size);
//! The option table and the validation, with NUL-separated arguments.
void OptionsTarget(const std::uint8_t* data, std::size_t size);
//! Reading the first line of a command file (@FILE) holding the input.
void CommandFileTarget(const std::uint8_t* data, std::size_t size);
//! A record saved as a configuration line reads back as the same record.
void ConfigurationLineTarget(const std::uint8_t* data, std::size_t size);
//! The join test and the rebuild of the records query.
void RecordsQueryTarget(const std::uint8_t* data, std::size_t size);

using Target = void (*)(const std::uint8_t*, std::size_t);

//! The target of that name (split_arguments, options, command_file, configuration_line,
//! records_query); null for any other name.
Target FindTarget(std::string_view name);

}  // namespace varnel::fuzz

// Whole-file access for the small data files the program keeps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kv::platform {

// Reads the whole file into `data`. False when it cannot be opened or read.
bool read_file(std::string_view path, std::string& data);
// Creates an empty file when none exists. False when that fails.
bool ensure_file(std::string_view path);
// Writes `data` beside `path` and moves it over `path` in one step, so that a
// failure at any point leaves the previous file whole.
bool replace_file(std::string_view path, std::string_view data);
// Adds `record` at the end of a file of records of its size, creating the
// file when none exists. A piece of a record left at the end by a write
// torn short is dropped first, so that the records stay in step. Work in
// proportion to the record, not to the file; a failure, or a write torn
// short, leaves every earlier record whole.
bool append_record(std::string_view path, std::string_view record);
// The Win32 error number of the latest of these calls that failed.
std::uint32_t last_file_error();

}  // namespace kv::platform

// Whole-file access for the small data files the program keeps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace kv::platform {

// Reads the whole file into `data`. False when it cannot be opened or read.
bool read_file(std::string_view path, std::string& data);
// Creates an empty file when none exists. False when that fails.
bool ensure_file(std::string_view path);
// Rewrites the file from what it holds now: reads it (no file reads as
// empty), passes that to `edit` and puts what it returns in its place. The
// new file is written beside the old one and moved over it in one step, so
// that a failure at any point leaves the previous file whole. Another
// process (another signed-in user) that appends or rewrites meanwhile waits
// for it, so that the edit sees every record and loses none.
class FileEdit {
public:
    virtual std::string edit(std::string_view current) = 0;

protected:
    ~FileEdit() = default;
};
bool rewrite_file(std::string_view path, FileEdit& edit);
// A FileEdit made of a callable (no std::function: the program's Windows
// build carries no exception machinery).
template <class F>
class EditBy final : public FileEdit {
public:
    explicit EditBy(F f) : f_(std::move(f)) {}
    std::string edit(std::string_view current) override { return f_(current); }

private:
    F f_;
};
// Adds `record` at the end of a file of records of its size, creating the
// file when none exists, in one append-only write that another process's
// appends cannot interleave with. A piece of a record left at the end by a
// write torn short is dropped first, so that the records stay in step. Work
// in proportion to the record, not to the file; a failure, or a write torn
// short, leaves every earlier record whole.
bool append_record(std::string_view path, std::string_view record);
// The folder of data shared by every user of the machine (%ProgramData%,
// CSIDL_COMMON_APPDATA), without a trailing separator; empty when the
// system has none.
std::string common_app_data();
// True when `path` names an existing folder.
bool folder_exists(std::string_view path);
// The Win32 error number of the latest of these calls that failed.
std::uint32_t last_file_error();

}  // namespace kv::platform

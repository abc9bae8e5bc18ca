// Whole-file access for the small data files the program keeps. Each call
// answers with its Result: success, or the Win32 error of the call that
// failed.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/result.h"

namespace kv::platform {

// Reads the whole file into `data`; kErrorFileNotFound when there is none.
Result read_file(std::string_view path, std::string& data);
// Creates an empty file when none exists.
Result ensure_file(std::string_view path);
// Rewrites the file from what it holds now: reads it (no file reads as
// empty), passes that to `edit` and puts what it returns in its place. The
// new file is written beside the old one and moved over it in one step, so
// that a failure at any point leaves the previous file whole. Another
// process (another signed-in user) that appends or rewrites meanwhile waits
// for it, so that the edit sees every record and loses none (ERROR_TIMEOUT
// when it waited too long for another writer).
class FileEdit {
public:
    virtual std::string edit(std::string_view current) = 0;

protected:
    ~FileEdit() = default;
};
Result rewrite_file(std::string_view path, FileEdit& edit);
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
// short, leaves every earlier record whole. ERROR_TIMEOUT when another
// writer held the file too long.
Result append_record(std::string_view path, std::string_view record);
// The folder of data shared by every user of the machine (%ProgramData%,
// CSIDL_COMMON_APPDATA), without a trailing separator; empty when the
// system has none.
std::string common_app_data();
// True when `path` names an existing folder.
bool folder_exists(std::string_view path);

}  // namespace kv::platform

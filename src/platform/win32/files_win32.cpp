// Whole-file reads and safe replacement over the Win32 file calls.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>

#include "platform/files.h"
#include "platform/win32/form_impl.h"
#include "platform/win32/handles.h"

namespace kv::platform {

namespace {

// The failed call's error, taken before a clean-up call can change it; one
// that left no error is a failure all the same.
Result failed() {
    const DWORD error = GetLastError();
    return static_cast<long>(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
}

bool write_all(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) return false;
        data.remove_prefix(written);
    }
    return true;
}

// The lock every writer of the program's data files takes, in whatever
// session it runs: a rewrite reads the file and moves its new copy over it
// with no append in between, and an append trims a torn piece with no other
// append after it. It is held for one read and write of a small file; a
// wait longer than this fails the write, which is then kept and retried
// with the next change, rather than hold up the lock screen.
constexpr DWORD kFileLockWaitMs = 500;

class FileLock {
public:
    FileLock() {
        static const win32::KernelHandle mutex(win32::shared_mutex("Global\\Kestrova.Files"));
        // Without the object (no Global namespace before Windows 2000), each
        // process writes alone as before.
        if (!mutex) return;
        const DWORD r = WaitForSingleObject(mutex.get(), kFileLockWaitMs);
        // Abandoned: its holder ended mid-write; the torn piece is trimmed.
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) held_ = mutex.get();
        else timed_out_ = true;
    }
    ~FileLock() {
        if (held_) ReleaseMutex(held_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // ERROR_TIMEOUT when another writer held it too long.
    Result taken() const { return timed_out_ ? Result(ERROR_TIMEOUT) : Result(); }

private:
    HANDLE held_ = nullptr;
    bool timed_out_ = false;
};

Result replace_file(const std::string& target, std::string_view data) {
    const std::string temporary = target + ".tmp";
    Result written;
    {
        win32::FileHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return failed();
        if (!write_all(file.get(), data) || !FlushFileBuffers(file.get())) written = failed();
    }  // closed before the move
    if (written && MoveFileExA(temporary.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return written;
    if (written) written = failed();
    // The copy that did not become the file goes; whether it could is of no
    // consequence: the next rewrite replaces it.
    DeleteFileA(temporary.c_str());
    return written;
}

}  // namespace

Result read_file(std::string_view path, std::string& data) {
    const std::string name(path);
    win32::FileHandle file(CreateFileA(name.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return failed();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return failed();
    if (size.QuadPart < 0 || size.QuadPart > (1ll << 30)) return ERROR_FILE_TOO_LARGE;
    std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD got = 0;
        const DWORD want =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 20));
        if (!ReadFile(file.get(), content.data() + done, want, &got, nullptr)) return failed();
        if (got == 0) break;
        done += got;
    }
    content.resize(done);
    data = std::move(content);
    return {};
}

Result ensure_file(std::string_view path) {
    const std::string name(path);
    win32::FileHandle file(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? Result() : failed();
}

Result rewrite_file(std::string_view path, FileEdit& edit) {
    const std::string target(path);
    FileLock lock;
    if (const Result taken = lock.taken(); !taken) return taken;
    std::string current;
    if (const Result read = read_file(target, current); !read && read != kErrorFileNotFound)
        return read;
    return replace_file(target, edit.edit(current));
}

// Opened for appending only, every write goes to the end of the file as it
// is at that moment, whoever else appends; readers and other appenders may
// have it open meanwhile.
Result append_record(std::string_view path, std::string_view record) {
    if (record.empty()) return {};
    const std::string name(path);
    FileLock lock;
    if (const Result taken = lock.taken(); !taken) return taken;
    win32::FileHandle file(CreateFileA(name.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return failed();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return failed();
    if (size.QuadPart % static_cast<LONGLONG>(record.size()) != 0) {
        // Truncating needs write access to the data: a handle of its own.
        win32::FileHandle trim(CreateFileA(name.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER end{};
        end.QuadPart = size.QuadPart - size.QuadPart % static_cast<LONGLONG>(record.size());
        if (!trim || !SetFilePointerEx(trim.get(), end, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(trim.get()))
            return failed();
    }
    // One write of the whole record; a record written whole stays written
    // even when the flush to the disk is not confirmed, so that it is not
    // written a second time later: the flush's result is not asked for.
    DWORD written = 0;
    if (!WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()), &written,
                   nullptr))
        return failed();
    if (written != record.size()) return ERROR_WRITE_FAULT;
    FlushFileBuffers(file.get());
    return {};
}

std::string common_app_data() {
    // The shell is loaded the first time it is needed, not at start.
    using GetFolder = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    static const auto get_folder = reinterpret_cast<GetFolder>(
        reinterpret_cast<void*>(win32::library_function("shell32.dll", "SHGetFolderPathA")));
    char path[MAX_PATH] = {};
    if (!get_folder || get_folder(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path) != S_OK)
        return {};
    std::string folder(path);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

bool folder_exists(std::string_view path) {
    const DWORD attributes = GetFileAttributesA(std::string(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace kv::platform

// Whole-file reads and safe replacement over the Win32 file calls.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/files.h"
#include "platform/win32/handles.h"

namespace kv::platform {

namespace {

DWORD g_last_error = ERROR_SUCCESS;

// Keeps the failed call's error, before a clean-up call can change it.
bool failed() {
    g_last_error = GetLastError();
    return false;
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

}  // namespace

bool read_file(std::string_view path, std::string& data) {
    const std::string name(path);
    win32::FileHandle file(CreateFileA(name.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return failed();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return failed();
    if (size.QuadPart < 0 || size.QuadPart > (1ll << 30)) {
        g_last_error = ERROR_FILE_TOO_LARGE;
        return false;
    }
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
    return true;
}

bool ensure_file(std::string_view path) {
    const std::string name(path);
    win32::FileHandle file(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? true : failed();
}

bool replace_file(std::string_view path, std::string_view data) {
    const std::string target(path);
    const std::string temporary = target + ".tmp";
    bool written = false;
    {
        win32::FileHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return failed();
        written = write_all(file.get(), data) && FlushFileBuffers(file.get());
        if (!written) failed();
    }  // closed before the move
    if (written && MoveFileExA(temporary.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (written) failed();
    DeleteFileA(temporary.c_str());
    return false;
}

bool append_record(std::string_view path, std::string_view record) {
    if (record.empty()) return true;
    const std::string name(path);
    win32::FileHandle file(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return failed();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return failed();
    LARGE_INTEGER end{};
    end.QuadPart = size.QuadPart - size.QuadPart % static_cast<LONGLONG>(record.size());
    if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN)) return failed();
    if (end.QuadPart != size.QuadPart && !SetEndOfFile(file.get())) return failed();
    return (write_all(file.get(), record) && FlushFileBuffers(file.get())) || failed();
}

std::uint32_t last_file_error() { return g_last_error; }

}  // namespace kv::platform

// Process, dialogue, pointer and shell services, recorded.
#include <algorithm>
#include <string>
#include <utility>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/sim/sim_internal.h"
#include "platform/system.h"

namespace kv::sim {

World& world() {
    static World w;
    return w;
}

void reset() {
    reset_forms();
    world() = World{};
    world().version = platform::VersionInfo{2,
                                            0,
                                            "Kestrova",
                                            "Orvane Software",
                                            "Windows Access Control",
                                            "support@orvane.example for product information.",
                                            "Copyright (C) Orvane Software",
                                            "Windows is a registered trademark of its owner."};
    reset_registry_handles();
}

bool trace_has(std::string_view entry) { return trace_find(entry) >= 0; }

int trace_find(std::string_view prefix, int from) {
    const auto& t = world().trace;
    for (int i = from < 0 ? 0 : from; i < static_cast<int>(t.size()); ++i)
        if (std::string_view(t[i]).substr(0, prefix.size()) == prefix) return i;
    return -1;
}

}  // namespace kv::sim

namespace kv::platform {

using sim::world;

namespace {
std::string rect_text(const Rect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}
}  // namespace

bool previous_instance() { return world().previous_instance; }

void end_process() {
    world().trace.push_back("end process");
    throw sim::ProcessEnded{};
}

std::string program_dir() { return world().program_dir; }

bool process_elevated() { return world().elevated; }

// An accepted copy runs elevated, as an administrator whose writes are not
// denied, and then the process's own rights come back.
long run_elevated(std::string_view args) {
    auto& w = world();
    w.elevated_runs.emplace_back(args);
    w.trace.push_back("elevated " + std::string(args));
    switch (w.consent) {
        case sim::World::Consent::Declined:
            return kErrorCancelled;
        case sim::World::Consent::Failed:
            return w.elevation_error;
        case sim::World::Consent::Accepted:
            break;
    }
    if (!w.elevated_copy) return w.elevation_error;
    const bool elevated = std::exchange(w.elevated, true);
    // The copy has an administrator's token: nothing is refused to it.
    const bool standard = std::exchange(w.standard_user, false);
    const bool deny_files = std::exchange(w.program_dir_read_only, false);
    const long code = w.elevated_copy(args);
    w.elevated = elevated;
    w.standard_user = standard;
    w.program_dir_read_only = deny_files;
    return code;
}

OsVersion os_version() { return world().os; }

VersionInfo version_info() { return world().version; }

int message_box(std::string_view text, unsigned type, std::string_view title) {
    world().boxes.push_back({std::string(text), type, std::string(title)});
    world().trace.push_back("msgbox " + std::string(title));
    if (world().while_box_open) {
        // A box opened meanwhile waits for its own answer.
        const auto meanwhile = std::exchange(world().while_box_open, nullptr);
        meanwhile(world().boxes.back());
    }
    if (!world().box_answers.empty()) {
        const int answer = world().box_answers.front();
        world().box_answers.pop_front();
        return answer;
    }
    const unsigned buttons = type & 0xF;
    return buttons == 4 ? 7 : 1;  // No for Yes/No boxes, OK otherwise
}

std::string input_box(std::string_view prompt, std::string_view title) {
    world().inputs.push_back({std::string(prompt), std::string(title)});
    world().trace.push_back("input " + std::string(title));
    if (world().input_answers.empty()) return {};
    std::string answer = world().input_answers.front();
    world().input_answers.pop_front();
    return answer;
}

void beep() {
    ++world().beeps;
    world().trace.push_back("beep");
}

bool clip_cursor(const Rect& r) {
    world().clip = r;
    world().trace.push_back("clip " + rect_text(r));
    return true;
}

Rect cursor_clip() { return world().clip.value_or(world().desktop); }

bool on_top(NativeWindow w) {
    const auto it = world().z_order.find(w);
    return world().top == w && it != world().z_order.end() && it->second == kHwndTopmost;
}

Point cursor_pos() { return world().cursor; }

void set_cursor_pos(int x, int y) {
    Point p{x, y};
    if (world().clip) {
        const Rect& c = *world().clip;
        p.x = std::max(c.left, std::min(p.x, c.right - 1));
        p.y = std::max(c.top, std::min(p.y, c.bottom - 1));
    }
    world().cursor = p;
}

Rect desktop_rect() { return world().desktop; }

void set_default_pointer() {}

void end_menu() { world().trace.push_back("end menu"); }

void system_parameters_info(unsigned action, int flag) {
    if (action == kSpiSetScreenSaverRunning) world().screensaver_running = flag != 0;
    world().trace.push_back("spi " + std::to_string(action) + " " + std::to_string(flag));
}

void set_window_pos(NativeWindow w, std::intptr_t insert_after, unsigned flags) {
    world().z_order[w] = insert_after;
    if (insert_after == kHwndTopmost || insert_after == kHwndTop)
        world().top = w;
    else if (world().top == w)
        world().top = 0;
    world().trace.push_back("setwindowpos " + std::to_string(insert_after) + " " +
                            std::to_string(flags));
}

std::intptr_t send_message(NativeWindow w, unsigned msg, std::uintptr_t wparam, std::intptr_t) {
    world().trace.push_back("sendmessage " + std::to_string(msg) + " " + std::to_string(wparam));
    if (msg == kWmSetHotkey) return world().sethotkey_result;
    if (msg == kWmSysCommand) world().sys_commands.emplace_back(w, static_cast<unsigned>(wparam));
    return 0;
}

bool register_hotkey(NativeWindow w, unsigned vk) {
    world().hotkeys.emplace_back(w, vk);
    world().trace.push_back("registerhotkey " + std::to_string(vk));
    return true;
}

std::optional<std::uint32_t> access_flags(AccessFeature f) {
    return world().access_flags[static_cast<std::size_t>(f)];
}

bool set_access_flags(AccessFeature f, std::uint32_t flags) {
    const auto i = static_cast<std::size_t>(f);
    world().trace.push_back("access " + std::to_string(i) + " " + std::to_string(flags));
    if (world().access_fixed[i]) return false;
    world().access_flags[i] = flags;
    return true;
}

struct TaskKeyBlock::Impl {};

TaskKeyBlock::TaskKeyBlock(NativeWindow) {
    ++world().task_key_blocks;
    ++world().task_key_blocks_made;
    world().trace.push_back("task keys blocked");
}

TaskKeyBlock::~TaskKeyBlock() {
    --world().task_key_blocks;
    world().trace.push_back("task keys free");
}

void lock_session() {
    ++world().session_locks;
    world().trace.push_back("lock session");
}

struct FailClosed::Impl {};

FailClosed::FailClosed() {
    ++world().watches;
    ++world().watches_made;
    world().watcher_ended = false;
    world().trace.push_back("watch start");
}

FailClosed::~FailClosed() {
    --world().watches;
    world().trace.push_back("watch released");
}

bool FailClosed::watcher_ended() const { return world().watcher_ended; }

std::intptr_t shell_execute(NativeWindow, std::string_view verb, std::string_view file,
                            std::string_view params, std::string_view dir, int show) {
    world().shell_targets.push_back(std::string(file));
    world().trace.push_back("shell " + std::string(verb) + " " + std::string(file) + " " +
                            std::string(params) + " " + std::string(dir) + " " +
                            std::to_string(show));
    return world().shell_result;
}

std::string date_text() { return world().date; }
std::string time_text() { return world().time; }

// --- files ---------------------------------------------------------------

namespace {
// The injected fault of this call, if any.
Result file_fault(sim::Call call) {
    const auto code = sim::take_fault(call);
    return code ? Result(static_cast<long>(*code)) : Result();
}

// A standard user cannot write in the program's folder.
Result write_denied(std::string_view path) {
    const std::string dir = world().program_dir + "\\";
    if (!world().program_dir_read_only || path.substr(0, dir.size()) != dir) return {};
    return kErrorAccessDenied;
}
}  // namespace

Result read_file(std::string_view path, std::string& data) {
    if (const Result fault = file_fault(sim::Call::ReadFile); !fault) return fault;
    const auto f = world().files.find(std::string(path));
    if (f == world().files.end()) return kErrorFileNotFound;
    data = f->second;
    return {};
}

Result ensure_file(std::string_view path) {
    if (const Result fault = file_fault(sim::Call::EnsureFile); !fault) return fault;
    if (const Result denied = write_denied(path); !denied) return denied;
    world().files.try_emplace(std::string(path));
    return {};
}

Result rewrite_file(std::string_view path, FileEdit& edit) {
    world().trace.push_back("file replace " + std::string(path));
    if (const Result fault = file_fault(sim::Call::ReadFile); !fault) return fault;
    const auto f = world().files.find(std::string(path));
    std::string data = edit.edit(f == world().files.end() ? std::string_view{} : f->second);
    if (const Result fault = file_fault(sim::Call::ReplaceFile); !fault) return fault;
    if (const Result denied = write_denied(path); !denied) return denied;
    world().files[std::string(path)] = std::move(data);
    return {};
}

Result append_record(std::string_view path, std::string_view record) {
    world().trace.push_back("file append " + std::string(path));
    if (const Result denied = write_denied(path); !denied) return denied;
    std::string& file = world().files[std::string(path)];
    file.resize(file.size() - file.size() % record.size());
    if (const Result fault = file_fault(sim::Call::AppendFile); !fault) {
        file += record.substr(0, record.size() / 2);  // torn short
        return fault;
    }
    file += record;
    return {};
}

std::string common_app_data() { return world().program_data; }

bool folder_exists(std::string_view path) { return world().folders.count(std::string(path)) > 0; }

bool report_event(EventType type, std::uint32_t id, std::string_view text) {
    if (world().event_log_fails) return false;
    world().events.push_back({type, id, std::string(text)});
    return true;
}

}  // namespace kv::platform

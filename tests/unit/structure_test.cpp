// The program's structure: every route of every form against its layout
// table, and the order of the source folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "app/form1.h"
#include "app/splash.h"
#include "help/about.h"
#include "lock/form4.h"
#include "ui/layouts.h"

namespace kv::test {
namespace {

using platform::ControlKind;
using platform::FormSpec;

// Names are checked when compiled; the element of a control array is not.
// Each button has a click route and each menu command and timer its route,
// and no route names a control, item or timer twice.
template <class T>
void expect_routes_match(const FormSpec& form) {
    std::set<std::pair<std::string, int>> clicks;
    const auto click = [&](std::string_view control, int index) {
        EXPECT_GE(layout::control_position(form, control, index), 0)
            << form.name << ": no control " << control << "(" << index << ")";
        EXPECT_TRUE(clicks.emplace(std::string(control), index).second)
            << form.name << ": " << control << " routed twice";
    };
    for (const auto& r : Routes<T>::clicks) click(r.control.text, r.index);
    for (const auto& c : Routes<T>::commands)
        if (!c.button.text.empty()) click(c.button.text, c.index);
    for (const auto& c : form.controls) {
        if (c.kind != ControlKind::Button) continue;
        EXPECT_TRUE(clicks.count({c.name, c.index}))
            << form.name << ": the button " << c.name << " has no route";
    }

    std::set<std::string> choices;
    const auto choice = [&](std::string_view item) {
        EXPECT_TRUE(choices.emplace(item).second) << form.name << ": " << item << " routed twice";
    };
    for (const auto& r : Routes<T>::menus) choice(r.item.text);
    for (const auto& c : Routes<T>::commands) {
        if (!c.item.text.empty()) choice(c.item.text);
        EXPECT_FALSE(c.button.text.empty() && c.item.text.empty())
            << form.name << ": a command with neither button nor menu item";
    }
    for (std::size_t i = 0; i < form.menus.size(); ++i) {
        const auto& m = form.menus[i];
        const bool opens = i + 1 < form.menus.size() && form.menus[i + 1].depth > m.depth;
        // Separators and the items that open a submenu are no commands;
        // disabled items have no handler.
        if (opens || std::string_view(m.caption) == "-" || !m.enabled) continue;
        EXPECT_TRUE(choices.count(m.name))
            << form.name << ": the menu item " << m.name << " has no route";
    }

    // A button and a menu item that do the same are one command: no
    // handler has two rows.
    std::set<typename T::Handler> handlers;
    const auto once = [&](typename T::Handler h, std::string_view name) {
        EXPECT_TRUE(handlers.insert(h).second)
            << form.name << ": " << name << " runs what another row runs";
    };
    for (const auto& r : Routes<T>::clicks) once(r.handler, r.control.text);
    for (const auto& r : Routes<T>::menus) once(r.handler, r.item.text);
    for (const auto& c : Routes<T>::commands)
        once(c.handler, c.item.text.empty() ? c.button.text : c.item.text);

    std::set<std::string> ticks;
    for (const auto& r : Routes<T>::ticks) ticks.emplace(r.timer.text);
    for (const auto& t : form.timers)
        EXPECT_TRUE(ticks.count(t.name))
            << form.name << ": the timer " << t.name << " has no route";
}

TEST(Structure, EveryFormRoutesEachOfItsEventsToAHandler) {
    expect_routes_match<Form1>(layout::kForm1);
    expect_routes_match<Form4>(layout::kForm4);
    expect_routes_match<frmSplash>(layout::kSplash);
    expect_routes_match<AboutBox>(layout::kAboutBox);
}

// The folders of src/ from the bottom up. A file may include its own folder
// and those below it, never one above: the platform's entry point declares
// what the program defines rather than including it.
TEST(Structure, EachFolderIncludesOnlyThoseBelowIt) {
    const std::map<std::string, int> order{{"platform", 0}, {"store", 1},   {"ui", 2},
                                           {"log", 3},      {"options", 4}, {"help", 5},
                                           {"setup", 6},    {"lock", 7},    {"app", 8}};
    const std::filesystem::path src = KV_SOURCE_DIR;
    const std::regex include(R"re(#include "([a-z]+)/)re");
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
        const auto ext = entry.path().extension();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
        const std::string folder = entry.path().lexically_relative(src).begin()->string();
        ASSERT_TRUE(order.count(folder)) << "a folder of its own: " << folder;
        ++files;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        const std::string s = text.str();
        for (std::sregex_iterator m(s.begin(), s.end(), include), end; m != end; ++m) {
            const std::string used = (*m)[1];
            if (!order.count(used)) continue;
            EXPECT_LE(order.at(used), order.at(folder))
                << entry.path().lexically_relative(src) << " includes " << used << "/";
        }
    }
    EXPECT_GT(files, 50) << "the sources were not found under " << src;
}

// The manifest names every Windows the program is written for, Vista to 11,
// so that none of them runs it in a compatibility mode.
TEST(Structure, ManifestDeclaresTheSupportedWindowsVersions) {
    std::ifstream in(std::filesystem::path(KV_SOURCE_DIR) / "platform/win32/kvstrn.manifest");
    std::stringstream text;
    text << in.rdbuf();
    for (const char* id : {"e2011457-1546-43c5-a5fe-008deee3d3f0",    // Vista
                           "35138b9a-5d96-4fbd-8e2d-a2440225f93a",    // 7
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",    // 8
                           "1f676c76-80e1-4239-95bb-83d0f6d0da78",    // 8.1
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})  // 10 and 11
        EXPECT_NE(text.str().find("<supportedOS Id=\"{" + std::string(id) + "}\"/>"),
                  std::string::npos)
            << id;
}

}  // namespace
}  // namespace kv::test

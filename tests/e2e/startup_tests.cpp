// Start-up of the real kvstrn.exe under Wine: single instance, the Windows
// version check, the splash labels and the three ways out of the splash.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "ui/layouts.h"
#include "ui/maker.h"
#include "harness.h"
#include "program_test.h"
#include "store/secrets.h"
#include "store/settings.h"

namespace {

using namespace kv::e2e;
using Clock = std::chrono::steady_clock;

constexpr const char* kSplashClass = "KvfrmSplash";
constexpr const char* kMainClass = "KvForm1";
constexpr const char* kLockClass = "KvForm4";
constexpr const char* kMainCaption = "Kestrova 2.0";
constexpr const char* kLockCaption = "Kestrova 2.0  (Kestrova is Activated)";

// The splash's labels are made once it shows: waits for them.
HWND splash_label(HWND splash, const char* name) {
    const int pos = kv::layout::control_position(kv::layout::kSplash, name, -1);
    EXPECT_GE(pos, 0) << name << " is not in the splash layout";
    HWND found = nullptr;
    if (pos >= 0) wait_for([&] { return (found = control(splash, pos)) != nullptr; });
    return found;
}

// Waits until the control's text is `expected` and returns what it reads.
std::string wait_text(HWND w, const std::string& expected, Millis timeout = 5s) {
    std::string got;
    wait_for([&] { return (got = window_text(w)) == expected; }, timeout);
    return got;
}

// Whether the process has loaded a module of this name (any folder).
bool has_module(DWORD pid, const char* name) {
    const HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    EXPECT_NE(snap, INVALID_HANDLE_VALUE) << "cannot list the modules of " << pid;
    if (snap == INVALID_HANDLE_VALUE) return false;
    MODULEENTRY32 m{};
    m.dwSize = sizeof m;
    bool found = false;
    for (BOOL more = Module32First(snap, &m); more && !found; more = Module32Next(snap, &m))
        found = _stricmp(m.szModule, name) == 0;
    CloseHandle(snap);
    return found;
}

// program_ is the first instance.
class Startup : public ProgramTest {
protected:
    void TearDown() override {
        second_.kill();
        ProgramTest::TearDown();
    }
    Program second_;
};

TEST_F(Startup, ASecondInstanceIsRefusedAndTheFirstKeepsRunning) {
    ASSERT_TRUE(program_.start());
    ASSERT_TRUE(program_.wait_window(kSplashClass)) << "the first instance shows no splash";

    ASSERT_TRUE(second_.start());
    const auto box = wait_message_box(second_.pid());
    ASSERT_TRUE(box) << "the second instance shows no message box";
    EXPECT_EQ(box->text, "Kestrova is already running!");
    EXPECT_EQ(box->caption, "Kestrova");
    EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
    EXPECT_EQ(find_window(second_.pid(), kSplashClass), nullptr)
        << "the refused instance must not show its splash";

    ASSERT_TRUE(click(box->hwnd, IDOK));
    EXPECT_TRUE(second_.wait_exit()) << "the second instance did not end after OK";

    EXPECT_TRUE(program_.running());
    EXPECT_TRUE(program_.find_window(kSplashClass) || program_.find_window(kMainClass))
        << "the first instance lost its windows";
    EXPECT_FALSE(find_message_box(program_.pid()) &&
                 find_message_box(program_.pid())->text == "Kestrova is already running!");

    // An installer finds the running one by its machine-wide name, with the
    // one right every signed-in user has; it goes with the program.
    const auto running = [] {
        const HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, "Global\\Kestrova.Running");
        if (m) CloseHandle(m);
        return m != nullptr;
    };
    EXPECT_TRUE(running());
    program_.kill();
    EXPECT_TRUE(wait_for([&] { return !running(); })) << "held after the program ended";
}

TEST_F(Startup, Windows31IsRefusedWithTheLookingForWindowsMessage) {
    WineVersion version("win31");
    ASSERT_TRUE(program_.start());
    const auto box = wait_message_box(program_.pid());
    ASSERT_TRUE(box) << "no message box on Windows 3.1";
    EXPECT_EQ(box->caption, "Looking for Windows!");
    EXPECT_EQ(box->text,
              "This software is designed to run on Windows95/98 or NT4. Contact " KV_SUPPORT_EMAIL
              " for information on receiving alternate versions of this product. You can also "
              "visit our web site at " KV_WEB_HOST
              " for the latest product information. The application will now terminate.");
    EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
    EXPECT_EQ(program_.find_window(kSplashClass), nullptr);
    save_screenshot(box->hwnd, "looking_for_windows");

    ASSERT_TRUE(click(box->hwnd, IDOK));
    EXPECT_TRUE(program_.wait_exit()) << "the program did not end after OK";
}

struct PlatformCase {
    const char* wine_version;
    const char* label;
};

class SplashPlatform : public Startup, public ::testing::WithParamInterface<PlatformCase> {};

TEST_P(SplashPlatform, TheSplashNamesThePlatformAndVersion) {
    WineVersion version(GetParam().wine_version);
    ASSERT_TRUE(program_.start());
    HWND splash = program_.wait_window(kSplashClass);
    ASSERT_TRUE(splash) << "no splash";

    HWND platform = splash_label(splash, "lblPlatform");
    ASSERT_TRUE(platform) << "no lblPlatform control in the splash";
    EXPECT_EQ(wait_text(platform, GetParam().label), GetParam().label);

    HWND product = splash_label(splash, "lblProductName");
    ASSERT_TRUE(product);
    EXPECT_EQ(wait_text(product, "Kestrova"), "Kestrova");
    HWND ver = splash_label(splash, "lblVersion");
    ASSERT_TRUE(ver);
    EXPECT_EQ(wait_text(ver, "Version 2.0"), "Version 2.0");

    EXPECT_TRUE(save_screenshot(splash, std::string("splash_") + GetParam().wine_version));
}

INSTANTIATE_TEST_SUITE_P(Versions, SplashPlatform,
                         ::testing::Values(PlatformCase{"win98", "For Windows 95/98"},
                                           PlatformCase{"nt40", "For Windows NT"}),
                         [](const auto& info) { return std::string(info.param.wine_version); });

TEST_F(Startup, WithoutAQuestionTheSetUpBeginsAfterTheSplash) {
    ASSERT_TRUE(program_.start());
    HWND splash = program_.wait_window(kSplashClass);
    ASSERT_TRUE(splash) << "no splash";
    const auto splash_seen = Clock::now();
    // The splash has labels only, and shows without waiting for the common
    // controls and their themes; they load with the next window.
    EXPECT_FALSE(has_module(program_.pid(), "comctl32.dll"))
        << "the common controls loaded before the splash showed";
    ASSERT_TRUE(is_visible(splash)) << "the splash went before the modules were read";
    for (const auto& c : kv::layout::kSplash.controls)
        if (c.kind == kv::platform::ControlKind::Label) {
            ASSERT_TRUE(splash_label(splash, c.name));
        }
    EXPECT_EQ(screen_reader_faults(splash), "");

    // The main window opens 1.5 s after the splash's first paint; its first
    // paint finds no question, hides it, unloads the splash and welcomes the
    // user.
    const auto box = wait_message_box(program_.pid(), 20s);
    ASSERT_TRUE(box) << "no welcome message";
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - splash_seen);
    EXPECT_GE(waited.count(), 1000) << "the set-up began too early";
    EXPECT_EQ(box->caption, "Welcome to Kestrova!");
    EXPECT_EQ(box->text, "Access to Kestrova is obtained by answering a user-defined question.");
    EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
    EXPECT_FALSE(is_visible(splash)) << "the splash stayed";
    EXPECT_EQ(program_.find_window(kLockClass), nullptr);
    HWND main = nullptr;
    for (HWND w : top_windows(program_.pid()))
        if (class_name(w) == kMainClass) main = w;
    ASSERT_TRUE(main) << "the main window was not created";
    EXPECT_EQ(window_text(main), kMainCaption);
    EXPECT_FALSE(is_visible(main)) << "the main window shows during the set-up";
    save_screenshot(box->hwnd, "welcome");
}

TEST_F(Startup, WithAQuestionAndNoLoginTheMainWindowStartsMinimised) {
    ASSERT_TRUE(kv::store::write_question_and_answer("What is the colour of the sky?", "blue"));
    ASSERT_TRUE(program_.start());

    HWND main = nullptr;
    ASSERT_TRUE(wait_for(
        [&] {
            main = program_.find_window(kMainClass);
            return main && IsIconic(main);
        },
        20s))
        << "the main window did not appear minimised";
    EXPECT_EQ(program_.find_window(kLockClass), nullptr) << "the lock screen came up";
    EXPECT_TRUE(wait_for([&] { return program_.find_window(kSplashClass) == nullptr; }, 5s))
        << "the splash stayed";
    EXPECT_TRUE(program_.running());
}

TEST_F(Startup, WithAQuestionAndLoginTwoTheLockScreenComesUpCentred) {
    ASSERT_TRUE(kv::store::write_question_and_answer("What is the colour of the sky?", "blue"));
    ASSERT_TRUE(kv::store::set_login_lock());
    ASSERT_TRUE(program_.start());
    // Alt+F4 on the splash skips no decision: the lock comes all the same.
    HWND splash = program_.wait_window(kSplashClass, std::nullopt, 20s);
    ASSERT_TRUE(splash) << "no splash";
    ASSERT_TRUE(wait_for([&] { return GetForegroundWindow() == splash; }));
    ASSERT_TRUE(press_keys("alt+F4"));

    HWND lock = program_.wait_window(kLockClass, kLockCaption, 20s);
    ASSERT_TRUE(lock) << "the lock screen did not come up";
    EXPECT_TRUE(wait_for([&] { return program_.find_window(kSplashClass) == nullptr; }, 5s))
        << "the splash stayed";

    const RECT r = window_rect(lock);
    const RECT s = screen_rect();
    const int w = r.right - r.left, h = r.bottom - r.top;
    EXPECT_EQ(w, twips_to_px(7215));
    EXPECT_EQ(h, twips_to_px(4905));
    const int dx = (r.left - s.left) - (s.right - r.right);
    const int dy = (r.top - s.top) - (s.bottom - r.bottom);
    EXPECT_LE(std::abs(dx), 2) << "not centred horizontally: " << r.left << ".." << r.right;
    EXPECT_LE(std::abs(dy), 2) << "not centred vertically: " << r.top << ".." << r.bottom;
    EXPECT_TRUE(save_screenshot(lock, "form4"));
}

}  // namespace

// The unlocked main window of the real kvstrn.exe under Wine: the background
// colours, autorun against the sibling product's Run value, the About window,
// and the Help menu's links.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "options/colors.h"
#include "ui/layouts.h"
#include "ui/maker.h"
#include "harness.h"
#include "lock_fixture.h"
#include "platform/ui.h"

namespace {

using namespace kv::e2e;

constexpr const char* kMainClass = "KvForm1";
constexpr const char* kLockClass = "KvForm4";
constexpr const char* kAboutClass = "KvAboutBox";
constexpr const char* kNextWindows = "This action will take effect next time you restart Windows.";

// --- pixels ------------------------------------------------------------------

// The colour on the screen at a point of the window's client area.
COLORREF client_pixel(HWND w, int x, int y) {
    POINT p{x, y};
    ClientToScreen(w, &p);
    HDC dc = GetDC(nullptr);
    const COLORREF c = GetPixel(dc, p.x, p.y);
    ReleaseDC(nullptr, dc);
    return c;
}

std::string rgb_text(COLORREF c) {
    char text[32];
    std::snprintf(text, sizeof text, "(%d, %d, %d)", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

bool near_color(COLORREF got, COLORREF want, int tolerance) {
    return std::abs(GetRValue(got) - GetRValue(want)) <= tolerance &&
           std::abs(GetGValue(got) - GetGValue(want)) <= tolerance &&
           std::abs(GetBValue(got) - GetBValue(want)) <= tolerance;
}

// --- URL handlers of the prefix --------------------------------------------------

// The handler of a URL scheme: HKEY_CLASSES_ROOT\<scheme>, whose
// shell\open\command Wine's ShellExecute "open" runs for "<scheme>:..." with
// the URL as %1. When the object goes, the key is put back as it was: its
// "URL Protocol" value and its open command (all that a Wine prefix has
// there; for http and mailto both name winebrowser).
class SchemeHandler {
public:
    explicit SchemeHandler(std::string scheme)
        : key_(std::move(scheme)),
          protocol_(reg_read(key_, "URL Protocol", HKEY_CLASSES_ROOT)),
          command_(reg_read(command_key(), "", HKEY_CLASSES_ROOT)) {}
    ~SchemeHandler() {
        reg_delete_tree(key_, HKEY_CLASSES_ROOT);
        if (protocol_)
            reg_write_raw(key_, "URL Protocol", protocol_->type, protocol_->bytes,
                          HKEY_CLASSES_ROOT);
        if (command_)
            reg_write_raw(command_key(), "", command_->type, command_->bytes, HKEY_CLASSES_ROOT);
    }
    SchemeHandler(const SchemeHandler&) = delete;
    SchemeHandler& operator=(const SchemeHandler&) = delete;

    // Makes `exe` the scheme's handler, given the URL as its one argument.
    bool point_to(const std::string& exe) {
        return reg_write_sz(key_, "URL Protocol", "", HKEY_CLASSES_ROOT) &&
               reg_write_sz(command_key(), "", "\"" + exe + "\" \"%1\"", HKEY_CLASSES_ROOT);
    }
    // Leaves the scheme without any handler.
    bool remove() {
        reg_delete_tree(key_, HKEY_CLASSES_ROOT);
        return !reg_key_exists(key_, HKEY_CLASSES_ROOT);
    }

private:
    std::string command_key() const { return key_ + "\\shell\\open\\command"; }

    std::string key_;
    std::optional<RawValue> protocol_;
    std::optional<RawValue> command_;
};

// recorder.exe (built beside the tests) appends the arguments it is started
// with to recorder.log beside itself.
std::string recorder_exe() { return self_dir() + "\\recorder.exe"; }
std::string recorder_log() { return self_dir() + "\\recorder.log"; }

// --- the fixture -------------------------------------------------------------------

// The unlocked main window, reached through the lock screen's right answer.
class Options : public Lock {
protected:
    static HWND about_part(HWND about, const char* name) {
        const int pos = kv::layout::control_position(kv::layout::kAboutBox, name, -1);
        EXPECT_GE(pos, 0) << name << " is not in the About window's layout";
        return pos < 0 ? nullptr : control(about, pos);
    }

    // Chooses a menu item of the main window by its command id.
    static void choose(HWND main, const char* item) { ASSERT_TRUE(main_menu(main, item)); }
};

// --- buttons under the pointer ------------------------------------------------------

TEST_F(Options, AButtonLightsUnderThePointerAndGoesOutWhenThePointerLeaves) {
    // Unlocked as a user unlocks: the lock screen held the pointer on its
    // lit "&Enter" until the answer. The pointer's first move after it must
    // light a button of the main window.
    ASSERT_NO_FATAL_FAILURE(start_locked());
    ASSERT_TRUE(wait_for([&] { return lit(enter_); })) << "Enter is not lit under the pointer";
    ASSERT_NO_FATAL_FAILURE(answer(kAnswer));
    HWND main = program_.wait_window(kMainClass, kMainCaption);
    ASSERT_TRUE(main) << "the main window did not come up unlocked";
    const RECT desktop = window_rect(GetDesktopWindow());
    ASSERT_TRUE(wait_for([&] { return same_rect(clip_rect(), desktop); }))
        << "pointer confined to " << rect_text(clip_rect());
    HWND button = main_part(main, "Command2");
    ASSERT_TRUE(button);
    const RECT b = window_rect(button);
    ASSERT_TRUE(xdotool("mousemove " + std::to_string((b.left + b.right) / 2) + " " +
                        std::to_string((b.top + b.bottom) / 2)));
    EXPECT_TRUE(wait_for([&] { return lit(button); }, 5s)) << "not lit under the pointer";
    // Onto the window's own background, left of the button.
    const RECT w = window_rect(main);
    ASSERT_TRUE(xdotool("mousemove " + std::to_string(w.left + 20) + " " +
                        std::to_string((b.top + b.bottom) / 2)));
    EXPECT_TRUE(wait_for([&] { return !lit(button); }, 2s)) << "still lit after the pointer left";
}

// --- background colours --------------------------------------------------------------

COLORREF colorref(kv::platform::Rgb c) { return RGB(c.r, c.g, c.b); }

TEST_F(Options, EachColourIsStoredAndPaintsItsGradient) {
    HWND main = start_unlocked();
    ASSERT_TRUE(main);
    RECT client{};
    ASSERT_TRUE(GetClientRect(main, &client));
    // Left of every control and of the black panel; one row in from the edges
    // (a band is about one pixel high).
    const int x = 10, top = 1, bottom = client.bottom - 2;
    constexpr int kTolerance = 8;  // a few bands either way

    // Blue, the table's first, last: it is also what the window shows before
    // any choice.
    for (auto it = std::rbegin(kv::kColours); it != std::rend(kv::kColours); ++it) {
        const kv::Colour& colour = *it;
        SCOPED_TRACE(colour.name);
        const struct {
            const char* name;
            COLORREF top, bottom;
        } c{colour.name, colorref(colour.top), colorref(colour.bottom)};
        choose(main, colour.menu.text.data());

        std::optional<RawValue> stored;
        EXPECT_TRUE(wait_for([&] {
            stored = reg_read(kVendorKey, "Color");
            return stored && stored->bytes == std::string(c.name) + '\0';
        })) << "Color holds \""
            << (stored ? stored->bytes : std::string("(nothing)")) << "\"";
        if (stored) {
            EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
        }

        COLORREF got_top = 0, got_bottom = 0;
        EXPECT_TRUE(wait_for([&] {
            got_top = client_pixel(main, x, top);
            got_bottom = client_pixel(main, x, bottom);
            return near_color(got_top, c.top, kTolerance) &&
                   near_color(got_bottom, c.bottom, kTolerance);
        })) << "top "
            << rgb_text(got_top) << " (want " << rgb_text(c.top) << "), bottom "
            << rgb_text(got_bottom) << " (want " << rgb_text(c.bottom) << ")";
        EXPECT_TRUE(save_screenshot(main, std::string("main_") + c.name));
    }
}

// How many pixels of the window's screen area are exactly `color`.
int count_pixels(HWND w, COLORREF color) {
    const RECT r = window_rect(w);
    HDC dc = GetDC(nullptr);
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (GetPixel(dc, x, y) == color) ++n;
    ReleaseDC(nullptr, dc);
    return n;
}

TEST_F(Options, TheLogHeadingsAreYellowAfterBlueAndBlackAfterAnotherColour) {
    HWND main = start_unlocked();
    ASSERT_TRUE(main);
    HWND headings[2] = {};
    for (int i : {0, 1}) {
        const int pos = kv::layout::control_position(kv::layout::kForm1, "Label4", i);
        ASSERT_GE(pos, 0) << "Label4(" << i << ") is not in the layout";
        headings[i] = control(main, pos);
    }
    ASSERT_TRUE(headings[0] && headings[1]) << "no Label4 controls";

    choose(main, "mnuBlue");
    ASSERT_TRUE(wait_for([&] { return reg_read(kVendorKey, "Color").has_value(); }));
    choose(main, "mnuViewLog");
    answer_box("Kestrova Security",
               "There are no unauthorized attempts to access this computer since you last "
               "cleared the attempts log.",
               {IDOK}, IDOK);
    ASSERT_TRUE(is_visible(headings[0]) && is_visible(headings[1])) << "the headings are hidden";
    for (HWND h : headings) {
        EXPECT_TRUE(wait_for([&] { return count_pixels(h, RGB(255, 255, 0)) > 20; }))
            << "heading \"" << window_text(h) << "\" is not yellow after Blue";
    }
    save_screenshot(main, "main_log_blue");

    choose(main, "mnuGreen");
    for (HWND h : headings) {
        EXPECT_TRUE(wait_for([&] {
            return count_pixels(h, RGB(255, 255, 0)) == 0 && count_pixels(h, RGB(0, 0, 0)) > 20;
        })) << "heading \""
            << window_text(h) << "\" is not black after Green";
    }
}

TEST_F(Options, TheLockScreenShowsTheColourChosenLast) {
    HWND main = start_unlocked();
    ASSERT_TRUE(main);
    choose(main, "mnuYellow");
    ASSERT_TRUE(wait_for([&] {
        const auto v = reg_read(kVendorKey, "Color");
        return v && v->bytes == std::string("yellow", 7);
    }));

    choose(main, "mnuLock");
    HWND lock = program_.wait_window(kLockClass);
    ASSERT_TRUE(lock) << "no lock screen";
    RECT client{};
    ASSERT_TRUE(GetClientRect(lock, &client));
    COLORREF top = 0, bottom = 0;
    EXPECT_TRUE(wait_for([&] {
        top = client_pixel(lock, 10, 1);
        bottom = client_pixel(lock, 10, client.bottom - 2);
        return near_color(top, RGB(255, 255, 0), 8) && near_color(bottom, RGB(255, 0, 0), 8);
    })) << "top "
        << rgb_text(top) << ", bottom " << rgb_text(bottom);
    save_screenshot(lock, "lock_yellow");
}

// --- autorun and the sibling product ------------------------------------------------

constexpr const char* kDulcimetQuestion =
    "Dulcimet is also installed on your system with the AutoRun feature selected. You cannot "
    "have both Dulcimet and Kestrova using the AutoRun feature. Would you like to disable "
    "Dulcimet and enable Kestrova?";

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(Options, AutorunWithDulcimetPresentAsksAndYesReplacesIt) {
    ASSERT_TRUE(reg_write_sz(kRunKey, "Dulcimet", "C:\\Dulcimet\\dulcimet.exe"));
    HWND main = start_unlocked();
    ASSERT_TRUE(main);

    choose(main, "autorunatstart");
    answer_box("Dulcimet Detected", kDulcimetQuestion, {IDYES, IDNO}, IDYES);
    answer_box("Add to StartUp", kNextWindows, {IDOK}, IDOK);

    EXPECT_FALSE(reg_read(kRunKey, "Dulcimet")) << "Dulcimet still autoruns";
    const auto own = reg_read(kRunKey, "Kestrova");
    ASSERT_TRUE(own) << "no Run value Kestrova";
    EXPECT_EQ(own->type, static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(ends_with(own->bytes, std::string("\\kvstrn.exe") + '\0')) << own->bytes;
}

// Without an elevated token the change goes through an elevated copy
// ("runas", which Wine starts at once with the caller's token). The program
// runs in a job, which the copy it starts joins: the job counts it.
TEST_F(Options, AutorunWithoutAnElevatedTokenGoesThroughAnElevatedCopy) {
    ASSERT_TRUE(reg_write_sz(kRunKey, "Dulcimet", "C:\\Dulcimet\\dulcimet.exe"));
    ASSERT_TRUE(SetEnvironmentVariableA("KV_TEST_NOT_ELEVATED", "1"));
    HWND main = start_unlocked();
    SetEnvironmentVariableA("KV_TEST_NOT_ELEVATED", nullptr);
    ASSERT_TRUE(main);
    const HANDLE job = CreateJobObjectA(nullptr, nullptr);
    ASSERT_TRUE(job && AssignProcessToJobObject(job, program_.handle()));
    const auto started = [job] {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        return QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info,
                                         sizeof info, nullptr)
                   ? info.TotalProcesses
                   : 0ul;
    };
    const auto before = started();

    choose(main, "autorunatstart");
    answer_box("Dulcimet Detected", kDulcimetQuestion, {IDYES, IDNO}, IDYES);
    answer_box("Add to StartUp", kNextWindows, {IDOK}, IDOK);

    EXPECT_EQ(started(), before + 1) << "no elevated copy was started";
    EXPECT_FALSE(reg_read(kRunKey, "Dulcimet")) << "Dulcimet still autoruns";
    EXPECT_TRUE(reg_read(kRunKey, "Kestrova")) << "no Run value Kestrova";
    static const UINT menu_state = RegisterWindowMessageA("Kestrova.MenuState");
    DWORD_PTR state = 0;
    ASSERT_TRUE(SendMessageTimeoutA(
        main, menu_state,
        static_cast<WPARAM>(kv::layout::menu_position(kv::layout::kForm1, "autorunatstart")), 0,
        SMTO_ABORTIFHUNG, 2000, &state));
    EXPECT_TRUE(state & MF_CHECKED) << "the checkmark does not follow the stored value";
    CloseHandle(job);
}

TEST_F(Options, AutorunWithDulcimetPresentAndNoKeepsDulcimetAndTurnsOwnAutorunOff) {
    ASSERT_TRUE(reg_write_sz(kRunKey, "Dulcimet", "C:\\Dulcimet\\dulcimet.exe"));
    ASSERT_TRUE(reg_write_sz(kRunKey, "Kestrova", program_path()));
    HWND main = start_unlocked();
    ASSERT_TRUE(main);

    choose(main, "autorunatstart");
    answer_box("Dulcimet Detected", kDulcimetQuestion, {IDYES, IDNO}, IDNO);
    answer_box("Options Reset", "Kestrova will not AutoRun at Windows Startup.", {IDOK}, IDOK);

    const auto sibling = reg_read(kRunKey, "Dulcimet");
    ASSERT_TRUE(sibling) << "the Dulcimet value was removed";
    EXPECT_EQ(sibling->bytes, std::string("C:\\Dulcimet\\dulcimet.exe") + '\0');
    EXPECT_FALSE(reg_read(kRunKey, "Kestrova")) << "the program still autoruns";
}

// --- the About window ------------------------------------------------------------------

TEST_F(Options, AboutShowsNameAndVersionAndOkClosesIt) {
    HWND main = start_unlocked();
    ASSERT_TRUE(main);

    choose(main, "abtDulcimet");
    HWND box = program_.wait_window(kAboutClass);
    ASSERT_TRUE(box) << "no About window";
    EXPECT_EQ(window_text(box), "About Kestrova");
    HWND version = about_part(box, "lblVersion");
    ASSERT_TRUE(version);
    EXPECT_EQ(window_text(version), "Version 2.0");
    EXPECT_TRUE(wait_for([&] { return !IsWindowEnabled(main); }))
        << "the main window takes input while About is open";
    EXPECT_TRUE(save_screenshot(box, "about"));

    HWND ok = about_part(box, "cmdOK");
    ASSERT_TRUE(ok);
    EXPECT_EQ(window_text(ok), "OK");
    ASSERT_TRUE(click(box, GetDlgCtrlID(ok)));
    EXPECT_TRUE(wait_for([&] { return !is_visible(box); })) << "OK did not close About";
    EXPECT_TRUE(wait_for([&] { return IsWindowEnabled(main); })) << "the main window stays off";
}

// --- keyboard alone and screen readers -----------------------------------------------

// The focus of the thread that owns `w`.
HWND focus_in(HWND w) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info) ? info.hwndFocus : nullptr;
}

// Tab walks the main window's buttons in their order and wraps; Alt and the
// access keys open its menus; the log viewer's and the About window's
// commands are reached the same way. A screen reader reads every button,
// label and list by its text.
TEST_F(Options, KeyboardAloneReachesEveryCommandAndScreenReadersReadEachControl) {
    HWND main = start_unlocked();
    ASSERT_TRUE(main);
    ASSERT_TRUE(wait_for([&] { return GetForegroundWindow() == main; }));
    EXPECT_EQ(screen_reader_faults(main), "");

    const char* order[] = {"Command2", "Command3", "Command4",   "Command5",
                           "Command9", "ExitButton", "Command1", "Command2"};
    ASSERT_TRUE(wait_for([&] { return focus_in(main) == main_part(main, "Command2", -1); }))
        << "the first button has no focus";
    for (std::size_t i = 1; i < std::size(order); ++i) {
        const int index = std::string(order[i]) == "ExitButton" ? 2 : -1;
        HWND next = main_part(main, order[i], index);
        ASSERT_TRUE(press_keys("Tab"));
        ASSERT_TRUE(wait_for([&] { return focus_in(main) == next; }))
            << "Tab did not reach " << order[i];
    }
    save_screenshot(main, "main_focus");

    // The log viewer: Alt+O, V (View Log) shows the list and its buttons;
    // with no attempt logged it says so first, and Enter closes that box.
    ASSERT_TRUE(press_keys("alt+o v"));
    const auto none = wait_message_box(program_.pid());
    ASSERT_TRUE(none) << "Alt+O, V did not view the log";
    ASSERT_TRUE(press_keys("Return"));
    ASSERT_TRUE(wait_for([&] { return !IsWindow(none->hwnd); })) << "Enter left the box open";
    HWND list = main_part(main, "List2");
    ASSERT_TRUE(wait_for([&] { return is_visible(list); })) << "the log is not shown";
    EXPECT_EQ(screen_reader_faults(main), "");
    ASSERT_TRUE(press_keys("alt+h"));  // "&Hide Log"
    EXPECT_TRUE(wait_for([&] { return !is_visible(list); })) << "Alt+H did not hide the log";

    // About: F10, then the Help menu, its last item, closed with Enter on OK.
    ASSERT_TRUE(press_keys("F10 Right Down Up Return"));
    HWND box = program_.wait_window(kAboutClass);
    ASSERT_TRUE(box) << "the keys did not open About";
    EXPECT_EQ(screen_reader_faults(box), "");
    ASSERT_TRUE(wait_for([&] { return focus_in(box) == about_part(box, "cmdOK"); }));
    ASSERT_TRUE(press_keys("Return"));
    EXPECT_TRUE(wait_for([&] { return !is_visible(box); })) << "Enter did not close About";
}

// --- 144 DPI -----------------------------------------------------------------------------

// Wine's screen DPI (HKCU\Control Panel\Desktop "LogPixels") for the
// programs started while the object lives; the value goes again after.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi) {
        reg_write_raw(kKey, "LogPixels", REG_DWORD,
                      std::string(reinterpret_cast<const char*>(&dpi), sizeof dpi),
                      HKEY_CURRENT_USER);
    }
    ~ScreenDpi() { reg_delete_value(kKey, "LogPixels", HKEY_CURRENT_USER); }
    ScreenDpi(const ScreenDpi&) = delete;
    ScreenDpi& operator=(const ScreenDpi&) = delete;

private:
    static constexpr const char* kKey = "Control Panel\\Desktop";
};

int px_at(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

// At 144 DPI every window is laid out half as large again from its twips,
// fonts too (the screenshots *_144dpi show that no text is cut); told of a
// screen of another DPI, the lock takes its size there, centred, holding the
// pointer on "&Enter".
TEST_F(Options, At144DpiEveryWindowScalesAndTheLockFollowsADpiChange) {
    ScreenDpi dpi(144);
    ASSERT_TRUE(program_.start());
    HWND splash = program_.wait_window("KvfrmSplash");
    ASSERT_TRUE(splash);
    save_screenshot(splash, "splash_144dpi");
    ASSERT_NO_FATAL_FAILURE(wait_lock(20s));
    ASSERT_TRUE(wait_for([&] { return same_rect(clip_rect(), window_rect(enter_)); }));
    // Painted before the picture is taken: "&Enter" is not black.
    const RECT e = window_rect(enter_);
    EXPECT_TRUE(wait_for([&] {
        HDC dc = GetDC(nullptr);
        const COLORREF c = GetPixel(dc, (e.left + e.right) / 2, e.top + 3);
        ReleaseDC(nullptr, dc);
        return c != RGB(0, 0, 0);
    }));
    save_screenshot(lock_, "form4_144dpi");
    RECT r = window_rect(lock_);
    EXPECT_EQ(r.right - r.left, px_at(7215, 144)) << rect_text(r);
    EXPECT_EQ(r.bottom - r.top, px_at(4905, 144)) << rect_text(r);

    RECT suggested{};
    SendMessageA(lock_, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_TRUE(wait_for([&] {
        r = window_rect(lock_);
        return r.right - r.left == px_at(7215, 96) && r.bottom - r.top == px_at(4905, 96);
    })) << rect_text(r);
    const RECT s = screen_rect();
    EXPECT_LE(std::abs((r.left + r.right) - (s.left + s.right)), 2) << rect_text(r);
    EXPECT_LE(std::abs((r.top + r.bottom) - (s.top + s.bottom)), 2) << rect_text(r);
    EXPECT_EQ(window_rect(enter_).right - window_rect(enter_).left, px_at(3495, 96));
    EXPECT_TRUE(wait_for([&] { return same_rect(clip_rect(), window_rect(enter_)); }))
        << rect_text(clip_rect());
    SendMessageA(lock_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));

    answer(kAnswer);
    HWND main = program_.wait_window(kMainClass, kMainCaption);
    ASSERT_TRUE(main);
    // The wrapped green text under the quick keys is drawn, not cut away.
    const RECT g = window_rect(main_part(main, "Label5", 3));
    const auto green_drawn = [&] {
        HDC dc = GetDC(nullptr);
        bool found = false;
        for (int y = g.top; y < g.bottom && !found; y += 2)
            for (int x = g.left; x < g.right && !found; ++x) {
                const COLORREF c = GetPixel(dc, x, y);
                found = GetGValue(c) > 200 && GetRValue(c) < 80 && GetBValue(c) < 80;
            }
        ReleaseDC(nullptr, dc);
        return found;
    };
    EXPECT_TRUE(wait_for(green_drawn)) << rect_text(g);
    save_screenshot(main, "main_144dpi");
    choose(main, "abtDulcimet");
    HWND box = program_.wait_window(kAboutClass);
    ASSERT_TRUE(box);
    save_screenshot(box, "about_144dpi");
}

// --- the Help menu's links ----------------------------------------------------------------

class HelpLinks : public Options {
protected:
    void SetUp() override {
        Options::SetUp();
        ASSERT_TRUE(file_exists(recorder_exe())) << "no " << recorder_exe();
        DeleteFileA(recorder_log().c_str());
    }
    void TearDown() override {
        Options::TearDown();
        handler_.reset();
        DeleteFileA(recorder_log().c_str());
    }

    enum class Handler { Recorder, None };
    // Makes the recorder (or nothing) the handler of the URL scheme `scheme`
    // for this test, starts unlocked and chooses the Help menu's `item`.
    void choose_with_handler(const char* scheme, Handler handler, const char* item) {
        handler_.emplace(scheme);
        ASSERT_TRUE(handler == Handler::Recorder ? handler_->point_to(recorder_exe())
                                                 : handler_->remove());
        HWND main = start_unlocked();
        ASSERT_TRUE(main);
        choose(main, item);
    }

    // Waits until the recorder was started and returns what it recorded.
    std::string recorded() {
        std::optional<std::string> log;
        wait_for([&] { return (log = read_file(recorder_log())) && !log->empty(); });
        return log.value_or("(the recorder was not started)");
    }
    // The text of a message box that shows up within half a second, or "".
    std::string stray_message() {
        std::optional<MessageBoxInfo> box;
        holds_for([&] { return !(box = find_message_box(program_.pid())); }, 500ms);
        return box ? box->text : std::string();
    }

private:
    std::optional<SchemeHandler> handler_;
};

TEST_F(HelpLinks, OnlineOpensTheWebSiteWithTheHttpHandler) {
    ASSERT_NO_FATAL_FAILURE(choose_with_handler("http", Handler::Recorder, "mnuOnline"));
    EXPECT_EQ(recorded(), KV_WEB_URL "\n");
    EXPECT_EQ(stray_message(), "");
}

TEST_F(HelpLinks, EmailOpensAMailtoLinkWithTheMailtoHandler) {
    ASSERT_NO_FATAL_FAILURE(choose_with_handler("mailto", Handler::Recorder, "mnuEmail"));
    EXPECT_EQ(recorded(), "mailto:" KV_SUPPORT_EMAIL "\n");
    EXPECT_EQ(stray_message(), "");
}

TEST_F(HelpLinks, WithoutAMailtoHandlerEmailReportsItCannotStart) {
    ASSERT_NO_FATAL_FAILURE(choose_with_handler("mailto", Handler::None, "mnuEmail"));
    answer_box(KV_APP_TITLE, "Could not start your email program.", {IDOK}, IDOK);
    EXPECT_TRUE(program_.find_window(kMainClass, kMainCaption)) << "the main window went";
}

TEST_F(HelpLinks, WithoutAnHttpHandlerOnlineReportsItCannotConnect) {
    ASSERT_NO_FATAL_FAILURE(choose_with_handler("http", Handler::None, "mnuOnline"));
    answer_box(KV_APP_TITLE,
               "Could not connect to Orvane Online. Start Your Internet Browser and try again..",
               {IDOK}, IDOK);
    EXPECT_TRUE(program_.find_window(kMainClass, kMainCaption)) << "the main window went";
}

}  // namespace

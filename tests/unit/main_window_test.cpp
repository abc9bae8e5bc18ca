#include <gtest/gtest.h>

#include "options/colors.h"
#include "program_fixture.h"

namespace kv::test {
namespace {

using platform::WindowState;

class MainWindow : public ProgramTest {};

TEST_F(MainWindow, LoadRegistersPauseSizesCaptionsAndChecks) {
    open_unlocked();
    EXPECT_EQ(form("Form1")->caption(), "Kestrova 2.0");
    const auto r = form("Form1")->outer_rect();
    EXPECT_EQ(r.right - r.left, platform::twips_to_px_x(7215));
    EXPECT_EQ(r.bottom - r.top, platform::twips_to_px_y(4905));
    // The sim, like Wine, does not take WM_SETHOTKEY: the hot key is registered.
    ASSERT_EQ(world().hotkeys.size(), 1u);
    EXPECT_EQ(world().hotkeys[0].second, 0x13u);
    EXPECT_TRUE(p().form1().menu("noautorun").checked());
    EXPECT_TRUE(p().form1().menu("autorunnolock").checked());
    EXPECT_FALSE(p().form1().menu("autorun").checked());

    sim::reset();
    Program other;
    world().sethotkey_result = 1;
    other.form1().Load();
    EXPECT_TRUE(world().hotkeys.empty());
}

TEST_F(MainWindow, PaintTableForMainUnlocked) {
    open_unlocked();
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_EQ(sim::last_paint(*form("Form1")).size(), 256u);
    // Painted while unlocked: gradient only.
    form("Form1")->invalidate();
    sim::pump();
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_EQ(p().main_unlocked, 1);

    // Lock-and-hide: minimised, and the next paint raises the lock first.
    sim::click(*form("Form1"), "ExitButton", 2);
    EXPECT_EQ(p().main_unlocked, 0);
    EXPECT_EQ(form("Form1")->state(), WindowState::Minimized);
    EXPECT_EQ(form("Form4"), nullptr);
    form("Form1")->set_state(WindowState::Normal);  // restored from the task bar
    sim::fail(sim::Call::ReadFile, 0);
    sim::pump();
    EXPECT_TRUE(shown("Form4"));
    EXPECT_EQ(p().main_unlocked, 1);
    // The list holds the log already: the lock's thread does not read it all
    // again.
    EXPECT_EQ(world().faults.size(), 1u) << "the whole log was read again";
    world().faults.clear();

    world().box_answers = {};
    type_answer("Rex");
    EXPECT_TRUE(shown("Form1"));
    form("Form1")->invalidate();
    sim::pump();
    EXPECT_EQ(form("Form4"), nullptr);
}

TEST_F(MainWindow, LockNowWhateverMainUnlockedHolds) {
    open_unlocked();
    sim::click(*form("Form1"), "Command9");
    EXPECT_TRUE(shown("Form4"));
    EXPECT_TRUE(shown("Form1"));
    EXPECT_EQ(form("Form1")->state(), WindowState::Normal);
    type_answer("Rex");
    sim::choose(*form("Form1"), "mnuLock");
    EXPECT_TRUE(shown("Form4"));
    type_answer("Rex");
    sim::choose(*form("Form1"), "mnulockup");
    EXPECT_EQ(form("Form1")->state(), WindowState::Minimized);
}

TEST_F(MainWindow, QuitEndsAtOnceButClosingFreesThePointerFirst) {
    open_unlocked();
    const auto before = world().trace.size();
    EXPECT_THROW(sim::click(*form("Form1"), "Command1"), sim::ProcessEnded);
    EXPECT_EQ(sim::trace_find("spi", static_cast<int>(before)), -1);
    EXPECT_THROW(sim::choose(*form("Form1"), "mnuQuit"), sim::ProcessEnded);
    EXPECT_EQ(world().watches_made, 0);  // no lock, nothing to fail closed

    world().clip = platform::Rect{1, 1, 2, 2};
    world().screensaver_running = true;
    EXPECT_THROW(sim::close(*form("Form1")), sim::ProcessEnded);
    EXPECT_FALSE(world().screensaver_running);
    EXPECT_EQ(*world().clip, world().desktop);
}

TEST_F(MainWindow, TakesNoInputWhileALockScreenHoldsOrIsDue) {
    using platform::SysCommand;
    open_unlocked();
    sim::click(*form("Form1"), "Command9");  // the lock over the visible main window
    auto* main = form("Form1");
    // Quit, Esc (Quit is the cancel button), Enter (the default button), the
    // menus, the shortcut keys and the close box do nothing.
    sim::click(*main, "Command1");
    sim::choose(*main, "mnuQuit");
    sim::click(*main, "ExitButton", 2);
    sim::choose(*main, "mnulockup");
    sim::choose(*main, "mnuViewLog");
    sim::right_click(*main, "List2");
    sim::close(*main);
    EXPECT_FALSE(sim::sys_command(*main, SysCommand::Minimize));
    EXPECT_EQ(main->state(), WindowState::Normal);
    EXPECT_EQ(p().main_unlocked, 1);
    EXPECT_FALSE(p().form1().ctl("List2").visible());
    EXPECT_FALSE(sim::trace_has("popup mnuLog"));
    EXPECT_TRUE(shown("Form4"));
    // Pause brings the lock screen forward, not the main window.
    world().foreground = main->handle();
    EXPECT_FALSE(sim::sys_command(*main, SysCommand::HotKey));
    EXPECT_EQ(world().foreground, form("Form4")->handle());
    EXPECT_EQ(sim::focus_name(*form("Form4")), "Textnew");

    // Unloaded some other way, the lock is due back in 50 ms: still out of reach.
    p().form4().Unload();
    EXPECT_FALSE(sim::sys_command(*main, SysCommand::HotKey));
    EXPECT_FALSE(main->visible());
    sim::advance(50);
    ASSERT_TRUE(shown("Form4"));

    // Lock & Hide: until the paint that raises the lock, Esc (Quit) and the
    // close box do nothing; Pause shows the window, whose paint locks.
    type_answer("Rex");
    sim::click(*main, "ExitButton", 2);
    sim::click(*main, "Command1");
    sim::close(*main);
    EXPECT_FALSE(sim::sys_command(*main, SysCommand::Move));
    EXPECT_TRUE(sim::sys_command(*main, SysCommand::HotKey));
    sim::pump();
    ASSERT_TRUE(shown("Form4"));

    // Released, the main window is the user's again.
    type_answer("Rex");
    EXPECT_TRUE(sim::sys_command(*main, SysCommand::HotKey));
    EXPECT_THROW(sim::click(*main, "Command1"), sim::ProcessEnded);
}

TEST_F(MainWindow, ScreenSaverCommandLeavesTheStateAlone) {
    open_unlocked();
    sim::click(*form("Form1"), "Command2");
    sim::choose(*form("Form1"), "scrlock");
    ASSERT_EQ(world().sys_commands.size(), 2u);
    EXPECT_EQ(world().sys_commands[0].second, 0xF140u);
    EXPECT_EQ(world().sys_commands[0].first, form("Form1")->handle());
    EXPECT_EQ(p().main_unlocked, 1);
    EXPECT_EQ(form("Form4"), nullptr);
}

// --- colours -----------------------------------------------------------------

TEST_F(MainWindow, ColourChoiceIsStoredCheckedAndPainted) {
    open_unlocked();
    standard_user();
    sim::choose(*form("Form1"), "mnuGreen");
    EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, "Color")), "green");
    EXPECT_TRUE(p().form1().menu("mnuGreen").checked());
    EXPECT_FALSE(p().form1().menu("mnuBlue").checked());
    EXPECT_EQ(sim::last_paint(*form("Form1")).front().color, (platform::Rgb{0, 255, 0}));
    EXPECT_EQ(p().form1().ctl("Label4", 0).fore_color(), (platform::Rgb{0, 0, 0}));

    sim::choose(*form("Form1"), "mnuBlue");
    EXPECT_TRUE(p().form1().menu("mnuBlue").checked());
    EXPECT_FALSE(p().form1().menu("mnuGreen").checked());
    EXPECT_EQ(p().form1().ctl("Label4", 1).fore_color(), (platform::Rgb{255, 255, 0}));

    // The lock screen paints the current colour.
    sim::choose(*form("Form1"), "mnuPurple");
    sim::click(*form("Form1"), "Command9");
    sim::pump();
    ASSERT_FALSE(sim::last_paint(*form("Form4")).empty());
    EXPECT_EQ(sim::last_paint(*form("Form4")).front().color, (platform::Rgb{255, 255, 255}));
    EXPECT_EQ(sim::last_paint(*form("Form4")).back().color, (platform::Rgb{255, 0, 255}));
}

TEST_F(MainWindow, UnknownOrMissingColourPaintsBlueWithoutCheckmark) {
    open_unlocked();
    sim::put_string(store::kVendorKey, "Color", "Blue");
    p().form1().menu("mnuRed").set_checked(true);
    p().form1().ctl("Label4", 0).set_fore_color({1, 2, 3});
    p().form1().load_color();
    EXPECT_EQ(p().form1().colours().current_color(), "Blue");
    for (const auto& c : kColours)
        EXPECT_FALSE(p().form1().menu(c.menu).checked()) << c.name;
    EXPECT_EQ(p().form1().ctl("Label4", 0).fore_color(), (platform::Rgb{1, 2, 3}));
    EXPECT_EQ(band_color(p().form1().colours().current_color(), 0), (platform::Rgb{0, 0, 255}));
}

TEST_F(MainWindow, EmptyColourIsFoundPaintsBlueAndClearsTheCheckmarks) {
    open_unlocked();
    sim::choose(*form("Form1"), "mnuRed");
    ASSERT_TRUE(p().form1().menu("mnuRed").checked());
    for (const std::string& bytes : {std::string{}, std::string(1, '\0')}) {
        p().form1().menu("mnuRed").set_checked(true);
        sim::put_value(store::kVendorKey, "Color", platform::kRegSz, bytes);
        p().form1().load_color();
        EXPECT_EQ(p().form1().colours().current_color(), "") << bytes.size();
        EXPECT_FALSE(p().form1().menu("mnuRed").checked()) << bytes.size();
        EXPECT_EQ(band_color(p().form1().colours().current_color(), 0), (platform::Rgb{0, 0, 255}));
    }
}

TEST_F(MainWindow, ColourThatCannotBeReadIsBlueWithNoCheckmark) {
    open_unlocked();
    sim::choose(*form("Form1"), "mnuRed");
    sim::fail(sim::Call::RegQueryValue, 1117);
    p().form1().load_color();
    EXPECT_EQ(p().form1().colours().current_color(), "blue");
    for (const auto& c : kColours)
        EXPECT_FALSE(p().form1().menu(c.menu).checked()) << c.name;
}

TEST_F(MainWindow, ChosenColourIsPaintedWithoutReadingItBack) {
    open_unlocked();
    for (const auto& c : kColours) {
        sim::fail(sim::Call::RegQueryValue, 1117);
        sim::choose(*form("Form1"), c.menu.text);
        EXPECT_EQ(sim::last_paint(*form("Form1")).front().color, c.top) << c.name;
        EXPECT_TRUE(p().form1().menu(c.menu).checked()) << c.name;
    }
}

TEST_F(MainWindow, FailedColourWriteReadsThePreviousValueBack) {
    open_unlocked();
    sim::choose(*form("Form1"), "mnuRed");
    sim::fail(sim::Call::RegSetValue, 5);
    sim::choose(*form("Form1"), "mnuYellow");
    ASSERT_EQ(world().boxes.size(), 1u);  // refused for want of rights: said so
    EXPECT_EQ(world().boxes[0].text,
              store::not_stored_text("The colour", platform::kErrorAccessDenied));
    EXPECT_EQ(p().form1().colours().current_color(), "red");
    EXPECT_TRUE(p().form1().menu("mnuRed").checked());
    EXPECT_EQ(sim::last_paint(*form("Form1")).front().color, (platform::Rgb{255, 0, 0}));
}

// --- start-up options ----------------------------------------------------------

TEST_F(MainWindow, StartModeHandlersWriteAndCheck) {
    open_unlocked();
    standard_user();
    sim::choose(*form("Form1"), "autorun");
    EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, "Login")), "2");
    EXPECT_TRUE(p().form1().menu("autorun").checked());
    EXPECT_FALSE(p().form1().menu("autorunnolock").checked());
    EXPECT_EQ(world().boxes.back().text,
              "This action will take effect next time you restart Kestrova.");
    EXPECT_EQ(world().boxes.back().title, "Add Protection to Windows Startup");
    EXPECT_EQ(world().boxes.back().type, 64u);
    sim::choose(*form("Form1"), "autorunnolock");
    EXPECT_EQ(stored_text(*sim::get_value(store::kVendorKey, "Login")), "1");
    EXPECT_EQ(world().boxes.back().title, "Add to StartUp");
    EXPECT_TRUE(p().form1().menu("autorunnolock").checked());
}

TEST_F(MainWindow, AutorunAndTheSiblingProduct) {
    open_unlocked();
    // An administrator's process writes directly: no shield, no copy.
    EXPECT_FALSE(p().form1().menu("autorunatstart").shield());
    EXPECT_FALSE(p().form1().menu("noautorun").shield());
    sim::choose(*form("Form1"), "autorunatstart");
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_EQ(world().boxes.back().title, "Add to StartUp");
    EXPECT_TRUE(p().form1().menu("autorunatstart").checked());
    sim::choose(*form("Form1"), "noautorun");
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_EQ(world().boxes.back().title, "Remove from StartUp");
    sim::choose(*form("Form1"), "noautorun");  // already off: still says so
    EXPECT_EQ(world().boxes.back().title, "Remove from StartUp");

    sim::put_string(store::kRunKey, "Dulcimet", "d.exe");
    world().box_answers = {kNo};
    sim::choose(*form("Form1"), "autorunatstart");
    const auto asked = world().boxes.size() - 2;
    EXPECT_EQ(world().boxes[asked].title, "Dulcimet Detected");
    EXPECT_EQ(world().boxes[asked].type, 36u);
    EXPECT_EQ(world().boxes.back().title, "Options Reset");
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Dulcimet"));
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_TRUE(p().form1().menu("noautorun").checked());

    world().box_answers = {kYes};
    sim::choose(*form("Form1"), "autorunatstart");
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Dulcimet"));
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_TRUE(p().form1().menu("autorunatstart").checked());
    EXPECT_TRUE(world().elevated_runs.empty());
}

// A standard user's process cannot write the Run key: an elevated copy does,
// once the user gives an administrator's consent.
TEST_F(MainWindow, AutorunWithoutTheRightsGoesThroughAnElevatedCopy) {
    standard_user();
    open_unlocked();
    auto& f = *form("Form1");
    EXPECT_TRUE(p().form1().menu("autorunatstart").shield());
    EXPECT_TRUE(p().form1().menu("noautorun").shield());

    sim::choose(f, "autorunatstart");
    EXPECT_EQ(world().elevated_runs, (std::vector<std::string>{"/autorun on"}));
    EXPECT_EQ(stored_text(*sim::get_value(store::kRunKey, "Kestrova")), store::autorun_command());
    EXPECT_TRUE(p().form1().menu("autorunatstart").checked());
    EXPECT_EQ(world().boxes.back().title, "Add to StartUp");

    // Declined: nothing changes, and it says so.
    world().consent = sim::World::Consent::Declined;
    sim::choose(f, "noautorun");
    EXPECT_EQ(world().elevated_runs.back(), "/autorun off");
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_TRUE(p().form1().menu("autorunatstart").checked());
    EXPECT_EQ(world().boxes.back().type, 48u);
    EXPECT_EQ(world().boxes.back().text,
              "The AutoRun option was not changed. Turning it on or off needs an "
              "administrator's permission, which was not given.");

    // A copy that cannot start is reported; the checkmark shows what is stored.
    world().consent = sim::World::Consent::Failed;
    sim::choose(f, "noautorun");
    EXPECT_NE(world().boxes.back().text.find("could not be stored"), std::string::npos);
    EXPECT_TRUE(p().form1().menu("autorunatstart").checked());

    world().consent = sim::World::Consent::Accepted;
    sim::choose(f, "noautorun");
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_TRUE(p().form1().menu("noautorun").checked());
    EXPECT_EQ(world().boxes.back().title, "Remove from StartUp");
    // Nothing to remove: no consent is asked for.
    const auto runs = world().elevated_runs.size();
    sim::choose(f, "noautorun");
    EXPECT_EQ(world().elevated_runs.size(), runs);
    EXPECT_EQ(world().boxes.back().title, "Remove from StartUp");

    // Over Dulcimet, answered Yes: one copy removes its entry and adds ours.
    sim::put_string(store::kRunKey, "Dulcimet", "d.exe");
    world().box_answers = {kYes};
    sim::choose(f, "autorunatstart");
    EXPECT_EQ(world().elevated_runs.size(), runs + 1);
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Dulcimet"));
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_TRUE(p().form1().menu("autorunatstart").checked());
}

// The copy's command line: it changes autorun and ends, with no window.
TEST_F(MainWindow, ElevatedCopyCommandsChangeAutorunAndEnd) {
    sim::put_string(store::kRunKey, "Dulcimet", "d.exe");
    EXPECT_EQ(program_main("/autorun on"), 0);
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Dulcimet"));
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_EQ(program_main(" /AutoRun  OFF "), 0);
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Kestrova"));
    for (const char* bad : {"/autorun", "/autorun yes", "/autorun on now"})
        EXPECT_EQ(program_main(bad), 87) << bad;
    standard_user();
    EXPECT_EQ(program_main("/autorun on"), platform::kErrorAccessDenied);
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_EQ(form("frmSplash"), nullptr);
    EXPECT_TRUE(world().boxes.empty());
}

TEST_F(MainWindow, StartUpOptionsNotStoredAreReportedNotConfirmed) {
    open_unlocked();
    const auto reported = [&] {
        const auto& b = world().boxes.back();
        return b.type == 48u && b.text.find("needs an administrator") != std::string::npos;
    };
    standard_user(false);
    sim::choose(*form("Form1"), "autorun");
    EXPECT_TRUE(reported()) << world().boxes.back().text;
    EXPECT_TRUE(p().form1().menu("autorunnolock").checked());
    EXPECT_FALSE(p().form1().menu("autorun").checked());
    // An elevated process writes the Run key itself; refused all the same
    // (a key an administrator locked down), it says what is needed.
    world().elevated = true;
    sim::choose(*form("Form1"), "autorunatstart");
    EXPECT_TRUE(reported());
    EXPECT_TRUE(p().form1().menu("noautorun").checked());
    for (const auto& b : world().boxes)
        EXPECT_EQ(b.text.find("This action will take effect"), std::string::npos) << b.text;

    world().standard_user = false;
    sim::choose(*form("Form1"), "autorunatstart");
    ASSERT_TRUE(sim::get_value(store::kRunKey, "Kestrova"));
    sim::fail(sim::Call::RegDeleteValue, platform::kErrorAccessDenied);
    sim::choose(*form("Form1"), "noautorun");
    EXPECT_TRUE(reported());
    EXPECT_TRUE(p().form1().menu("autorunatstart").checked());
    sim::choose(*form("Form1"), "noautorun");

    // Dulcimet's entry that cannot be removed keeps ours off: both must not
    // autorun.
    sim::put_string(store::kRunKey, "Dulcimet", "d.exe");
    world().box_answers = {kYes};
    sim::fail(sim::Call::RegDeleteValue, platform::kErrorAccessDenied);
    sim::choose(*form("Form1"), "autorunatstart");
    EXPECT_TRUE(reported());
    EXPECT_TRUE(sim::get_value(store::kRunKey, "Dulcimet"));
    EXPECT_FALSE(sim::get_value(store::kRunKey, "Kestrova"));
    EXPECT_TRUE(p().form1().menu("noautorun").checked());
}

TEST_F(MainWindow, LoadStepChecksFromStoredValues) {
    struct Case {
        const char* run;  // nullptr: absent
        const char* login;
        bool autorun, hidden;
    } cases[] = {{"C:\\k\\kvstrn.exe", "2", true, false},
                 {"", "2", true, false},
                 {nullptr, nullptr, false, true},
                 {nullptr, "", false, false},
                 {nullptr, "7", false, false}};
    for (const auto& c : cases) {
        sim::reset();
        Program fresh;
        // An empty run entry is stored as zero bytes: it is there all the same.
        if (c.run)
            sim::put_value(store::kRunKey, "Kestrova", platform::kRegSz,
                           *c.run ? std::string(c.run) + '\0' : std::string{});
        if (c.login) sim::put_string(store::kVendorKey, "Login", c.login);
        fresh.form1().Load();
        EXPECT_EQ(fresh.form1().menu("autorunatstart").checked(), c.autorun);
        EXPECT_EQ(fresh.form1().menu("noautorun").checked(), !c.autorun);
        EXPECT_EQ(fresh.form1().menu("autorunnolock").checked(), c.hidden);
        EXPECT_EQ(fresh.form1().menu("autorun").checked(), !c.hidden);
    }
    // A Run value too long for the buffer, or one that cannot be read, is off.
    for (bool deny : {false, true}) {
        sim::reset();
        Program fresh;
        sim::put_string(store::kRunKey, "Kestrova",
                        deny ? "C:\\k\\kvstrn.exe" : std::string(255, 'k'));
        if (deny) sim::fail(sim::Call::RegOpenKey, platform::kErrorAccessDenied);
        fresh.form1().Load();
        EXPECT_TRUE(fresh.form1().menu("noautorun").checked()) << deny;
        EXPECT_FALSE(fresh.form1().menu("autorunatstart").checked()) << deny;
    }
}

// --- help ----------------------------------------------------------------------

TEST_F(MainWindow, AboutBoxIsFilledFromTheVersionResource) {
    open_unlocked();
    sim::choose(*form("Form1"), "abtDulcimet");
    auto* about = form("AboutBox");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->caption(), "About Kestrova");
    auto& a = p().about();
    EXPECT_EQ(a.ctl("lblVersion").text(), "Version 2.0");
    EXPECT_EQ(a.ctl("lblAppName", 0).text(), "Kestrova");
    EXPECT_EQ(a.ctl("lblAppName", 1).text(), "Kestrova");
    EXPECT_EQ(a.ctl("lblDescription").text(), "Windows Access Control");
    EXPECT_EQ(a.ctl("lblComments").text(), world().version.comments);
    EXPECT_EQ(a.ctl("lblCopyright").text(), world().version.legal_copyright);
    EXPECT_EQ(a.ctl("lblTrademark").text(), world().version.legal_trademarks);
    sim::click(*about, "cmdOK");
    EXPECT_EQ(form("AboutBox"), nullptr);
}

TEST_F(MainWindow, HelpLinksReportShellFailures) {
    open_unlocked();
    for (std::intptr_t result : {0, 2, 31, 32, 33, 42}) {
        world().boxes.clear();
        world().shell_result = result;
        sim::choose(*form("Form1"), "mnuOnline");
        sim::choose(*form("Form1"), "mnuEmail");
        if (result <= 32) {
            ASSERT_EQ(world().boxes.size(), 2u) << result;
            EXPECT_EQ(world().boxes[0].text,
                      "Could not connect to Orvane Online. Start Your Internet Browser and try "
                      "again..");
            EXPECT_EQ(world().boxes[1].text, "Could not start your email program.");
            EXPECT_EQ(world().boxes[1].title, "Kestrova");
        } else {
            EXPECT_TRUE(world().boxes.empty()) << result;
        }
    }
    EXPECT_EQ(world().shell_targets[0], "http://www.orvane.example/");
    EXPECT_EQ(world().shell_targets[1], "mailto:support@orvane.example");
    EXPECT_TRUE(sim::trace_has("shell open mailto:support@orvane.example 1 1 1"));
}

}  // namespace
}  // namespace kv::test

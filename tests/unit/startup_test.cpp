#include <gtest/gtest.h>

#include <map>
#include "options/colors.h"
#include "program_fixture.h"

namespace kv::test {
namespace {

using platform::WindowState;

class Startup : public ProgramTest {};

TEST_F(Startup, SecondInstanceIsRefusedWithNothingElseTouched) {
    world().previous_instance = true;
    EXPECT_THROW(p().start(), sim::ProcessEnded);
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_EQ(world().boxes[0].text, "Kestrova is already running!");
    EXPECT_EQ(world().boxes[0].type, 0u);
    EXPECT_EQ(world().boxes[0].title, "Kestrova");
    EXPECT_FALSE(world().screensaver_running);
}

TEST_F(Startup, WithoutItsFirstWindowItSaysSoAndEnds) {
    sim::fail(sim::Call::CreateWindow, 0);
    EXPECT_THROW(p().start(), sim::ProcessEnded);
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_EQ(world().boxes[0].title, "Kestrova");
    EXPECT_EQ(world().boxes[0].type, 16u);
    EXPECT_TRUE(world().keys.empty()) << "nothing is stored";
}

TEST_F(Startup, WindowsBeforeVersionFourIsRefused) {
    world().os = {3, 95, 0};
    EXPECT_THROW(p().start(), sim::ProcessEnded);
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_EQ(world().boxes[0].title, "Looking for Windows!");
    EXPECT_EQ(world().boxes[0].type, 16u);
    EXPECT_EQ(world().boxes[0].text,
              "This software is designed to run on Windows95/98 or NT4. Contact "
              "support@orvane.example for information on receiving alternate versions of this "
              "product. You can also visit our web site at www.orvane.example for the latest "
              "product information. The application will now terminate.");
}

TEST_F(Startup, SplashTextsFollowThePlatformAndTheVersionResource) {
    struct Case {
        unsigned id;
        const char* label;
    } cases[] = {{1, "For Windows 95/98"}, {2, "For Windows NT"}, {3, "Platform"}};
    for (const auto& c : cases) {
        sim::reset();
        Program fresh;
        world().os = {4, 0, c.id};
        fresh.start();
        auto& s = fresh.splash();
        EXPECT_EQ(s.ctl("lblPlatform").text(), c.label);
        EXPECT_EQ(s.ctl("lblVersion").text(), "Version 2.0");
        EXPECT_EQ(s.ctl("lblProductName").text(), "Kestrova");
        EXPECT_EQ(s.ctl("lblCopyright").text(), world().version.legal_copyright);
        EXPECT_EQ(s.ctl("lblTrademark").text(), world().version.legal_trademarks);
        EXPECT_EQ(s.ctl("lblCompany").text(), "Orvane Software");
        EXPECT_TRUE(world().screensaver_running);
        EXPECT_EQ(fresh.main_unlocked, 0);
    }
}

TEST_F(Startup, DecisionComesOneAndAHalfSecondsAfterTheFirstPaint) {
    store_credentials();
    ASSERT_TRUE(store::set_login_lock());
    p().start();
    EXPECT_EQ(form("frmSplash")->caption(), "");
    sim::advance(1499);
    EXPECT_TRUE(shown("frmSplash"));
    EXPECT_EQ(form("Form4"), nullptr);
    // Repaints do not push the decision back.
    form("frmSplash")->invalidate();
    sim::advance(1);
    EXPECT_EQ(form("frmSplash"), nullptr);
    EXPECT_TRUE(shown("Form4"));
    EXPECT_TRUE(world().boxes.empty());
}

TEST_F(Startup, ClosingTheSplashSkipsNoDecision) {
    store_credentials();
    ASSERT_TRUE(store::set_login_lock());
    p().start();
    sim::pump();
    sim::close(*form("frmSplash"));  // Alt+F4 during the splash
    EXPECT_TRUE(shown("frmSplash"));
    sim::advance(1500);
    EXPECT_TRUE(shown("Form4"));
}

TEST_F(Startup, StoredQuestionAndStartModeChooseTheFirstWindow) {
    struct Case {
        const char* login;  // nullptr: no value
        bool locks;
    } cases[] = {{nullptr, false}, {"1", false},  {" 1 ", false}, {"2", true},
                 {"", true},       {"abc", true}, {"1x", true},   {"3", true}};
    for (const auto& c : cases) {
        sim::reset();
        Program fresh;
        ASSERT_TRUE(store::write_question_and_answer("Pet?", "Rex"));
        if (c.login != nullptr) sim::put_string(store::kVendorKey, "Login", c.login);
        fresh.start();
        sim::advance(1500);
        const std::string which = c.login ? c.login : "(none)";
        EXPECT_EQ(sim::find_form("frmSplash"), nullptr) << which;
        EXPECT_EQ(world().screensaver_running, c.locks) << which;
        if (c.locks) {
            ASSERT_NE(sim::find_form("Form4"), nullptr) << which;
            EXPECT_TRUE(sim::find_form("Form4")->visible()) << which;
            EXPECT_EQ(fresh.main_unlocked, 1) << which;
        } else {
            EXPECT_EQ(sim::find_form("Form4"), nullptr) << which;
            ASSERT_NE(sim::find_form("Form1"), nullptr) << which;
            EXPECT_EQ(sim::find_form("Form1")->state(), WindowState::Minimized) << which;
            EXPECT_EQ(fresh.main_unlocked, 0) << which;
        }
        EXPECT_EQ(fresh.form1().colours().current_color(), "blue") << which;
    }
}

TEST_F(Startup, FirstRunRunsTheSetUpAndEndsAtTheMainWindow) {
    world().input_answers = {"Where were you born", "Leeds", "Leeds"};
    world().box_answers = {1, kNo, 1, kYes, 1, 1};
    start_and_decide();
    EXPECT_EQ(form("frmSplash"), nullptr);
    ASSERT_TRUE(shown("Form1"));
    EXPECT_EQ(form("Form1")->state(), WindowState::Normal);
    EXPECT_EQ(form("Form1")->caption(), "Kestrova 2.0");
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_TRUE(store::question_stored());
    EXPECT_FALSE(world().screensaver_running);
    // The main window shown by the set-up stays unlocked: neither a colour
    // choice nor another repaint raises the lock screen.
    EXPECT_EQ(p().main_unlocked, 1);
    sim::choose(*form("Form1"), "mnuRed");
    form("Form1")->invalidate();
    sim::pump();
    EXPECT_EQ(form("Form4"), nullptr);
    EXPECT_EQ(p().form1().colours().current_color(), "red");
}

TEST_F(Startup, FirstRunWithoutWriteAccessEndsOnceInsteadOfStartingAgain) {
    standard_user(false);
    // Enough for several passes; only the first may run.
    for (int pass = 0; pass < 4; ++pass)
        for (const char* entry : {"Pet", "Rex", "Rex"}) world().input_answers.push_back(entry);
    EXPECT_THROW(start_and_decide(), sim::ProcessEnded);
    int welcomes = 0;
    for (const auto& b : world().boxes) {
        welcomes += b.title == "Welcome to Kestrova!";
        EXPECT_NE(b.title, "Setup Complete");
    }
    EXPECT_EQ(welcomes, 1);
    EXPECT_EQ(world().inputs.size(), 3u);
}

TEST_F(Startup, AQuestionThatCannotBeReadIsReportedAndNeverOpensTheSetUp) {
    store_credentials();
    standard_user();
    // Refused, and refused again when tried once more.
    sim::fail(sim::Call::RegOpenKey, platform::kErrorAccessDenied);
    sim::fail(sim::Call::RegOpenKey, platform::kErrorAccessDenied);
    EXPECT_THROW(start_and_decide(), sim::ProcessEnded);
    ASSERT_EQ(world().boxes.size(), 1u);
    EXPECT_EQ(world().boxes[0].text, kQuestionDenied);
    EXPECT_EQ(world().boxes[0].type, 16u);
    EXPECT_TRUE(world().inputs.empty());
    EXPECT_EQ(form("Form4"), nullptr);
}

TEST_F(Startup, LockScreenIsCaptionedSizedAndCentred) {
    start_locked();
    auto* f = form("Form4");
    EXPECT_EQ(f->caption(), "Kestrova 2.0  (Kestrova is Activated)");
    const auto r = f->outer_rect();
    EXPECT_EQ(r.right - r.left, platform::twips_to_px_x(7215));
    EXPECT_EQ(r.bottom - r.top, platform::twips_to_px_y(4905));
    EXPECT_EQ(r.left, (1024 - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (768 - (r.bottom - r.top)) / 2);
}

// --- the gradient ----------------------------------------------------------

TEST(Gradient, BandColoursOfEachFamily) {
    using platform::Rgb;
    struct Case {
        const char* name;
        Rgb top, middle, bottom;
    } cases[] = {
        {"blue", {0, 0, 255}, {0, 0, 128}, {0, 0, 0}},
        {"green", {0, 255, 0}, {0, 128, 0}, {0, 0, 0}},
        {"red", {255, 0, 0}, {128, 0, 0}, {0, 0, 0}},
        {"purple", {255, 255, 255}, {255, 128, 255}, {255, 0, 255}},
        {"yellow", {255, 255, 0}, {255, 128, 0}, {255, 0, 0}},
        {"Blue", {0, 0, 255}, {0, 0, 128}, {0, 0, 0}},
        {"", {0, 0, 255}, {0, 0, 128}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(band_color(c.name, 0), c.top) << c.name;
        EXPECT_EQ(band_color(c.name, 127), c.middle) << c.name;
        EXPECT_EQ(band_color(c.name, 255), c.bottom) << c.name;
    }
}

class RecordingPainter : public platform::Painter {
public:
    explicit RecordingPainter(platform::Point size) : size_(size) {}
    platform::Point client_size() const override { return size_; }
    void fill_rect(const platform::Rect& r, platform::Rgb c) override {
        for (int y = std::max(0, r.top); y < std::min(size_.y, r.bottom); ++y) rows[y] = c;
        ++fills;
    }
    std::map<int, platform::Rgb> rows;
    int fills = 0;

private:
    platform::Point size_;
};

TEST(Gradient, LowerBandsWinAndTheBottomBandReachesTheEdge) {
    for (int height : {100, 256, 300, 1000}) {
        RecordingPainter painter({473, height});
        paint_gradient(painter, "red");
        EXPECT_EQ(painter.fills, 256);
        ASSERT_EQ(static_cast<int>(painter.rows.size()), height);
        if (height >= 256) {
            EXPECT_EQ(painter.rows[0], (platform::Rgb{255, 0, 0})) << height;
        }
        EXPECT_EQ(painter.rows[height - 1], (platform::Rgb{0, 0, 0})) << height;
        // Colours only darken downwards.
        for (int y = 1; y < height; ++y) EXPECT_LE(painter.rows[y].r, painter.rows[y - 1].r);
    }
}

}  // namespace
}  // namespace kv::test

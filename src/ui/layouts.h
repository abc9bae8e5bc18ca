// The design state of the program's four windows: every control, menu item
// and timer with its geometry (twips), texts, fonts and colours. The tables
// are plain data, known when the program is compiled: the platform builds
// the native windows from them, and the names the code uses are checked
// against them (ui/names.h).
#pragma once

#include <string_view>

#include "platform/ui.h"
#include "ui/maker.h"

namespace kv::layout {

using platform::Align;
using platform::ControlKind;
using platform::ControlSpec;
using platform::FontSpec;
using platform::FormSpec;
using platform::Frame;
using platform::Icon;
using platform::Key;
using platform::MenuSpec;
using platform::Rgb;
using platform::TimerSpec;

using platform::kAutoSize;
using platform::kCancel;
using platform::kDefault;
using platform::kFilled;
using platform::kHidden;
using platform::kPassword;
using platform::kSorted;
using platform::kTransparent;
using platform::kWrap;

// The tables are laid out by hand, a row per control.
// clang-format off

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kNavy{0, 0, 128};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kCyan{0, 255, 255};
inline constexpr Rgb kSilver{192, 192, 192};
inline constexpr Rgb kDarkGrey{64, 64, 64};

// The default face ("MS Sans Serif" 8.25 pt), bold.
inline constexpr FontSpec kBold{.bold = true};

// --- Form1, the main window ------------------------------------------------

inline constexpr ControlSpec kForm1Controls[] = {
    {.name = "Command1", .kind = ControlKind::Button, .text = "Quit",
     .left = 5280, .top = 3480, .width = 1455, .height = 375, .tab = 6, .flags = kCancel},
    {.name = "Command9", .kind = ControlKind::Button, .text = "&Kestrova",
     .tooltip = "Instantly Lock your system (F12)",
     .left = 5280, .top = 2400, .width = 1455, .height = 375, .tab = 4, .font = kBold},
    {.name = "Command5", .kind = ControlKind::Button, .text = "&View Log",
     .tooltip = "View Access Log",
     .left = 5280, .top = 1920, .width = 1455, .height = 375, .tab = 3},
    {.name = "Command4", .kind = ControlKind::Button, .text = "Set &Answer",
     .tooltip = "Change Your Custom Answer",
     .left = 5280, .top = 1440, .width = 1455, .height = 375, .tab = 2},
    {.name = "Command3", .kind = ControlKind::Button, .text = "Set &Question",
     .tooltip = "Change Your Custom Question",
     .left = 5280, .top = 960, .width = 1455, .height = 375, .tab = 1},
    {.name = "Command2", .kind = ControlKind::Button, .text = "&Win Saver",
     .tooltip = "Starts the default Screen Saver (F11)",
     .left = 5280, .top = 480, .width = 1455, .height = 375, .tab = 0},
    {.name = "List2", .kind = ControlKind::ListBox,
     .left = 360, .top = 480, .width = 4575, .height = 2790, .tab = 10,
     .flags = kHidden | kSorted, .font = kBold, .fore = kRed, .back = kBlack},
    // The only element of the control array ExitButton.
    {.name = "ExitButton", .index = 2, .kind = ControlKind::Button, .text = "&Lock && Hide",
     .tooltip = "Minimize and Lock (F9)",
     .left = 5280, .top = 2880, .width = 1455, .height = 375, .tab = 5, .flags = kDefault},
    {.name = "Command11", .kind = ControlKind::Button, .text = "Delete this &Entry",
     .left = 360, .top = 3480, .width = 1455, .height = 375, .tab = 7, .flags = kHidden},
    {.name = "Command12", .kind = ControlKind::Button, .text = "&Hide Log",
     .left = 3600, .top = 3480, .width = 1335, .height = 375, .tab = 9, .flags = kHidden},
    {.name = "DeleteAll", .kind = ControlKind::Button, .text = "&Delete All",
     .left = 2040, .top = 3480, .width = 1335, .height = 375, .tab = 8, .flags = kHidden},
    // The quick-key texts on the black panel.
    {.name = "Label5", .index = 0, .kind = ControlKind::Label,
     .text = "Kestrova Shortcut: (F12)",
     .left = 1680, .top = 960, .width = 2895, .height = 255, .flags = kTransparent,
     .fore = kYellow},
    {.name = "Label5", .index = 1, .kind = ControlKind::Label,
     .text = "Window's ScreenSaver Shortcut:  (F11)",
     .left = 1680, .top = 1200, .width = 2895, .height = 255, .flags = kTransparent,
     .fore = kYellow},
    {.name = "Label5", .index = 2, .kind = ControlKind::Label,
     .text = "Lock Kestrova in TaskBar:  (F9)",
     .left = 1680, .top = 1440, .width = 2895, .height = 255, .flags = kTransparent,
     .fore = kYellow},
    {.name = "Label5", .index = 3, .kind = ControlKind::Label,
     .text = "(If Kestrova is minimized or locked, you can activate it from any other Windows "
             "application by pressing the 'Pause' key.)",
     .left = 1680, .top = 1920, .width = 2895, .height = 855, .flags = kTransparent | kWrap,
     .fore = kGreen},
    // Column headings of the log list.
    {.name = "Label4", .index = 0, .kind = ControlKind::Label, .text = "Date/Time",
     .left = 360, .top = 240, .width = 1695, .height = 255, .flags = kHidden | kTransparent,
     .font = kBold, .fore = kBlack, .label_for = "List2"},
    {.name = "Label4", .index = 1, .kind = ControlKind::Label, .text = "Answer Attempted",
     .left = 2040, .top = 240, .width = 2295, .height = 255, .flags = kHidden | kTransparent,
     .align = Align::Right, .font = kBold, .fore = kBlack},
    // The black panel behind the Label5 texts.
    {.name = "Shape1", .kind = ControlKind::Shape,
     .left = 1560, .top = 840, .width = 3135, .height = 2055, .flags = kFilled, .back = kBlack},
};

inline constexpr MenuSpec kForm1Menus[] = {
    {.name = "options", .caption = "&Options"},
    {.name = "chgquestion", .caption = "Change Your &Question", .depth = 1},
    {.name = "answer", .caption = "Change Your &Answer", .depth = 1},
    {.name = "divider3", .caption = "-", .depth = 1},
    {.name = "mnulockup", .caption = "&Lock && Hide", .depth = 1, .shortcut = Key::F9},
    {.name = "scrlock", .caption = "&Windows Screen Saver", .depth = 1, .shortcut = Key::F11},
    {.name = "mnuLock", .caption = "&Kestrova", .depth = 1, .shortcut = Key::F12},
    {.name = "separateor", .caption = "-", .depth = 1},
    {.name = "mnuViewLog", .caption = "&View Log", .depth = 1},
    {.name = "mnuseparate", .caption = "-", .depth = 1},
    {.name = "mnuBackground", .caption = "Background Color", .depth = 1},
    {.name = "mnuRed", .caption = "&Red", .depth = 2},
    {.name = "mnuGreen", .caption = "&Green", .depth = 2},
    {.name = "mnuBlue", .caption = "&Blue", .depth = 2},
    {.name = "mnuPurple", .caption = "&Purple", .depth = 2},
    {.name = "mnuYellow", .caption = "&Yellow", .depth = 2},
    {.name = "mnusep", .caption = "-", .depth = 1},
    {.name = "startup", .caption = "Startup &Options", .depth = 1},
    {.name = "autorunnolock", .caption = "Sta&rt Hidden, Available from QuickKey (Pause)",
     .depth = 2},
    {.name = "autorun", .caption = "&Startup Using Kestrova", .depth = 2},
    {.name = "autorunatstart", .caption = "&AutoRun at Windows Startup", .depth = 2},
    {.name = "noautorun", .caption = "&Disable AutoRun at Windows Startup", .depth = 2},
    // What happens when the user walks away (options/walk_away.h).
    {.name = "mnuAwaySep", .caption = "-", .depth = 1},
    {.name = "mnuAway", .caption = "&When Away", .depth = 1},
    {.name = "mnuIdle", .caption = "Lock When &Idle", .depth = 2},
    {.name = "mnuIdleNever", .caption = "&Never", .depth = 3},
    {.name = "mnuIdle1", .caption = "After &1 Minute", .depth = 3},
    {.name = "mnuIdle5", .caption = "After &5 Minutes", .depth = 3},
    {.name = "mnuIdle10", .caption = "After 1&0 Minutes", .depth = 3},
    {.name = "mnuIdle15", .caption = "After 1&5 Minutes", .depth = 3},
    {.name = "mnuIdle30", .caption = "After &30 Minutes", .depth = 3},
    {.name = "mnuSleepLock", .caption = "Lock Before &Sleep", .depth = 2},
    {.name = "mnuCover", .caption = "&Cover the Screen While Locked", .depth = 2},
    // Never in the bar: the pop-up menu over the log list.
    {.name = "mnuLog", .caption = "Log Menu", .in_bar = false},
    {.name = "mnuHide", .caption = "&Hide Log", .depth = 1},
    {.name = "mnuDelete", .caption = "&Delete this Entry", .depth = 1},
    {.name = "mnuHelp", .caption = "Help"},
    {.name = "mnuOnline", .caption = "Orvane &Online", .depth = 1},
    {.name = "mnuEmail", .caption = "Send email to Orvane Tech Support", .depth = 1},
    {.name = "mnu3", .caption = "-", .depth = 1},
    {.name = "abtDulcimet", .caption = "About Kestrova", .depth = 1},
    {.name = "mnuQuit", .caption = "Q&uit"},
};

inline constexpr TimerSpec kForm1Timers[] = {
    {.name = "timerz", .interval_ms = 50},
};

// --- Form4, the lock screen ------------------------------------------------

inline constexpr FontSpec kAddressFont{.face = "MS Sans Serif", .points = 9.75};

inline constexpr ControlSpec kForm4Controls[] = {
    {.name = "Command1", .kind = ControlKind::Button, .text = "&Enter",
     .left = 1800, .top = 2760, .width = 3495, .height = 375, .tab = 2, .flags = kDefault,
     .font = kBold},
    {.name = "Textnew", .kind = ControlKind::TextBox,
     .left = 1800, .top = 2280, .width = 3495, .height = 285, .tab = 1, .flags = kPassword,
     .max_length = 255},  // however much is pasted, the lock's thread stays free
    {.name = "List2", .kind = ControlKind::ListBox,
     .left = 2280, .top = 240, .width = 2655, .height = 255, .tab = 0, .flags = kHidden | kSorted},
    {.name = "Label2", .kind = ControlKind::Label, .text = KV_SUPPORT_EMAIL,
     .left = 1800, .top = 3720, .width = 3495, .height = 375, .tab = 5, .flags = kTransparent,
     .align = Align::Center, .font = kAddressFont, .fore = kYellow},
    {.name = "Label1", .kind = ControlKind::Label, .text = KV_WEB_HOST,
     .left = 1800, .top = 3360, .width = 3495, .height = 375, .tab = 4, .flags = kTransparent,
     .align = Align::Center, .font = kAddressFont, .fore = kYellow},
    // The question; the lock screen puts it here when it loads.
    {.name = "Labelnew", .kind = ControlKind::Label,
     .left = 1920, .top = 720, .width = 3255, .height = 1335, .tab = 3, .flags = kWrap,
     .font = kBold, .fore = kCyan, .back = kBlack, .label_for = "Textnew"},
    // The dark-grey panel behind the question.
    {.name = "Shapenew", .kind = ControlKind::Shape,
     .left = 1800, .top = 600, .width = 3495, .height = 1575, .flags = kFilled, .back = kDarkGrey},
};

// Shown greyed; they have no commands.
inline constexpr MenuSpec kForm4Menus[] = {
    {.name = "mnuOptions2", .caption = "&Options", .enabled = false},
    {.name = "mnuHElp", .caption = "&Help", .enabled = false},
    {.name = "mnuquit", .caption = "&Quit", .enabled = false},
};

inline constexpr TimerSpec kForm4Timers[] = {
    {.name = "Timer1", .interval_ms = 4000},
    {.name = "Timer2", .interval_ms = 100},
};

// --- frmSplash ---------------------------------------------------------------

inline constexpr FontSpec kArial(double points, bool bold = false, bool italic = false) {
    return {.face = "Arial", .points = points, .bold = bold, .italic = italic};
}

// The labels' texts are placeholders that the splash fills in when it loads;
// the copyright line is not filled in, so it carries the real text here.
inline constexpr ControlSpec kSplashControls[] = {
    {.name = "lblProductName", .kind = ControlKind::Label, .text = "Product",
     .left = 2040, .top = 720, .width = 1785, .height = 555, .flags = kAutoSize | kTransparent,
     .font = kArial(24, true), .fore = kCyan},
    {.name = "lblPlatform", .kind = ControlKind::Label, .text = "Platform",
     .left = 2040, .top = 1800, .width = 1155, .height = 360, .flags = kAutoSize | kTransparent,
     .font = kArial(15.75), .fore = kCyan},
    {.name = "lblVersion", .kind = ControlKind::Label, .text = "Version",
     .left = 2040, .top = 1320, .width = 885, .height = 285, .flags = kAutoSize | kTransparent,
     .font = kArial(12, true), .fore = kCyan},
    {.name = "lblCompany", .kind = ControlKind::Label, .text = "Company",
     .left = 2040, .top = 3120, .width = 3495, .height = 375, .flags = kTransparent,
     .font = kArial(12, true, true), .fore = kYellow},
    {.name = "lblCopyright", .kind = ControlKind::Label, .text = KV_COPYRIGHT,
     .left = 2040, .top = 2400, .width = 3855, .height = 255, .flags = kTransparent,
     .font = kArial(8.25), .fore = kCyan},
    {.name = "imgLogo", .kind = ControlKind::Picture,
     .left = 840, .top = 840, .width = 510, .height = 510, .picture = Icon::Program},
    {.name = "lblTrademark", .kind = ControlKind::Label, .text = "Legal",
     .left = 2040, .top = 2640, .width = 3855, .height = 255, .flags = kTransparent,
     .fore = kCyan},
    // The trademark mark beside the product name.
    {.name = "Label1", .kind = ControlKind::Label, .text = "TM",
     .left = 4920, .top = 840, .width = 375, .height = 255, .flags = kTransparent, .fore = kCyan},
};

inline constexpr TimerSpec kSplashTimers[] = {
    {.name = "Timer2", .interval_ms = 1500},
};

// --- AboutBox ----------------------------------------------------------------

// The labels' texts are placeholders that the window fills in when it loads.
inline constexpr ControlSpec kAboutControls[] = {
    // Its back colour, the system window colour, does not show on a standard
    // push button, so the table leaves it to the system.
    {.name = "cmdOK", .kind = ControlKind::Button, .text = "OK",
     .left = 3960, .top = 2880, .width = 1095, .height = 360, .tab = 3},
    // Drawn over element 0, 30 twips up and left: the product name's shadow.
    {.name = "lblAppName", .index = 1, .kind = ControlKind::Label, .text = "Product Name",
     .left = 720, .top = 120, .width = 4065, .height = 450, .flags = kTransparent,
     .font = kArial(18, true), .fore = kNavy},
    {.name = "Image1", .kind = ControlKind::Picture,
     .left = 120, .top = 120, .width = 480, .height = 480, .picture = Icon::Program},
    {.name = "lblComments", .kind = ControlKind::Label, .text = "Comments",
     .left = 720, .top = 2160, .width = 4095, .height = 255, .flags = kTransparent},
    // Lines: from (left, top) to (width, height).
    {.name = "Line2", .kind = ControlKind::Line,
     .left = 720, .top = 2760, .width = 5040, .height = 2760, .fore = kRed, .line_width = 2},
    {.name = "Line1", .kind = ControlKind::Line,
     .left = 720, .top = 1560, .width = 5040, .height = 1560, .fore = kRed, .line_width = 2},
    {.name = "lblTrademark", .kind = ControlKind::Label, .text = KV_TRADEMARKS,
     .left = 720, .top = 2400, .width = 4095, .height = 240, .flags = kTransparent},
    {.name = "lblCopyright", .kind = ControlKind::Label, .text = KV_COPYRIGHT,
     .left = 720, .top = 1200, .width = 4095, .height = 240, .flags = kTransparent},
    {.name = "lblCompany", .kind = ControlKind::Label, .text = "Company Name",
     .left = 720, .top = 1680, .width = 4095, .height = 495, .flags = kTransparent,
     .font = {.face = "MS Sans Serif", .points = 13.5, .bold = true, .italic = true},
     .fore = kBlue},
    {.name = "lblAppName", .index = 0, .kind = ControlKind::Label, .text = "Product Name",
     .left = 750, .top = 150, .width = 4065, .height = 450, .flags = kTransparent,
     .font = kArial(18, true), .fore = kBlue},
    {.name = "lblVersion", .kind = ControlKind::Label,
     .text = "Major Version, Minor Version + Revision",
     .left = 720, .top = 600, .width = 4095, .height = 240, .flags = kTransparent},
    {.name = "lblDescription", .kind = ControlKind::Label, .text = "File  Description",
     .left = 750, .top = 870, .width = 4095, .height = 240, .back = kSilver},
};


inline constexpr FormSpec kForm1{
    .name = "Form1",
    .caption = "Kestrova",
    .client_width = 7095,
    .client_height = 4215,
    .frame = Frame::Sizable,
    .minimize_box = true,
    .in_taskbar = true,
    .back = kSilver,
    .fore = kBlue,
    .icon = Icon::Program,
    .controls = kForm1Controls,
    .menus = kForm1Menus,
    .timers = kForm1Timers,
};

inline constexpr FormSpec kForm4{
    .name = "Form4",
    .caption = "Form4",
    .client_width = 7095,
    .client_height = 4215,
    .frame = Frame::Sizable,
    .minimize_box = true,
    .in_taskbar = true,
    .icon = Icon::Program,
    .controls = kForm4Controls,
    .menus = kForm4Menus,
    .timers = kForm4Timers,
};

inline constexpr FormSpec kSplash{
    .name = "frmSplash",
    .caption = "",
    .client_width = 6615,
    .client_height = 3855,
    .frame = Frame::FixedDialogNoCaption,
    .minimize_box = false,
    .in_taskbar = false,
    .back = kBlack,
    .icon = Icon::Program,
    .controls = kSplashControls,
    .timers = kSplashTimers,
    .controls_after_show = true,
};

inline constexpr FormSpec kAboutBox{
    .name = "AboutBox",
    .caption = "AboutBox",
    .client_width = 5655,
    .client_height = 3360,
    .frame = Frame::FixedDialog,
    .minimize_box = false,
    .in_taskbar = false,
    .back = kSilver,
    .font = {.face = "System", .points = 9.75, .bold = true},
    .icon = Icon::About,
    .controls = kAboutControls,
};

// clang-format on

// Position of a control in a form's table (its native id is
// platform::kFirstControlId plus this), or -1 when the form has no such
// control. `index` is the element of a control array, -1 for a plain control.
int control_position(const platform::FormSpec& form, std::string_view name, int index = -1);

// Position of a menu item in a form's menu table, or -1.
int menu_position(const platform::FormSpec& form, std::string_view name);

}  // namespace kv::layout

// The running program: its program-wide variables and its four windows.
#pragma once

#include "app/form1.h"
#include "app/splash.h"
#include "help/about.h"
#include "lock/form4.h"
#include "ui/state.h"

namespace kv {

class Program : public ProgramState {
public:
    Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The windows; each loads when first used.
    frmSplash& splash() { return splash_; }
    Form1& form1() { return form1_; }
    Form4& form4() { return form4_; }
    AboutBox& about() { return about_; }

    // Process start: the splash is the start-up window.
    void start();

private:
    // In the order they are built: each takes the windows it works with,
    // which need not be built yet, only to keep them.
    AboutBox about_;
    Form1 form1_;
    Form4 form4_;
    frmSplash splash_;
};

}  // namespace kv

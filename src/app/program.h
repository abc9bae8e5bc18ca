// The running program: its program-wide variables and its four windows.
#pragma once

#include <memory>
#include <string>

#include "ui/state.h"

namespace kv {

class frmSplash;
class Form1;
class Form4;
class AboutBox;

class Program : public ProgramState {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The windows; each loads when first used.
    frmSplash& splash() { return *splash_; }
    Form1& form1() { return *form1_; }
    Form4& form4() { return *form4_; }
    AboutBox& about() { return *about_; }

    // Process start: the splash is the start-up window.
    void start();

private:
    std::unique_ptr<frmSplash> splash_;
    std::unique_ptr<Form1> form1_;
    std::unique_ptr<Form4> form4_;
    std::unique_ptr<AboutBox> about_;
};

// "Kestrova 2.0": the product name and the version from the version resource.
std::string title_with_version();
// "Version 2.0".
std::string version_text();

}  // namespace kv

// recorder.exe: a stand-in for a browser or an e-mail program. The e2e tests
// register it as the prefix's handler of a URL scheme; each start appends its
// arguments, one per line, to recorder.log beside the executable, so that a
// test can see exactly what the shell handed over.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    char self[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string log(self, n);
    const auto cut = log.find_last_of("\\/");
    log = (cut == std::string::npos ? std::string(".") : log.substr(0, cut)) + "\\recorder.log";

    std::FILE* f = std::fopen(log.c_str(), "ab");
    if (!f) return 1;
    for (int i = 1; i < argc; ++i) std::fprintf(f, "%s\n", argv[i]);
    std::fclose(f);
    return 0;
}

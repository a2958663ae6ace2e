// Stands in for an emulator or a player in the tests: records the arguments
// it received and the directory it was started in, then exits. The record
// appears at once and whole (written aside, then renamed), so a test can
// wait for it.
//
// Record format, UTF-8, one item per line, with \\, \n and \t escaped:
//   cwd<TAB>directory
//   arg<TAB>argument        (one line per argument after the program name)
// and on Linux what it inherited:
//   fd<TAB>n                (one line per open descriptor above 2)
//   out<TAB>target          (where its standard output goes)
//   SigBlk:<TAB>mask, SigIgn:<TAB>mask   (blocked and ignored signals)
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>
#else
#include <dirent.h>
#include <unistd.h>

#include <fstream>
#endif

namespace {

std::string escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

#ifdef _WIN32
std::string narrow(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::string record;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    wchar_t directory[4096];
    GetCurrentDirectoryW(4096, directory);
    record += "cwd\t" + escape(narrow(directory)) + "\n";
    record += "line\t" + escape(narrow(GetCommandLineW())) + "\n";
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) record += "arg\t" + escape(narrow(arguments[i])) + "\n";
    const wchar_t* out = _wgetenv(L"TARNWICK_RECORDER_OUT");
    if (!out) return 2;
    const std::wstring temporary = std::wstring(out) + L".part";
    FILE* f = _wfopen(temporary.c_str(), L"wb");
#else
    char directory[4096];
    if (!getcwd(directory, sizeof directory)) directory[0] = '\0';
    record += "cwd\t" + escape(directory) + "\n";
    for (int i = 1; i < argc; ++i) record += "arg\t" + escape(argv[i]) + "\n";
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* e = readdir(fds))
            if (std::atoi(e->d_name) > 2 && std::atoi(e->d_name) != dirfd(fds))
                record += std::string("fd\t") + e->d_name + "\n";
        closedir(fds);
    }
    char target[4096];
    const ssize_t n = readlink("/proc/self/fd/1", target, sizeof target - 1);
    record += "out\t" + std::string(target, n > 0 ? n : 0) + "\n";
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) record += line + "\n";
    const char* out = std::getenv("TARNWICK_RECORDER_OUT");
    if (!out) return 2;
    const std::string temporary = std::string(out) + ".part";
    FILE* f = std::fopen(temporary.c_str(), "wb");
#endif
    if (!f) return 3;
    std::fwrite(record.data(), 1, record.size(), f);
    std::fclose(f);
#ifdef _WIN32
    MoveFileExW(temporary.c_str(), out, MOVEFILE_REPLACE_EXISTING);
#else
    std::rename(temporary.c_str(), out);
#endif
    return 0;
}

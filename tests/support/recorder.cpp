// Stands in for an emulator or a player in the tests: records the arguments
// it received and the directory it was started in, then exits. The record
// appears at once and whole (written aside, then renamed), so a test can
// wait for it.
//
// Record format, UTF-8, each item ended by a NUL (which no argument holds):
//   cwd<TAB>directory
//   arg<TAB>argument        (one item per argument after the program name)
// and on Linux what it inherited:
//   fd<TAB>n                (one item per open descriptor above 2)
//   out<TAB>target, err<TAB>target   (where its standard output and error go)
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
    const auto add = [&record](const std::string& item) { record += item + '\0'; };
#ifdef _WIN32
    (void)argc;
    (void)argv;
    wchar_t directory[4096];
    GetCurrentDirectoryW(4096, directory);
    add("cwd\t" + narrow(directory));
    add("line\t" + narrow(GetCommandLineW()));
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) add("arg\t" + narrow(arguments[i]));
    const wchar_t* out = _wgetenv(L"TARNWICK_RECORDER_OUT");
    if (!out) return 2;
    const std::wstring temporary = std::wstring(out) + L".part";
    FILE* f = _wfopen(temporary.c_str(), L"wb");
#else
    char directory[4096];
    if (!getcwd(directory, sizeof directory)) directory[0] = '\0';
    add("cwd\t" + std::string(directory));
    for (int i = 1; i < argc; ++i) add("arg\t" + std::string(argv[i]));
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* e = readdir(fds))
            if (std::atoi(e->d_name) > 2 && std::atoi(e->d_name) != dirfd(fds))
                add(std::string("fd\t") + e->d_name);
        closedir(fds);
    }
    for (const char* fd : {"out", "err"}) {
        char target[4096];
        const std::string link = std::string("/proc/self/fd/") + (fd[0] == 'o' ? "1" : "2");
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        add(fd + ("\t" + std::string(target, n > 0 ? n : 0)));
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) add(line);
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

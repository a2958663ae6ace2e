// Stands in for an emulator: records what it got, written aside then renamed, items ended by NUL.
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

int main(int argc, [[maybe_unused]] char** argv) {
    std::string record;
    const auto add = [&record](const std::string& item) { record += item + '\0'; };
#ifdef _WIN32
    const auto narrow = [](const wchar_t* text) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        std::string out(n > 0 ? n - 1 : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
        return out;
    };
    wchar_t directory[4096];
    GetCurrentDirectoryW(4096, directory);
    add("cwd\t" + narrow(directory));
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i < argc; ++i) add("arg\t" + narrow(arguments[i]));
    const wchar_t* out = _wgetenv(L"TARNWICK_RECORDER_OUT");
    if (!out) return 2;
    const std::wstring temporary = std::wstring(out) + L".part";
    FILE* f = _wfopen(temporary.c_str(), L"wb");
#else
    char text[4096];
    add("cwd\t" + std::string(getcwd(text, sizeof text) ? text : ""));
    for (int i = 1; i < argc; ++i) add("arg\t" + std::string(argv[i]));
    std::string inherited = "inherited\t";
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* e = readdir(fds))
            if (std::atoi(e->d_name) > 2 && std::atoi(e->d_name) != dirfd(fds))
                inherited += std::string(e->d_name) + " ";
        closedir(fds);
    }
    for (const char* fd : {"/proc/self/fd/1", "/proc/self/fd/2"}) {
        const ssize_t n = readlink(fd, text, sizeof text);
        inherited += std::string(text, n > 0 ? n : 0) + " ";
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0)
            inherited += line.substr(8) + " ";
    add(inherited);
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

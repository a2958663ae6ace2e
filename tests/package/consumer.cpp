// A program of a library user: built against the installed package through
// pkg-config or CMake, static or shared, it must link and split a path.
#include <tarnwick/tarnwick.h>

#include <cstdio>

int main() {
    tarnwick::twFunctions f;
    tarnwick::String path, file;
    f.GetFileAndPath(u"/games/Great Escape.d64", path, file);
    std::printf("%s|%s\n", tarnwick::toUtf8(path).c_str(), tarnwick::toUtf8(file).c_str());
    return path == u"/games" && file == u"Great Escape.d64" ? 0 : 1;
}

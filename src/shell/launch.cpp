#include "shell/launch.h"

#include "core/caught.h"

namespace tarnwick {

String Launch::notFound(const String& path) const {
    return u"Unable to run " + String(name_) + u".  File: " + path + u" not found";
}

void Launch::enterDirectory(const String& driveSource, const String& directory) {
    platform.changeDrive(driveSource.substr(0, 3));
    platform.changeDirectory(directory);
}

void Launch::start(const String& commandLine) {
    constexpr std::int32_t normalWindow = 1;
    if (commandLine.empty() || commandLine[0] == u' ' || commandLine[0] == u'\t')
        throw Error(errors::FileNotFound);
    platform.startProcess(commandLine, normalWindow);
}

String Launch::required(const String& form, const String& path) {
    if (form.empty())
        throw Error(errors::BadFileNameOrNumber, u"No short form of " + path + u" can be made");
    return form;
}

String Launch::withSeparator(const String& path) const {
    const char16_t separator = platform.pathSeparator();
    if (!path.empty() && path.back() == separator) return path;
    return path + separator;
}

String runLaunch(Platform& platform, std::u16string_view name,
                 const std::function<String(Launch&)>& steps) {
    const auto trapped = [&](const Error& e) {
        return u"There was an error starting " + String(name) + u".  Error " + decimal(e.number()) +
               u": " + e.description();
    };
    try {
        Launch launch(platform, name);
        return steps(launch);
    } catch (...) {
        return trapped(caughtError());
    }
}

String decimal(std::int64_t number) {
    return fromUtf8(std::to_string(number));
}

}  // namespace tarnwick

// Volume labels on Linux: the label of the file system mounted at a mount
// point, as the device database (udev) records it, else read from the
// device itself where it may be read. Never guessed from the mount point's
// name.
#include <blkid/blkid.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/posix/posix_platform.h"
#include "platform/posix/runtime_library.h"

namespace tarnwick {

namespace {

// libblkid, loaded at run time: it reads a file system's label from its
// superblock.
struct Blkid {
    decltype(&::blkid_new_probe_from_filename) newProbe = nullptr;
    decltype(&::blkid_probe_enable_superblocks) enableSuperblocks = nullptr;
    decltype(&::blkid_probe_set_superblocks_flags) setSuperblocksFlags = nullptr;
    decltype(&::blkid_do_safeprobe) safeProbe = nullptr;
    decltype(&::blkid_probe_lookup_value) lookupValue = nullptr;
    decltype(&::blkid_free_probe) freeProbe = nullptr;

    static const Blkid* get() {
        static const RuntimeLibrary library("libblkid.so.1");
        static const std::optional<Blkid> api = []() -> std::optional<Blkid> {
            Blkid b;
            const bool all =
                library.bind(b.newProbe, "blkid_new_probe_from_filename") &&
                library.bind(b.enableSuperblocks, "blkid_probe_enable_superblocks") &&
                library.bind(b.setSuperblocksFlags, "blkid_probe_set_superblocks_flags") &&
                library.bind(b.safeProbe, "blkid_do_safeprobe") &&
                library.bind(b.lookupValue, "blkid_probe_lookup_value") &&
                library.bind(b.freeProbe, "blkid_free_probe");
            if (!all) return std::nullopt;
            return b;
        }();
        return api ? &*api : nullptr;
    }
};

// udev writes bytes outside plain ASCII (and blanks) as \xNN.
std::string decodeUdevText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const std::string hex = text.substr(i + 2, 2);
            char* end = nullptr;
            const long value = std::strtol(hex.c_str(), &end, 16);
            if (hex.size() == 2 && end == hex.c_str() + 2) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The label udev recorded for the block device major:minor: "" for a file
// system without one; nothing when udev has not probed the device.
std::optional<std::string> labelFromUdev(const std::string& udevData, const std::string& device) {
    std::ifstream record(udevData + "/b" + device);
    if (!record) return std::nullopt;
    std::string line, encoded, plain;
    bool probed = false, haveEncoded = false, havePlain = false;
    while (std::getline(record, line)) {
        if (line.rfind("E:ID_FS_TYPE=", 0) == 0) probed = true;
        if (line.rfind("E:ID_FS_LABEL_ENC=", 0) == 0) {
            encoded = line.substr(18);
            haveEncoded = true;
        } else if (line.rfind("E:ID_FS_LABEL=", 0) == 0) {
            plain = line.substr(14);
            havePlain = true;
        }
    }
    if (haveEncoded) return decodeUdevText(encoded);
    if (havePlain) return plain;
    if (probed) return std::string();
    return std::nullopt;
}

// The label in the superblock of the device: "" for a file system without
// one; nothing when the device cannot be read.
std::optional<std::string> labelFromDevice(const std::string& device) {
    const Blkid* blkid = Blkid::get();
    if (!blkid) return std::nullopt;
    const blkid_probe probe = blkid->newProbe(device.c_str());
    if (!probe) return std::nullopt;
    blkid->enableSuperblocks(probe, 1);
    blkid->setSuperblocksFlags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
    std::optional<std::string> label;
    if (blkid->safeProbe(probe) == 0) {
        const char* value = nullptr;
        std::size_t length = 0;
        label = blkid->lookupValue(probe, "LABEL", &value, &length) == 0 && value
                    ? std::string(value)
                    : std::string();
    }
    blkid->freeProbe(probe);
    return label;
}

// The block device that holds the file system: its source when that is the
// device, else the kernel's name for major:minor.
std::string blockDeviceOf(const MountEntry& entry) {
    struct stat st;
    if (!entry.source.empty() && entry.source[0] == '/' && ::stat(entry.source.c_str(), &st) == 0 &&
        S_ISBLK(st.st_mode))
        return entry.source;
    const std::string byNumber = "/dev/block/" + entry.device;
    if (::stat(byNumber.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return byNumber;
    return std::string();
}

}  // namespace

bool PosixPlatform::volumeInformation(const String& rootPath, String& nameBuffer) {
    std::string path = toUtf8(rootPath);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::string resolved = canonicalPath(path);
    if (resolved.empty()) return false;

    // Only a mount point names a volume, as only a root names a drive; of
    // file systems mounted on the same point the last one is seen.
    const std::vector<MountEntry> table = readMountTable(options_.mountInfo);
    const MountEntry* mounted = nullptr;
    for (const MountEntry& entry : table)
        if (entry.mountPoint == resolved) mounted = &entry;
    if (!mounted) return false;

    std::optional<std::string> label = labelFromUdev(options_.udevData, mounted->device);
    if (!label) {
        const std::string device = blockDeviceOf(*mounted);
        // A file system with no device behind it (tmpfs, proc) has no label.
        label =
            device.empty() ? std::optional<std::string>(std::string()) : labelFromDevice(device);
    }
    if (!label) return false;

    String text = fromUtf8(*label);
    if (nameBuffer.empty()) return false;
    if (text.size() > nameBuffer.size() - 1) text.resize(nameBuffer.size() - 1);
    nameBuffer.replace(0, text.size(), text);
    nameBuffer[text.size()] = u'\0';
    return true;
}

}  // namespace tarnwick

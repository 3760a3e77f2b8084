#include "transport/HidrawBackend.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "transport/HidReportDescriptor.h"

namespace q417 {
namespace {

// The kernel never hands out a hidraw report larger than this (HID_MAX_BUFFER_SIZE).
constexpr std::size_t kMaxHidrawReportBytes = 16384;
constexpr std::string_view kPathPrefix = "hidraw#";

// Closes a file descriptor on scope exit.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

// Reads a small sysfs attribute (sysfs files report a size of 4096 whatever they hold, so read
// until end of file). Nullopt when the file cannot be read or is larger than maxBytes.
std::optional<std::string> ReadAttribute(const std::string& path, std::size_t maxBytes = 4096) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return std::nullopt;
    }
    std::string data;
    data.resize(maxBytes + 1);
    std::size_t used = 0;
    while (used < data.size()) {
        const ssize_t n = ::read(fd.Get(), data.data() + used, data.size() - used);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    if (used > maxBytes) {
        return std::nullopt;
    }
    data.resize(used);
    return data;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

// Whole-string number in the given base; nullopt on anything else.
std::optional<uint32_t> ParseNumber(std::string_view text, int base) {
    text = Trim(text);
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        if (digit >= base) {
            return std::nullopt;
        }
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    if (value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::optional<uint32_t> ReadNumberAttribute(const std::string& path, int base) {
    auto text = ReadAttribute(path, 64);
    return text ? ParseNumber(*text, base) : std::nullopt;
}

// "hidraw12" -> 12; nullopt for any other name.
std::optional<unsigned> NodeNumber(std::string_view name) {
    constexpr std::string_view kStem = "hidraw";
    if (name.size() <= kStem.size() || name.size() > kStem.size() + 6 ||
        name.substr(0, kStem.size()) != kStem) {
        return std::nullopt;
    }
    auto n = ParseNumber(name.substr(kStem.size()), 10);
    if (!n) {
        return std::nullopt;
    }
    return *n;
}

// The kernel names a HID device "BBBB:VVVV:PPPP.NNNN" (upper-case hex).
bool IsHidInstanceName(std::string_view name) {
    if (name.size() != 19) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i == 4 || i == 9) {
            if (c != ':') {
                return false;
            }
        } else if (i == 14) {
            if (c != '.') {
                return false;
            }
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

// The target of a symbolic link, empty when path is not one.
std::string ReadLink(const std::string& path) {
    std::array<char, 4096> buf;
    const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) {
        return {};
    }
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

// The last `count` components of a slash-separated path, last one first.
std::vector<std::string_view> LastComponents(std::string_view path, std::size_t count) {
    std::vector<std::string_view> parts;
    while (parts.size() < count && !path.empty()) {
        while (!path.empty() && path.back() == '/') {
            path.remove_suffix(1);
        }
        const auto slash = path.rfind('/');
        const std::string_view part =
            slash == std::string_view::npos ? path : path.substr(slash + 1);
        if (!part.empty()) {
            parts.push_back(part);
        }
        path = slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
    }
    return parts;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// What sysfs says about one hidraw node.
struct NodeSysfs {
    std::string nodeName;
    std::string instance;
    std::string name;
    uint16_t busType = 0;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
    std::optional<uint32_t> interfaceNumber;
    bool composite = false;
    std::vector<uint8_t> descriptor;
    std::string error;  // non-empty: the node cannot be used
};

// The kernel instance of a node (the name of its HID device folder), read from the class link
// <class>/hidrawN -> .../<instance>/hidraw/hidrawN, or from the `device` link; empty when neither
// names one (a fixture whose folders are plain folders).
std::string LinkedInstance(const std::string& nodeDir, const std::string& nodeName) {
    const std::string classLink = ReadLink(nodeDir);
    auto parts = LastComponents(classLink, 3);
    if (parts.size() == 3 && parts[0] == nodeName && parts[1] == "hidraw" &&
        IsHidInstanceName(parts[2])) {
        return std::string(parts[2]);
    }
    const std::string deviceLink = ReadLink(nodeDir + "/device");
    parts = LastComponents(deviceLink, 1);
    if (parts.size() == 1 && IsHidInstanceName(parts[0])) {
        return std::string(parts[0]);
    }
    return {};
}

std::string ResolveInstance(const std::string& nodeDir, const std::string& nodeName, uint16_t bus,
                            uint16_t vid, uint16_t pid) {
    std::string instance = LinkedInstance(nodeDir, nodeName);
    if (instance.empty()) {
        char text[32];
        std::snprintf(text, sizeof text, "%04X:%04X:%04X", bus, vid, pid);
        instance = text;
    }
    return instance;
}

NodeSysfs ReadNode(const std::string& sysfsRoot, const std::string& nodeName) {
    NodeSysfs node;
    node.nodeName = nodeName;
    const std::string nodeDir = sysfsRoot + "/class/hidraw/" + nodeName;

    auto uevent = ReadAttribute(nodeDir + "/device/uevent");
    if (!uevent) {
        node.error = "device/uevent is missing or unreadable";
        return node;
    }
    bool haveId = false;
    std::string_view rest(*uevent);
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.substr(0, 7) == "HID_ID=") {
            // HID_ID=0003:00004A1D:00007101 (bus, vendor, product; the IDs are 32-bit fields)
            const std::string_view v = line.substr(7);
            const auto c1 = v.find(':');
            const auto c2 = c1 == std::string_view::npos ? c1 : v.find(':', c1 + 1);
            if (c2 != std::string_view::npos) {
                auto bus = ParseNumber(v.substr(0, c1), 16);
                auto vid = ParseNumber(v.substr(c1 + 1, c2 - c1 - 1), 16);
                auto pid = ParseNumber(v.substr(c2 + 1), 16);
                if (bus && vid && pid) {
                    node.busType = static_cast<uint16_t>(*bus);
                    node.vendorId = static_cast<uint16_t>(*vid);
                    node.productId = static_cast<uint16_t>(*pid);
                    haveId = true;
                }
            }
        } else if (line.substr(0, 9) == "HID_NAME=") {
            node.name = std::string(line.substr(9));
        }
    }
    if (!haveId) {
        node.error = "device/uevent has no valid HID_ID";
        return node;
    }
    node.instance = ResolveInstance(nodeDir, nodeName, node.busType, node.vendorId, node.productId);

    // USB HID: the HID device sits in the USB interface folder, which sits in the USB device
    // folder. Other buses (Bluetooth, I2C, uhid) have no interface number; their parents are
    // not looked at, so a Bluetooth device behind a USB adapter does not take the adapter's.
    // "device/.." is the physical parent of the HID device folder: the kernel follows the link
    // before it applies "..".
    if (node.busType == 0x0003) {
        const std::string ifDir = nodeDir + "/device/..";
        node.interfaceNumber = ReadNumberAttribute(ifDir + "/bInterfaceNumber", 16);
        if (node.interfaceNumber) {
            const std::string usbDir = ifDir + "/..";
            auto count = ReadNumberAttribute(usbDir + "/bNumInterfaces", 10);
            node.composite = count && *count > 1;
            auto bcd = ReadNumberAttribute(usbDir + "/bcdDevice", 16);
            node.versionNumber = bcd ? static_cast<uint16_t>(*bcd) : 0;
        }
    }

    // Read more than the parser accepts, so an oversized descriptor is reported as such.
    auto descriptor =
        ReadAttribute(nodeDir + "/device/report_descriptor", 16 * kMaxReportDescriptorBytes);
    if (!descriptor) {
        node.error = "device/report_descriptor is missing or unreadable";
        return node;
    }
    node.descriptor.assign(descriptor->begin(), descriptor->end());
    return node;
}

std::string CollectionPath(const NodeSysfs& node, std::size_t index, std::size_t count,
                           const std::string& devicePath) {
    char ids[64];
    int len = std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", node.vendorId, node.productId);
    if (node.composite && node.interfaceNumber) {
        len += std::snprintf(ids + len, sizeof ids - static_cast<std::size_t>(len), "&mi_%02x",
                             *node.interfaceNumber & 0xFFu);
    }
    if (count > 1) {
        std::snprintf(ids + len, sizeof ids - static_cast<std::size_t>(len), "&col%02x",
                      static_cast<unsigned>((index + 1) & 0xFFu));
    }
    return std::string(kPathPrefix) + ids + "#" + node.instance + "#" + devicePath;
}

// Names of the hidraw nodes present, sorted by number. False when the class folder exists but
// cannot be read; a missing folder means no hidraw device is present.
bool ListNodeNames(const std::string& sysfsRoot, std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::opendir((sysfsRoot + "/class/hidraw").c_str());
    if (dir == nullptr) {
        return errno == ENOENT;
    }
    std::vector<std::pair<unsigned, std::string>> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (auto n = NodeNumber(entry->d_name)) {
            found.emplace_back(*n, entry->d_name);
        }
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end());
    for (auto& [n, name] : found) {
        names.push_back(std::move(name));
    }
    return true;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) {
        return 0;
    }
    // Round up so a wait never ends a fraction of a millisecond early and spins.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

bool IsGoneErrno(int err) {
    return err == ENODEV || err == EIO || err == ENXIO || err == EPIPE || err == ESHUTDOWN;
}

// One opened top-level collection of a hidraw node.
//
// Reads and writes wait in poll() on the node and on an eventfd that CancelIo signals; the
// eventfd is never reset, so a cancelled object stays dead and a new object is made per open.
// Unlike overlapped I/O on Windows no transfer is ever pending in the kernel once Read/Write
// return: read() copies a queued report synchronously after poll said one is there, so nothing
// can complete into a buffer after the call has returned.
class HidrawDevice final : public IHidDevice {
public:
    HidrawDevice(UniqueFd fd, UniqueFd cancelFd, bool canRead, bool canWrite,
                 HidAttributes attributes, std::vector<uint8_t> descriptor, std::size_t index,
                 std::shared_ptr<const HidPreparsed> collection, bool numbered)
        : fd_(std::move(fd)),
          cancelFd_(std::move(cancelFd)),
          canRead_(canRead),
          canWrite_(canWrite),
          attributes_(attributes),
          descriptor_(std::move(descriptor)),
          index_(index),
          collection_(std::move(collection)),
          numbered_(numbered),
          scratch_(kMaxHidrawReportBytes + 1) {}

    HidAttributes Attributes() const override { return attributes_; }
    std::span<const uint8_t> ReportDescriptor() const override { return descriptor_; }
    std::size_t CollectionIndex() const override { return index_; }

    HidIoResult Read(std::span<uint8_t> buffer, uint32_t timeoutMs) override {
        if (!canRead_) {
            return {HidIoStatus::Error, 0};
        }
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(timeoutMs == kHidInfinite ? 0 : timeoutMs);
        for (;;) {
            const HidIoStatus ready = WaitFor(POLLIN, timeoutMs, deadline);
            if (ready != HidIoStatus::Ok) {
                return {ready, 0};
            }
            // Unnumbered reports are read one byte in so the leading 0 can go in front.
            uint8_t* const into = numbered_ ? scratch_.data() : scratch_.data() + 1;
            const ssize_t n = ::read(fd_.Get(), into, kMaxHidrawReportBytes);
            if (n < 0) {
                const int err = errno;
                if (err == EAGAIN || err == EINTR) {
                    continue;
                }
                return {IsGoneErrno(err) ? HidIoStatus::Gone : HidIoStatus::Error, 0};
            }
            if (n == 0) {
                return {HidIoStatus::Gone, 0};  // end of file: the node went away
            }
            std::size_t length = static_cast<std::size_t>(n);
            if (numbered_) {
                // Every open file of the node gets every input report; keep ours, and go on
                // waiting (until the same deadline) after another collection's report.
                if (!collection_->OwnsReportId(HidReportType::Input, scratch_[0])) {
                    continue;
                }
            } else {
                scratch_[0] = 0;
                ++length;
            }
            if (length > buffer.size()) {
                return {HidIoStatus::Error, 0};  // the caller's buffer cannot hold the report
            }
            std::copy_n(scratch_.begin(), length, buffer.begin());
            return {HidIoStatus::Ok, length};
        }
    }

    // hidraw's write() takes the report number in byte 0 (0 for unnumbered reports, which the
    // kernel strips) and has no time-out of its own; the time-out covers the wait until the
    // node accepts a write.
    HidIoResult Write(std::span<const uint8_t> report, uint32_t timeoutMs) override {
        if (!canWrite_ || report.empty()) {
            return {HidIoStatus::Error, 0};
        }
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(timeoutMs == kHidInfinite ? 0 : timeoutMs);
        for (;;) {
            const HidIoStatus ready = WaitFor(POLLOUT, timeoutMs, deadline);
            if (ready != HidIoStatus::Ok) {
                return {ready, 0};
            }
            const ssize_t n = ::write(fd_.Get(), report.data(), report.size());
            if (n < 0) {
                const int err = errno;
                if (err == EAGAIN || err == EINTR) {
                    continue;
                }
                return {IsGoneErrno(err) ? HidIoStatus::Gone : HidIoStatus::Error, 0};
            }
            return {HidIoStatus::Ok, static_cast<std::size_t>(n)};
        }
    }

    void CancelIo() override {
        const uint64_t one = 1;
        // The counter only grows; a failed write means it is already far from 0.
        [[maybe_unused]] const ssize_t n = ::write(cancelFd_.Get(), &one, sizeof one);
    }

private:
    // Waits until the node is ready for `events`, the object is cancelled or the deadline passes.
    HidIoStatus WaitFor(short events, uint32_t timeoutMs,
                        std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            std::array<pollfd, 2> fds{{{fd_.Get(), events, 0}, {cancelFd_.Get(), POLLIN, 0}}};
            const int wait = timeoutMs == kHidInfinite ? -1 : RemainingMs(deadline);
            const int r = ::poll(fds.data(), fds.size(), wait);
            if (r < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return HidIoStatus::Error;
            }
            if (fds[1].revents != 0) {
                return HidIoStatus::Cancelled;
            }
            if (r == 0) {
                if (wait == 0 || RemainingMs(deadline) == 0) {
                    return HidIoStatus::Timeout;
                }
                continue;
            }
            if (fds[0].revents & events) {
                return HidIoStatus::Ok;  // queued data is read before a hang-up is looked at
            }
            if (fds[0].revents & (POLLHUP | POLLERR)) {
                return HidIoStatus::Gone;
            }
            if (fds[0].revents & POLLNVAL) {
                return HidIoStatus::Error;
            }
        }
    }

    UniqueFd fd_;
    UniqueFd cancelFd_;
    const bool canRead_;
    const bool canWrite_;
    const HidAttributes attributes_;
    const std::vector<uint8_t> descriptor_;
    const std::size_t index_;
    const std::shared_ptr<const HidPreparsed> collection_;
    const bool numbered_;
    std::vector<uint8_t> scratch_;  // one reader at a time, as IHidDevice allows
};

void SetOpenError(HidOpenError* error, std::string* errorText, HidOpenError code,
                  std::string text) {
    if (error != nullptr) {
        *error = code;
    }
    if (errorText != nullptr) {
        *errorText = std::move(text);
    }
}

HidOpenError OpenErrnoToError(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
            return HidOpenError::PermissionDenied;
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return HidOpenError::NotFound;
        case EBUSY:
            return HidOpenError::Busy;
        default:
            return HidOpenError::Other;
    }
}

bool AnyCollectionNumbered(const HidReportDescriptorInfo& info) {
    return std::any_of(info.collections.begin(), info.collections.end(),
                       [](const auto& c) { return c && c->UsesReportIds(); });
}

std::string EnvOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : fallback;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

}  // namespace

// What one node contributed to the last pass. A kernel instance name is never reused, and a HID
// device keeps its descriptor and USB parents for its whole life, so while the class link still
// names the same instance the node's paths are the same: a pass then costs one readlink per node.
struct HidrawBackend::EnumerationCache {
    struct Entry {
        std::string classLink;
        std::vector<std::string> paths;  // empty: the descriptor does not parse
    };
    std::mutex mutex;
    std::map<std::string, Entry> nodes;  // by node name
};

HidrawBackend::HidrawBackend()
    : HidrawBackend(EnvOr("Q417_SYSFS_ROOT", "/sys"), EnvOr("Q417_DEV_ROOT", "/dev")) {}

HidrawBackend::HidrawBackend(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(WithoutTrailingSlash(std::move(sysfsRoot))),
      devRoot_(WithoutTrailingSlash(std::move(devRoot))),
      cache_(std::make_unique<EnumerationCache>()) {}

HidrawBackend::~HidrawBackend() = default;

bool HidrawBackend::EnumeratePaths(std::vector<std::string>& paths) {
    paths.clear();
    std::vector<std::string> names;
    if (!ListNodeNames(sysfsRoot_, names)) {
        return false;
    }
    std::lock_guard lock(cache_->mutex);
    std::map<std::string, EnumerationCache::Entry> seen;
    for (const auto& nodeName : names) {
        const std::string nodeDir = sysfsRoot_ + "/class/hidraw/" + nodeName;
        // Only a link naming a kernel instance identifies the device well enough to reuse.
        std::string classLink = ReadLink(nodeDir);
        const auto parts = LastComponents(classLink, 3);
        if (parts.size() != 3 || parts[0] != nodeName || !IsHidInstanceName(parts[2])) {
            classLink.clear();
        }
        if (!classLink.empty()) {
            auto it = cache_->nodes.find(nodeName);
            if (it != cache_->nodes.end() && it->second.classLink == classLink) {
                paths.insert(paths.end(), it->second.paths.begin(), it->second.paths.end());
                seen.insert(cache_->nodes.extract(it));
                continue;
            }
        }
        const NodeSysfs node = ReadNode(sysfsRoot_, nodeName);
        if (!node.error.empty()) {
            continue;  // perhaps still appearing: not remembered
        }
        EnumerationCache::Entry entry{classLink, {}};
        // A node whose descriptor does not parse is skipped: nothing could be decoded through it.
        if (auto info = ParseHidReportDescriptor(node.descriptor)) {
            const std::string devicePath = devRoot_ + "/" + nodeName;
            const std::size_t count = info->collections.size();
            for (std::size_t i = 0; i < count; ++i) {
                entry.paths.push_back(CollectionPath(node, i, count, devicePath));
            }
        }
        paths.insert(paths.end(), entry.paths.begin(), entry.paths.end());
        if (!classLink.empty() && node.instance == std::string(parts[2])) {
            seen[nodeName] = std::move(entry);
        }
    }
    cache_->nodes = std::move(seen);  // nodes gone since the last pass are forgotten
    return true;
}

std::unique_ptr<IHidDevice> HidrawBackend::Open(const std::string& path,
                                                const HidOpenRequest& request, HidOpenError* error,
                                                std::string* errorText) {
    SetOpenError(error, errorText, HidOpenError::None, {});
    // hidraw#<ids>#<instance>#<devRoot>/hidrawN
    const std::string_view p(path);
    const auto idsEnd =
        p.substr(0, kPathPrefix.size()) == kPathPrefix ? p.find('#', kPathPrefix.size()) : p.npos;
    const auto instanceEnd = idsEnd == p.npos ? p.npos : p.find('#', idsEnd + 1);
    const std::string nodePrefix = devRoot_ + "/";
    if (instanceEnd == p.npos || p.substr(instanceEnd + 1, nodePrefix.size()) != nodePrefix ||
        !NodeNumber(p.substr(instanceEnd + 1 + nodePrefix.size()))) {
        SetOpenError(error, errorText, HidOpenError::NotFound, "not a hidraw path: " + path);
        return nullptr;
    }
    const std::string nodeName(p.substr(instanceEnd + 1 + nodePrefix.size()));
    const std::string instance(p.substr(idsEnd + 1, instanceEnd - idsEnd - 1));
    const std::string devicePath = nodePrefix + nodeName;

    // The path must be one this backend reports for the node as it is now: that checks the
    // instance (a re-plugged device reusing the number is another device) and finds the
    // collection.
    NodeSysfs node = ReadNode(sysfsRoot_, nodeName);
    if (!node.error.empty()) {
        SetOpenError(error, errorText, HidOpenError::NotFound, nodeName + ": " + node.error);
        return nullptr;
    }
    if (node.instance != instance) {
        SetOpenError(error, errorText, HidOpenError::NotFound,
                     nodeName + " now belongs to another device (" + node.instance + ")");
        return nullptr;
    }
    std::string parseError;
    auto info = ParseHidReportDescriptor(node.descriptor, &parseError);
    if (!info) {
        SetOpenError(error, errorText, HidOpenError::BadDescriptor,
                     nodeName + ": report descriptor: " + parseError);
        return nullptr;
    }
    const std::size_t count = info->collections.size();
    std::optional<std::size_t> index;
    for (std::size_t i = 0; i < count; ++i) {
        if (CollectionPath(node, i, count, devicePath) == path) {
            index = i;
            break;
        }
    }
    if (!index || !info->collections[*index]) {
        SetOpenError(error, errorText, HidOpenError::NotFound,
                     "no such collection on " + nodeName + ": " + path);
        return nullptr;
    }

    int flags = O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
    if (request.read && request.write) {
        flags |= O_RDWR;
    } else if (request.write) {
        flags |= O_WRONLY;
    } else if (request.read) {
        flags |= O_RDONLY;
    } else {
        flags |= O_PATH;  // neither: attributes and capabilities only, no transfers
    }
    UniqueFd fd(::open(devicePath.c_str(), flags));
    if (!fd.Valid()) {
        const int err = errno;
        SetOpenError(error, errorText, OpenErrnoToError(err), devicePath + ": " + ErrnoText(err));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
        SetOpenError(error, errorText, HidOpenError::Other, devicePath + " is not a device node");
        return nullptr;
    }
    // Exclusive access: hidraw has no share modes, so Q417 processes agree through advisory
    // locks: an exclusive open takes LOCK_EX, a shared one LOCK_SH, and a conflict is Busy.
    // Other programs are not held off.
    if (!(flags & O_PATH) &&
        ::flock(fd.Get(), (request.exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int err = errno;
        SetOpenError(error, errorText,
                     err == EWOULDBLOCK ? HidOpenError::Busy : HidOpenError::Other,
                     devicePath + (err == EWOULDBLOCK ? ": in use by another Q417 open"
                                                      : ": " + ErrnoText(err)));
        return nullptr;
    }
    // The node may have been replaced between the check above and the open.
    if (ResolveInstance(sysfsRoot_ + "/class/hidraw/" + nodeName, nodeName, node.busType,
                        node.vendorId, node.productId) != instance) {
        SetOpenError(error, errorText, HidOpenError::NotFound, nodeName + " was replaced");
        return nullptr;
    }
    UniqueFd cancelFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!cancelFd.Valid()) {
        const int err = errno;
        SetOpenError(error, errorText, HidOpenError::Other, "eventfd: " + ErrnoText(err));
        return nullptr;
    }
    const HidAttributes attributes{node.vendorId, node.productId, node.versionNumber};
    const bool numbered = AnyCollectionNumbered(*info);
    auto collection = info->collections[*index];
    return std::make_unique<HidrawDevice>(
        std::move(fd), std::move(cancelFd), request.read && !(flags & O_PATH), request.write,
        attributes, std::move(node.descriptor), *index, std::move(collection), numbered);
}

std::vector<HidrawNodeInfo> HidrawBackend::ListNodes() const {
    std::vector<HidrawNodeInfo> result;
    std::vector<std::string> names;
    if (!ListNodeNames(sysfsRoot_, names)) {
        return result;
    }
    for (const auto& nodeName : names) {
        const NodeSysfs node = ReadNode(sysfsRoot_, nodeName);
        HidrawNodeInfo info;
        info.nodeName = nodeName;
        info.devicePath = devRoot_ + "/" + nodeName;
        info.instance = node.instance;
        info.name = node.name;
        info.busType = node.busType;
        info.vendorId = node.vendorId;
        info.productId = node.productId;
        info.versionNumber = node.versionNumber;
        info.interfaceNumber = node.interfaceNumber;
        info.composite = node.composite;
        info.descriptorBytes = node.descriptor.size();
        info.sysfsError = node.error;
        if (node.error.empty()) {
            std::string parseError;
            auto parsed = ParseHidReportDescriptor(node.descriptor, &parseError);
            if (!parsed) {
                info.descriptorError = parseError.empty() ? "malformed" : parseError;
            } else {
                const std::size_t count = parsed->collections.size();
                for (std::size_t i = 0; i < count; ++i) {
                    const auto& c = parsed->collections[i];
                    if (!c) {
                        continue;
                    }
                    HidrawCollectionInfo ci;
                    ci.usagePage = c->Caps().usagePage;
                    ci.usage = c->Caps().usage;
                    for (int t = 0; t < kHidReportTypeCount; ++t) {
                        ci.reportIds[t] = c->ReportIds(static_cast<HidReportType>(t));
                    }
                    ci.inputReportByteLength = c->Caps().inputReportByteLength;
                    ci.outputReportByteLength = c->Caps().outputReportByteLength;
                    ci.featureReportByteLength = c->Caps().featureReportByteLength;
                    ci.path = CollectionPath(node, i, count, info.devicePath);
                    info.collections.push_back(std::move(ci));
                }
            }
        }
        // Probe access the way the application will open the node; nothing is transferred.
        const int common = O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
        UniqueFd both(::open(info.devicePath.c_str(), O_RDWR | common));
        if (both.Valid()) {
            info.readable = info.writable = true;
        } else {
            const int errBoth = errno;
            UniqueFd r(::open(info.devicePath.c_str(), O_RDONLY | common));
            const int errRead = r.Valid() ? 0 : errno;
            UniqueFd w(::open(info.devicePath.c_str(), O_WRONLY | common));
            const int errWrite = w.Valid() ? 0 : errno;
            info.readable = r.Valid();
            info.writable = w.Valid();
            for (int err : {errRead, errWrite}) {
                if (err == EACCES || err == EPERM) {
                    info.permissionDenied = true;
                }
            }
            const int shown = errRead != 0 ? errRead : (errWrite != 0 ? errWrite : errBoth);
            info.openError = ErrnoText(shown);
        }
        result.push_back(std::move(info));
    }
    return result;
}

}  // namespace q417

// Turning file paths into list items, off the main thread: pure functions of their arguments and
// the file system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <system_error>

#include "K7Core/Audio/AudioFileDecoder.h"
#include "K7Core/FileList/K7ProjectCodec.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "V7Aruviv/Models/TransferSendAnalyzer.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Support/FileNameParts.h"
#include "V7Aruviv/Support/NameFolding.h"

namespace k7 {

namespace {

namespace fs = std::filesystem;
using Kind = TransferItem::Kind;

constexpr std::size_t readChunkBytes = 1048576;
constexpr std::size_t maximumMessageBytes = 16777216;
constexpr std::size_t maximumMessages = 100000;

std::system_error posixError(int code) { return std::system_error(code, std::generic_category()); }

// The name a path ends in; trailing separators do not count ("/a/b/" ends in "b").
std::string lastPathComponent(const fs::path& url) {
    std::string text = url.native();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    const auto slash = text.rfind('/');
    return slash == std::string::npos || text.size() == 1 ? text : text.substr(slash + 1);
}

std::string pathExtension(const fs::path& url) { return FileNameParts::extensionOf(lastPathComponent(url)); }

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The path with every symbolic link resolved, or as given when that fails: a link that cannot be
// resolved then stays a link, and the no-follow open reports it.
std::string resolvedPath(const std::string& given) {
    char* resolved = ::realpath(given.c_str(), nullptr);
    if (!resolved) return given;
    std::string path(resolved);
    std::free(resolved);
    return path;
}

bool hasSignature(ByteView data, std::string_view first, std::initializer_list<std::string_view> forms) {
    if (data.size() < 12) return false;
    const auto text = [&](std::size_t offset) {
        return std::string_view(reinterpret_cast<const char*>(data.data()) + offset, 4);
    };
    if (text(0) != first) return false;
    return std::any_of(forms.begin(), forms.end(), [&](std::string_view form) { return text(8) == form; });
}

TransferItem::LoopMode loopMode(K7LoopMode mode) {
    switch (mode) {
    case K7LoopMode::useFileSetting: return TransferItem::LoopMode::file;
    case K7LoopMode::enabled: return TransferItem::LoopMode::forceOn;
    case K7LoopMode::disabled: return TransferItem::LoopMode::forceOff;
    }
    return TransferItem::LoopMode::file;
}

TransferItem::StereoMode stereoMode(K7StereoMode mode) {
    switch (mode) {
    case K7StereoMode::bothChannels: return TransferItem::StereoMode::mix;
    case K7StereoMode::leftChannel: return TransferItem::StereoMode::left;
    case K7StereoMode::rightChannel: return TransferItem::StereoMode::right;
    }
    return TransferItem::StereoMode::mix;
}

std::string plural(int64_t count) { return count == 1 ? "" : "s"; }

std::string sysExDetail(std::size_t messages, std::size_t whitespace) {
    const auto n = static_cast<int64_t>(messages);
    std::string text = std::to_string(n) + " complete SysEx message" + plural(n);
    if (whitespace == 0) return text + "; bytes are preserved exactly.";
    const auto w = static_cast<int64_t>(whitespace);
    return text + "; message bytes are preserved exactly. " + std::to_string(w) + " non-MIDI whitespace byte" +
           (w == 1 ? " remains" : "s remain") + " in the file and " + (w == 1 ? "is" : "are") + " not sent.";
}

std::string audioDetail(const AudioSample& sample) {
    std::string loop = "No loop";
    if (sample.loop) loop = "Loop " + std::to_string(sample.loop->start) + "\u2013" + std::to_string(sample.loop->end);
    return "Sample length: " + std::to_string(sample.frameCount()) + "  Channels: " +
           std::to_string(sample.channelCount()) + "  Sample rate: " + std::to_string(sample.sampleRate) +
           " Hz  Bits: " + std::to_string(sample.sourceBitDepth) + "  " + loop;
}

// Reads a file the batch may still take in, and checks its content against its name.
struct ReadFile {
    Bytes data;
    Kind declared;
    Kind detected;
};

ReadFile readAndRecognise(const fs::path& url, int64_t left, const ImportLimits& limits) {
    const Kind declared = AppModel::kind(url);
    const int64_t cap = limits.fileCap(declared);
    Bytes data;
    try {
        data = AppModel::readBoundedRegularFile(url, std::min(cap, left));
    } catch (const AppModelError& error) {
        // Bounded by what the batch has left rather than by its own cap, a refusal names the cap
        // when the file is over it too, and otherwise the full batch: the few bytes left are no
        // limit of the file's.
        const auto* tooLarge = error.as<AppModelError::ImportFileTooLarge>();
        if (!tooLarge || left >= cap) throw;
        if (tooLarge->actual > cap) throw AppModelError(AppModelError::ImportFileTooLarge{tooLarge->actual, cap});
        throw AppModelError(AppModelError::ImportPayloadLimit{limits.payloadBudget});
    }
    const Kind detected = AppModel::contentKind(data, declared, limits);
    return {std::move(data), declared, detected};
}

AppModelError mismatch(const fs::path& url, Kind detected) {
    return AppModelError(AppModelError::FileContentMismatch{pathExtension(url), std::string(rawValue(detected))});
}

}  // namespace

TransferItem::Kind AppModel::kind(const fs::path& url) {
    const std::string extension = foldedName(pathExtension(url));
    if (extension == "syx" || extension == "sysx") return Kind::sysEx;
    if (extension == "wav" || extension == "wave") return Kind::wav;
    if (extension == "aif" || extension == "aiff" || extension == "aifc") return Kind::aiff;
    if (extension == "k7") return Kind::project;
    return Kind::unknown;
}

Bytes AppModel::readBoundedRegularFile(const fs::path& url, int64_t maximumBytes) {
    const std::string& given = url.native();
    if (given.empty() || given.front() != '/') throw AppModelError(AppModelError::InvalidImportURL{});
    maximumBytes = std::max<int64_t>(maximumBytes, 0);
    // A path with a NUL byte has no file-system representation; checked before resolving, which
    // would read it only up to the NUL and so name another file.
    if (given.find('\0') != std::string::npos) throw posixError(EINVAL);

    const std::string path = resolvedPath(given);
    // Non-blocking, so that opening a FIFO cannot wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw posixError(errno);
    const Descriptor file(fd);

    struct stat info {};
    if (::fstat(file.get(), &info) != 0) throw posixError(errno);
    if (!S_ISREG(info.st_mode)) throw AppModelError(AppModelError::ImportRequiresRegularFile{});
    const int64_t size = std::max<int64_t>(info.st_size, 0);
    if (size > maximumBytes) throw AppModelError(AppModelError::ImportFileTooLarge{size, maximumBytes});

    Bytes result;
    result.reserve(static_cast<std::size_t>(size));
    // No larger than the file needs, so that a batch of small files does not clear a megabyte each;
    // a file that outgrows its reported size gets the whole chunk.
    std::vector<uint8_t> buffer(static_cast<std::size_t>(std::min<int64_t>(size + 1, readChunkBytes)), 0);
    for (;;) {
        if (static_cast<int64_t>(result.size()) > size && buffer.size() < readChunkBytes) {
            buffer.resize(readChunkBytes, 0);
        }
        // One byte more than allowed: a file that grew since fstat shows itself.
        const auto allowance = static_cast<uint64_t>(maximumBytes) - result.size() + 1;
        const auto request = static_cast<std::size_t>(std::min<uint64_t>(allowance, buffer.size()));
        const ssize_t count = ::read(file.get(), buffer.data(), request);
        if (count == 0) return result;
        if (count < 0) {
            if (errno == EINTR) continue;
            throw posixError(errno);
        }
        result.insert(result.end(), buffer.begin(), buffer.begin() + count);
        if (static_cast<int64_t>(result.size()) > maximumBytes) {
            throw AppModelError(
                AppModelError::ImportFileTooLarge{static_cast<int64_t>(result.size()), maximumBytes});
        }
    }
}

TransferItem::Kind AppModel::contentKind(ByteView data, Kind declaredKind, const ImportLimits& limits) {
    if (hasSignature(data, "RIFF", {"WAVE"})) return Kind::wav;
    if (hasSignature(data, "FORM", {"AIFF", "AIFC"})) return Kind::aiff;

    const auto projectLimits = K7ProjectCodec::Limits::defaults();
    // Large audio or SysEx is never handed to the file-list parsers.
    if (static_cast<int64_t>(data.size()) <= projectLimits.maximumTotalBytes) {
        try {
            K7ProjectCodec::sniffFormat(data, projectLimits);
            return Kind::project;
        } catch (const K7ProjectCodecError&) {
        }
    }

    std::exception_ptr sysExFailure;
    try {
        const auto parsed = SysExFileCodec::parse(data, maximumMessageBytes, maximumMessages);
        // Without a message there is nothing to send: an empty or blank file is no SysEx content.
        if (!parsed.messages.empty()) {
            if (static_cast<int64_t>(data.size()) > limits.sysExContentBytes) {
                throw AppModelError(AppModelError::ImportFileTooLarge{static_cast<int64_t>(data.size()),
                                                                      limits.sysExContentBytes});
            }
            return Kind::sysEx;
        }
    } catch (const SysExParseError&) {
        sysExFailure = std::current_exception();
    }

    // Nothing matched: the declared kind's own decoder says best what is wrong.
    switch (declaredKind) {
    case Kind::wav:
    case Kind::aiff: AudioFileDecoder::decode(data); break;
    case Kind::sysEx:
        if (sysExFailure) std::rethrow_exception(sysExFailure);
        break;
    case Kind::project: K7ProjectCodec::sniffFormat(data, projectLimits); break;
    case Kind::unknown: break;
    }
    throw AppModelError(AppModelError::UnsupportedImportContent{});
}

TransferItem AppModel::makeTransferItem(const fs::path& url, Bytes data, Kind kind) {
    TransferItem item;
    item.id = QUuid::createUuid();
    item.sourceURL = url;
    item.displayName = lastPathComponent(url);
    item.byteCount = static_cast<int64_t>(data.size());
    item.kind = kind;
    switch (kind) {
    case Kind::sysEx: {
        const auto parsed = SysExFileCodec::parse(data, maximumMessageBytes, maximumMessages);
        item.device = device(parsed.messages);
        item.detail = sysExDetail(parsed.messages.size(), parsed.containerSeparatorByteCount);
        break;
    }
    case Kind::wav:
    case Kind::aiff:
        item.audioSample = AudioFileDecoder::decode(data);
        item.device = TransferItem::Device::notApplicable;
        item.detail = audioDetail(*item.audioSample);
        break;
    case Kind::project:
    case Kind::unknown:
        item.device = TransferItem::Device::unknown;
        item.detail = "Unknown file type.";
        break;
    }
    auto analysis = TransferSendAnalyzer::analyze(kind, data, item.audioSample.has_value());
    item.sendMethod = std::move(analysis.sendMethod);
    item.wireWorkload = std::move(analysis.wireWorkload);
    item.digiPROFrames = std::move(analysis.digiPROFrames);
    item.messageCount = analysis.messageCount;
    item.data = std::move(data);
    return item;
}

PreparedImport AppModel::prepareProject(ByteView data, const fs::path& url, int64_t maximumItems,
                                        int64_t maximumRetainedBytes, const ImportLimits& limits) {
    const K7Project project = K7ProjectCodec::decodeSniffed(data, url, K7ProjectCodec::Limits::defaults());
    PreparedImport result;
    result.samplePosition = project.samplePosition;
    int64_t retained = 0;
    for (const K7ProjectItem& row : project.items) {
        try {
            if (static_cast<int64_t>(result.items.size()) >= maximumItems) {
                throw AppModelError(AppModelError::ImportItemLimit{limits.maximumItems});
            }
            const int64_t left = maximumRetainedBytes - retained;
            if (left < 1) throw AppModelError(AppModelError::ImportPayloadLimit{limits.payloadBudget});
            ReadFile file = readAndRecognise(row.fileURL, left, limits);
            if (file.detected == Kind::project) throw AppModelError(AppModelError::NestedProjectNotSupported{});
            if (file.declared != Kind::unknown && file.declared != file.detected) {
                throw mismatch(row.fileURL, file.detected);
            }
            TransferItem item = makeTransferItem(row.fileURL, std::move(file.data), file.detected);
            item.loopMode = loopMode(row.loopMode);
            item.stereoMode = stereoMode(row.stereoMode);
            retained += static_cast<int64_t>(item.data.size());
            result.items.push_back(std::move(item));
        } catch (const std::exception& error) {
            result.failures.push_back(lastPathComponent(url) + " \u2192 " + lastPathComponent(row.fileURL) + ": " +
                                      error.what());
        }
    }
    return result;
}

PreparedImport AppModel::prepareImport(const std::vector<fs::path>& urls, const ImportProgress& progress,
                                       const ImportLimits& limits) {
    PreparedImport result;
    int64_t retained = 0;
    const auto total = static_cast<int64_t>(urls.size());
    for (int64_t index = 0; index < total; ++index) {
        const fs::path& url = urls[static_cast<std::size_t>(index)];
        try {
            const auto count = static_cast<int64_t>(result.items.size());
            if (count >= limits.maximumItems) throw AppModelError(AppModelError::ImportItemLimit{limits.maximumItems});
            const int64_t left = limits.payloadBudget - retained;
            if (left < 1) throw AppModelError(AppModelError::ImportPayloadLimit{limits.payloadBudget});
            ReadFile file = readAndRecognise(url, left, limits);
            // A name that declares nothing takes the content's kind.
            if (file.declared != Kind::unknown && file.detected != file.declared) throw mismatch(url, file.detected);
            if (file.detected == Kind::project) {
                PreparedImport list = prepareProject(file.data, url, limits.maximumItems - count, left, limits);
                retained += list.retainedByteCount();
                std::move(list.items.begin(), list.items.end(), std::back_inserter(result.items));
                std::move(list.failures.begin(), list.failures.end(), std::back_inserter(result.failures));
                result.samplePosition = list.samplePosition;
            } else {
                TransferItem item = makeTransferItem(url, std::move(file.data), file.detected);
                retained += static_cast<int64_t>(item.data.size());
                result.items.push_back(std::move(item));
            }
        } catch (const std::exception& error) {
            result.failures.push_back(lastPathComponent(url) + ": " + error.what());
        }
        if (progress) progress(index + 1, total);
    }
    return result;
}

std::string AppModel::batchFailureMessage(const std::string& action, const std::vector<std::string>& failures,
                                          int64_t successCount) {
    const auto m = static_cast<int64_t>(failures.size());
    const std::string kept = successCount < 1 ? "No invalid item was added. "
                                              : std::to_string(successCount) + " valid item" +
                                                    (successCount == 1 ? " was" : "s were") + " kept. ";
    std::string text = "Could not " + action + " " + std::to_string(m) + " item" + plural(m) + ". " + kept +
                       "Check the named files and try again.\n";
    for (std::size_t i = 0; i < failures.size(); ++i) {
        if (i > 0) text += "\n";
        text += "\u2022 " + failures[i];
    }
    return text;
}

}  // namespace k7

#include "V7Aruviv/App/SingleInstanceMessageDecoder.h"

#include <atomic>

namespace k7 {
namespace {

std::atomic<std::size_t> bytesRead{0};

constexpr auto& header = SingleInstanceMessage::header;
constexpr std::size_t countSize = SingleInstanceMessage::countSize;
// Every path takes its length and at least one byte.
constexpr std::size_t maximumCount =
    (SingleInstanceMessage::maximumSize - header.size() - countSize) / (countSize + 1);

}  // namespace

SingleInstanceMessageDecoder::Status SingleInstanceMessageDecoder::feed(ByteView bytes) {
    std::size_t read = 0;
    for (const uint8_t byte : bytes) {
        if (status_ == Status::invalid) break;
        status_ = take(byte);
        ++read;
    }
    bytesRead.fetch_add(read, std::memory_order_relaxed);
    return status_;
}

std::size_t SingleInstanceMessageDecoder::bytesReadInThisProcess() { return bytesRead.load(std::memory_order_relaxed); }

SingleInstanceMessageDecoder::Status SingleInstanceMessageDecoder::take(uint8_t byte) {
    // Nothing follows a whole message.
    if (status_ == Status::complete || ++received_ > SingleInstanceMessage::maximumSize) return Status::invalid;
    switch (field_) {
        case Field::header:
            if (byte != header[fieldSize_]) return Status::invalid;
            if (++fieldSize_ < header.size()) return Status::incomplete;
            field_ = Field::count;
            fieldSize_ = 0;
            return Status::incomplete;
        case Field::count:
        case Field::length:
            value_ = (value_ << 8) | byte;
            if (++fieldSize_ < countSize) return Status::incomplete;
            return fieldComplete();
        case Field::path:
            // A path's first bytes can be judged before the rest arrives.
            if ((path_.empty() && byte != '/') || byte == 0) return Status::invalid;
            path_.push_back(static_cast<char>(byte));
            if (path_.size() < pathLength_) return Status::incomplete;
            paths_.emplace_back(std::move(path_));
            path_.clear();
            field_ = Field::length;
            return --pathsLeft_ == 0 ? Status::complete : Status::incomplete;
    }
    return Status::invalid;
}

SingleInstanceMessageDecoder::Status SingleInstanceMessageDecoder::fieldComplete() {
    const uint32_t value = value_;
    value_ = 0;
    fieldSize_ = 0;
    if (field_ == Field::count) {
        if (value > maximumCount) return Status::invalid;
        pathsLeft_ = value;
        field_ = Field::length;
        return value == 0 ? Status::complete : Status::incomplete;
    }
    if (value == 0 || value > SingleInstanceMessage::maximumPathSize) return Status::invalid;
    pathLength_ = value;
    path_.reserve(value);
    field_ = Field::path;
    return Status::incomplete;
}

}  // namespace k7

#include "device/ScsiRequest.h"

#include <algorithm>

#include "device/ScsiLayoutCheck.h"

namespace bexlo {

namespace {

// Header fields ahead of the data-buffer field sit at the same place in both layouts.
constexpr std::size_t kLengthField = 0;
constexpr std::size_t kScsiStatusField = 2;
constexpr std::size_t kTargetIdField = 4;
constexpr std::size_t kCdbLengthField = 6;
constexpr std::size_t kSenseLengthField = 7;
constexpr std::size_t kDataInField = 8;
constexpr std::size_t kTransferLengthField = 12;
constexpr std::size_t kTimeoutField = 16;
constexpr std::uint8_t kDataOut = 0;
constexpr std::uint8_t kDataIn = 1;

void PutLe(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value,
           std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t GetLe32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
    }
    return value;
}

// The sense-offset field sits just before the CDB, the data-buffer field just before that.
std::size_t SenseOffsetField(const ScsiRequestLayout& layout) {
    return layout.cdbOffset - 4;
}

std::size_t DataBufferField(const ScsiRequestLayout& layout) {
    return SenseOffsetField(layout) - layout.pointerSize;
}

std::vector<std::uint8_t> BuildHeader(const ScsiRequestLayout& layout,
                                      const std::vector<std::uint8_t>& cdb, std::uint8_t direction,
                                      std::uint32_t length, std::uint32_t timeoutSeconds,
                                      std::uint64_t dataBuffer, std::size_t size) {
    std::vector<std::uint8_t> request(size, 0);
    PutLe(request, kLengthField, layout.headerSize, 2);
    request[kTargetIdField] = kScsiTargetId;
    request[kCdbLengthField] = static_cast<std::uint8_t>(cdb.size());
    request[kSenseLengthField] = kScsiSenseLength;
    request[kDataInField] = direction;
    PutLe(request, kTransferLengthField, length, 4);
    PutLe(request, kTimeoutField, timeoutSeconds, 4);
    PutLe(request, DataBufferField(layout), dataBuffer, layout.pointerSize);
    PutLe(request, SenseOffsetField(layout), layout.senseOffset, 4);
    std::copy(cdb.begin(), cdb.end(), request.begin() + layout.cdbOffset);
    return request;
}

}  // namespace

std::vector<std::uint8_t> BuildPassThroughIn(const ScsiRequestLayout& layout,
                                             const std::vector<std::uint8_t>& cdb,
                                             std::uint32_t length, std::uint32_t timeoutSeconds) {
    if (cdb.size() > kScsiMaxCdb || length > kScsiMaxTransfer) {
        return {};
    }
    return BuildHeader(layout, cdb, kDataIn, length, timeoutSeconds, layout.dataOffset,
                       layout.dataOffset + length);
}

std::vector<std::uint8_t> BuildPassThroughOut(const ScsiRequestLayout& layout,
                                              const std::vector<std::uint8_t>& cdb,
                                              std::uint32_t length, std::uint32_t timeoutSeconds,
                                              std::uint64_t dataAddress) {
    if (cdb.size() > kScsiMaxCdb || length > kScsiMaxTransfer) {
        return {};
    }
    return BuildHeader(layout, cdb, kDataOut, length, timeoutSeconds, dataAddress,
                       layout.dataOffset);
}

ScsiReply ReadPassThroughReply(const ScsiRequestLayout& layout,
                               const std::vector<std::uint8_t>& request,
                               std::uint32_t bytesReturned) {
    ScsiReply reply;
    if (request.size() < layout.dataOffset) {
        reply.error = -1;
        return reply;
    }
    reply.scsiStatus = request[kScsiStatusField];
    const std::size_t senseLength =
        std::min<std::size_t>(request[kSenseLengthField], kScsiSenseLength);
    reply.sense.assign(request.begin() + layout.senseOffset,
                       request.begin() + layout.senseOffset + senseLength);
    if (request[kDataInField] != kDataIn) {
        return reply;
    }
    std::size_t dataLength = std::min<std::size_t>(GetLe32(request, kTransferLengthField),
                                                   request.size() - layout.dataOffset);
    dataLength = std::min<std::size_t>(
        dataLength, bytesReturned > layout.dataOffset ? bytesReturned - layout.dataOffset : 0);
    reply.data.assign(request.begin() + layout.dataOffset,
                      request.begin() + layout.dataOffset + dataLength);
    return reply;
}

}  // namespace bexlo
